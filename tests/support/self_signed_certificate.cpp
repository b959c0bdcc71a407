#include "tests/support/self_signed_certificate.h"

#include <arpa/inet.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

#include "base/c_owned.h"

namespace tervane::testing {
namespace {

using Key = COwned<EVP_PKEY, EVP_PKEY_free>;
using Certificate = COwned<X509, X509_free>;
using File = COwned<FILE, std::fclose>;

bool IsIpAddress(const std::string& name) {
  unsigned char address[16];
  return ::inet_pton(AF_INET, name.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, name.c_str(), address) == 1;
}

// "DNS:localhost,IP:127.0.0.1" for names.
std::string AlternativeNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += (text.empty() ? "" : ",") + std::string(IsIpAddress(name) ? "IP:" : "DNS:") + name;
  return text;
}

bool Fail(std::string* error, const std::string& what) {
  *error = what + ": " + ERR_error_string(ERR_get_error(), nullptr);
  return false;
}

}  // namespace

bool MakeSelfSignedCertificate(const std::filesystem::path& certificateFile,
                               const std::filesystem::path& keyFile,
                               const std::vector<std::string>& names, std::string* error) {
  Key key(EVP_EC_gen("P-256"));
  Certificate certificate(X509_new());
  if (!key || !certificate)
    return Fail(error, "no key or certificate");
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 2 * 24 * 3600);
  X509_set_pubkey(certificate.get(), key.get());
  X509_NAME* subject = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(names.front().c_str()), -1, -1,
                             0);
  X509_set_issuer_name(certificate.get(), subject);
  X509V3_CTX context;
  X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
  const std::string alternatives = AlternativeNames(names);
  for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, alternatives.c_str()},
                                   std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr || !X509_add_ext(certificate.get(), extension, -1))
      return Fail(error, "cannot add a certificate extension");
    X509_EXTENSION_free(extension);
  }
  if (!X509_sign(certificate.get(), key.get(), EVP_sha256()))
    return Fail(error, "cannot sign the certificate");
  File certificateOut(std::fopen(certificateFile.c_str(), "w"));
  File keyOut(std::fopen(keyFile.c_str(), "w"));
  if (!certificateOut || !keyOut || !PEM_write_X509(certificateOut.get(), certificate.get()) ||
      !PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
    return Fail(error, "cannot write " + certificateFile.string());
  return true;
}

}  // namespace tervane::testing
