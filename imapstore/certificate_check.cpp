#include "imapstore/certificate_check.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

#include "base/c_owned.h"
#include "imapstore/imap_error.h"

namespace tervane::imap {
namespace {

using Certificate = COwned<X509, X509_free>;
using Store = COwned<X509_STORE, X509_STORE_free>;
using StoreContext = COwned<X509_STORE_CTX, X509_STORE_CTX_free>;
struct StackDeleter {
  void operator()(STACK_OF(X509) * stack) const { sk_X509_pop_free(stack, X509_free); }
};
using CertificateStack = std::unique_ptr<STACK_OF(X509), StackDeleter>;

Certificate Parse(const std::string& der) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
  return Certificate(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
}

}  // namespace

void VerifyCertificateChain(const std::vector<std::string>& derChain, const std::string& host,
                            const std::string& caFile) {
  const std::string prefix = host + ": certificate not trusted: ";
  if (derChain.empty())
    throw ImapError(prefix + "the server sent none");
  Certificate leaf = Parse(derChain.front());
  CertificateStack intermediates(sk_X509_new_null());
  for (size_t i = 1; i < derChain.size(); ++i) {
    Certificate certificate = Parse(derChain[i]);
    if (certificate && sk_X509_push(intermediates.get(), certificate.get()))
      certificate.release();
  }
  if (!leaf)
    throw ImapError(prefix + "unreadable");

  Store store(X509_STORE_new());
  const bool loaded = caFile.empty() ? X509_STORE_set_default_paths(store.get()) == 1
                                     : X509_STORE_load_file(store.get(), caFile.c_str()) == 1;
  if (!loaded)
    throw ImapError(prefix + (caFile.empty() ? "cannot read the system's CA store"
                                             : "cannot read the CA file " + caFile));
  StoreContext context(X509_STORE_CTX_new());
  X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), intermediates.get());
  X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
  X509_VERIFY_PARAM_set_purpose(parameters, X509_PURPOSE_SSL_SERVER);
  // An IP address is checked against the certificate's IP names, anything else as a DNS name.
  if (X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str()) != 1)
    X509_VERIFY_PARAM_set1_host(parameters, host.c_str(), host.size());
  if (X509_verify_cert(context.get()) != 1)
    throw ImapError(prefix +
                    X509_verify_cert_error_string(X509_STORE_CTX_get_error(context.get())));
}

}  // namespace tervane::imap
