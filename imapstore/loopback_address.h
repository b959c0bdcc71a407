#ifndef TERVANE_IMAPSTORE_LOOPBACK_ADDRESS_H_
#define TERVANE_IMAPSTORE_LOOPBACK_ADDRESS_H_

#include <sys/socket.h>

namespace tervane::imap {

// Returns true iff address is a loopback address: 127.0.0.0/8, ::1, or 127.0.0.0/8 mapped into
// IPv6 (::ffff:127.x.y.z). Only to such a peer may a password go over a connection without TLS.
bool IsLoopbackAddress(const sockaddr* address);

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_LOOPBACK_ADDRESS_H_
