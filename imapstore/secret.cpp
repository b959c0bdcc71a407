#include "imapstore/secret.h"

#include <openssl/crypto.h>
#include <sys/prctl.h>

#include <utility>

namespace tervane::imap {

Secret::~Secret() {
  Wipe();
}

Secret::Secret(Secret&& other) noexcept {
  // A short string lives inside the object, so moving may copy its bytes: wipe the source.
  bytes_ = other.bytes_;
  other.Wipe();
}

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    Wipe();
    bytes_ = other.bytes_;
    other.Wipe();
  }
  return *this;
}

void Secret::Wipe() {
  // The whole capacity: a shorter value assigned earlier may have left bytes beyond the size.
  bytes_.resize(bytes_.capacity());
  OPENSSL_cleanse(bytes_.data(), bytes_.size());
  bytes_.clear();
}

void KeepOutOfCoreDumps() {
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace tervane::imap
