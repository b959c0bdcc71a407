#ifndef TERVANE_TESTS_SUPPORT_SELF_SIGNED_CERTIFICATE_H_
#define TERVANE_TESTS_SUPPORT_SELF_SIGNED_CERTIFICATE_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tervane::testing {

// Writes a throwaway self-signed server certificate (P-256, valid for two days) and its key as
// PEM files. names are host names or IP addresses ("localhost", "127.0.0.1"); each becomes a
// subject alternative name, the first also the common name. The certificate is its own CA file.
// Returns false with *error set when OpenSSL or the files fail.
bool MakeSelfSignedCertificate(const std::filesystem::path& certificateFile,
                               const std::filesystem::path& keyFile,
                               const std::vector<std::string>& names, std::string* error);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_SELF_SIGNED_CERTIFICATE_H_
