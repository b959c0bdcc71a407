#ifndef TERVANE_SERVER_SHARED_DOMAINS_H_
#define TERVANE_SERVER_SHARED_DOMAINS_H_

// The mail domains where unrelated people have addresses: free mail, access providers, and every
// domain that sends ham in the public corpus. The server never publishes one of them as a whole
// domain, however many of its addresses are reported. The list ships inside tervane-server
// (server/shared_mail_domains.txt, made by data/reference/make_shared_domains.py); the maker adds
// more with --shared-domains FILE.

#include <string>
#include <vector>

namespace tervane {

// The shipped domains, as the file lists them (in lower case).
std::vector<std::string> ShippedSharedDomains();

}  // namespace tervane

#endif  // TERVANE_SERVER_SHARED_DOMAINS_H_
