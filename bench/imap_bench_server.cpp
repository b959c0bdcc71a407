// A helper of bench/imap_burst.sh: the tests' throwaway Dovecot (tests/support/dovecot_instance.h)
// with a loopback proxy in front of it, driven over standard input and output.
//   imap_bench_server [CAPABILITY...]   the capabilities to turn off ("MOVE", "NOTIFY", ...)
// Prints "IMAPS_PORT PROXY_PORT CA_FILE" once it runs, then answers one line per command:
//   down        cuts every connection through the proxy and refuses new ones -> "down"
//   up          takes connections again -> "up"
//   accepted    -> how many connections the proxy has taken so far
// and ends, removing the server, at the end of its input.
#include <iostream>
#include <string>

#include "tests/support/dovecot_instance.h"
#include "tests/support/tcp_proxy.h"

int main(int argc, char* argv[]) {
  using tervane::testing::DovecotInstance;
  DovecotInstance::Options options;
  for (int i = 1; i < argc; ++i)
    options.withoutCapabilities.push_back(argv[i]);
  std::string reason;
  const auto server = DovecotInstance::Start(options, &reason);
  if (!server) {
    std::cerr << "imap_bench_server: " << reason << '\n';
    return 1;
  }
  tervane::testing::TcpProxy proxy(server->imapsPort());
  std::cout << server->imapsPort() << ' ' << proxy.port() << ' ' << server->caFile().string()
            << std::endl;
  for (std::string command; std::getline(std::cin, command);) {
    if (command == "down") {
      proxy.SetRefusing(true);
      proxy.CutAll();
      std::cout << "down" << std::endl;
    } else if (command == "up") {
      proxy.SetRefusing(false);
      std::cout << "up" << std::endl;
    } else if (command == "accepted") {
      std::cout << proxy.accepted() << std::endl;
    }
  }
  return 0;
}
