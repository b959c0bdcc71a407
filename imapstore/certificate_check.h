#ifndef TERVANE_IMAPSTORE_CERTIFICATE_CHECK_H_
#define TERVANE_IMAPSTORE_CERTIFICATE_CHECK_H_

#include <string>
#include <vector>

namespace tervane::imap {

// libetpan's TLS (GnuTLS in Debian) checks no certificate; the session checks the chain the
// server sent with OpenSSL after the handshake, before anything is sent on the connection.

// Checks a server's certificate chain (DER, the server's own certificate first, then the
// intermediates it sent) against the trusted CAs of caFile (PEM), or the system's store when
// caFile is empty, and that it is made for host (a DNS name or an IP address). Throws ImapError
// saying why the certificate is not trusted.
void VerifyCertificateChain(const std::vector<std::string>& derChain, const std::string& host,
                            const std::string& caFile);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_CERTIFICATE_CHECK_H_
