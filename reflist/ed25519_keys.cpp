#include "reflist/ed25519_keys.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <vector>

#include "base/c_owned.h"
#include "base/hex.h"

namespace tervane {
namespace {

using KeyPtr = COwned<EVP_PKEY, EVP_PKEY_free>;
using DigestContextPtr = COwned<EVP_MD_CTX, EVP_MD_CTX_free>;
using FilePtr = COwned<FILE, std::fclose>;

constexpr size_t kSignatureBytes = 64;

[[noreturn]] void Fail(const std::filesystem::path& file, const std::string& reason) {
  throw KeyError("key file \"" + file.string() + "\": " + reason);
}

// Opens file for writing, only when it does not exist yet, with the given permission bits.
FilePtr CreateExclusive(const std::filesystem::path& file, mode_t mode) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0)
    Fail(file, std::strerror(errno));
  ::fchmod(fd, mode);  // the umask does not narrow what the file must be
  FILE* stream = ::fdopen(fd, "w");
  if (stream == nullptr) {
    ::close(fd);
    Fail(file, std::strerror(errno));
  }
  return FilePtr(stream);
}

void Finish(FilePtr stream, const std::filesystem::path& file) {
  const bool flushed = std::fflush(stream.get()) == 0 && ::fsync(fileno(stream.get())) == 0;
  if (std::fclose(stream.release()) != 0 || !flushed)
    Fail(file, "cannot be written");
}

KeyPtr ReadKey(const std::filesystem::path& file, bool privateKey) {
  FilePtr stream(std::fopen(file.c_str(), "re"));
  if (!stream)
    Fail(file, std::strerror(errno));
  EVP_PKEY* raw = privateKey ? PEM_read_PrivateKey(stream.get(), nullptr, nullptr, nullptr)
                             : PEM_read_PUBKEY(stream.get(), nullptr, nullptr, nullptr);
  KeyPtr key(raw);
  if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) {
    Fail(file, privateKey ? "holds no Ed25519 private key" : "holds no Ed25519 public key");
  }
  return key;
}

}  // namespace

void MakeKeyPair(const std::filesystem::path& folder) {
  const std::filesystem::path privateFile = folder / kPrivateKeyFile;
  const std::filesystem::path publicFile = folder / kPublicKeyFile;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error)
    Fail(folder, error.message());
  for (const auto& file : {privateFile, publicFile}) {
    if (std::filesystem::exists(std::filesystem::symlink_status(file, error)))
      Fail(file, "already exists; no key was made");
  }

  KeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
  if (!key)
    Fail(privateFile, "OpenSSL made no Ed25519 key");
  FilePtr privateStream = CreateExclusive(privateFile, 0600);
  if (PEM_write_PrivateKey(privateStream.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
      1) {
    privateStream.reset();
    std::filesystem::remove(privateFile, error);
    Fail(privateFile, "cannot be written");
  }
  Finish(std::move(privateStream), privateFile);
  FilePtr publicStream = CreateExclusive(publicFile, 0644);
  if (PEM_write_PUBKEY(publicStream.get(), key.get()) != 1) {
    publicStream.reset();
    std::filesystem::remove(publicFile, error);
    Fail(publicFile, "cannot be written");
  }
  Finish(std::move(publicStream), publicFile);
}

struct SigningKey::Impl {
  KeyPtr key;
};

SigningKey::SigningKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SigningKey::~SigningKey() = default;
SigningKey::SigningKey(SigningKey&&) noexcept = default;
SigningKey& SigningKey::operator=(SigningKey&&) noexcept = default;

SigningKey SigningKey::Load(const std::filesystem::path& file) {
  return SigningKey(std::make_unique<Impl>(Impl{ReadKey(file, true)}));
}

std::string SigningKey::SignHex(std::string_view message) const {
  DigestContextPtr context(EVP_MD_CTX_new());
  unsigned char signature[kSignatureBytes];
  size_t length = sizeof signature;
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, impl_->key.get()) != 1 ||
      EVP_DigestSign(context.get(), signature, &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1) {
    throw KeyError("cannot sign with the Ed25519 key");
  }
  return HexDigits(std::string_view(reinterpret_cast<const char*>(signature), length));
}

struct VerifyingKey::Impl {
  KeyPtr key;
};

VerifyingKey::VerifyingKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VerifyingKey::~VerifyingKey() = default;
VerifyingKey::VerifyingKey(VerifyingKey&&) noexcept = default;
VerifyingKey& VerifyingKey::operator=(VerifyingKey&&) noexcept = default;

VerifyingKey VerifyingKey::Load(const std::filesystem::path& file) {
  return VerifyingKey(std::make_unique<Impl>(Impl{ReadKey(file, false)}));
}

bool VerifyingKey::Verify(std::string_view message, std::string_view signatureHex) const {
  const std::optional<std::string> signature = BytesFromHex(signatureHex);
  if (!signature || signature->size() != kSignatureBytes)
    return false;
  DigestContextPtr context(EVP_MD_CTX_new());
  return context &&
         EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, impl_->key.get()) == 1 &&
         EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                          signature->size(), reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

}  // namespace tervane
