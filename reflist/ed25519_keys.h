#ifndef TERVANE_REFLIST_ED25519_KEYS_H_
#define TERVANE_REFLIST_ED25519_KEYS_H_

// Ed25519 keys in PEM files (OpenSSL), and signing and checking bytes with them.
// The server signs with its private key file; update checks with the public key file update.pub
// shipped in the program folder.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tervane {

// A key that cannot be made, written, read or used. what() names the file and the reason.
class KeyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::string_view kPrivateKeyFile = "update.key";
inline constexpr std::string_view kPublicKeyFile = "update.pub";

// Makes a new key pair and writes folder/update.key (the private key, mode 0600) and
// folder/update.pub (the public key, mode 0644), creating folder when missing. Refuses, writing
// nothing, when either file exists. Throws KeyError.
void MakeKeyPair(const std::filesystem::path& folder);

// An Ed25519 private key, read from a PEM file. Movable, not copyable.
class SigningKey {
 public:
  // Throws KeyError when file cannot be read or holds no Ed25519 private key.
  static SigningKey Load(const std::filesystem::path& file);
  ~SigningKey();
  SigningKey(SigningKey&&) noexcept;
  SigningKey& operator=(SigningKey&&) noexcept;

  // The 64-byte signature of message, as 128 lower-case hex digits. Throws KeyError.
  std::string SignHex(std::string_view message) const;

 private:
  struct Impl;
  explicit SigningKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// An Ed25519 public key, read from a PEM file. Movable, not copyable.
class VerifyingKey {
 public:
  // Throws KeyError when file cannot be read or holds no Ed25519 public key.
  static VerifyingKey Load(const std::filesystem::path& file);
  ~VerifyingKey();
  VerifyingKey(VerifyingKey&&) noexcept;
  VerifyingKey& operator=(VerifyingKey&&) noexcept;

  // True iff signatureHex is 128 hex digits of a valid signature of message by this key.
  // Never throws.
  bool Verify(std::string_view message, std::string_view signatureHex) const;

 private:
  struct Impl;
  explicit VerifyingKey(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_REFLIST_ED25519_KEYS_H_
