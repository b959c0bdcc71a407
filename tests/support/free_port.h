#ifndef TERVANE_TESTS_SUPPORT_FREE_PORT_H_
#define TERVANE_TESTS_SUPPORT_FREE_PORT_H_

namespace tervane::testing {

// A TCP port of 127.0.0.1 that was free a moment ago (the system's choice), or 0.
int FreeLocalPort();

// Returns true iff something accepts TCP connections on port of 127.0.0.1.
bool LocalPortAccepts(int port);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_FREE_PORT_H_
