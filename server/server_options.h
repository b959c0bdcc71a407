#ifndef TERVANE_SERVER_SERVER_OPTIONS_H_
#define TERVANE_SERVER_SERVER_OPTIONS_H_

// The command line of tervane-server.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"

namespace tervane {

inline constexpr std::string_view kServerUsage =
    "usage: tervane-server --key FILE [options]\n"
    "       tervane-server --make-key DIR\n"
    "       tervane-server --help | --version\n"
    "Receives spam reports and publishes signed versions of the reference list.\n"
    "  --make-key DIR          write a new key pair: DIR/update.key (private, keep it secret)\n"
    "                          and DIR/update.pub (ships beside the program as update.pub)\n"
    "  --key FILE              the private key that signs the published lists\n"
    "  --listen ADDRESS        address to listen on (default 127.0.0.1)\n"
    "  --port N                port (default 8080; 0 picks a free one)\n"
    "  --database DB           a SQLite file (default tervane-reports.sqlite) or\n"
    "                          postgresql://... (several servers may share one)\n"
    "  --sync-each-report      SQLite: wait for the disk at every report\n"
    "  --seed FILE             the list that ships with the program; always published\n"
    "  --min-digests K         distinct message digests an address needs (default 2)\n"
    "  --min-clients M         distinct reporting addresses it needs (default 2)\n"
    "  --days D                only reports of the last D days count (default 90)\n"
    "  --domain-min-addresses N  a whole domain is published once N distinct addresses of it\n"
    "                          were reported (default 5)\n"
    "  --domain-min-clients M  by M distinct reporting addresses (default 3)\n"
    "  --domain-days D         within the last D days (default 90)\n"
    "  --shared-domains FILE   more domains never published as a whole (one a line), beside\n"
    "                          the shipped free-mail and provider domains\n"
    "  --publish-interval S    look for a changed list every S seconds (default 60)\n"
    "  --rate-limit N          reports a minute per client address (default 120; 0: none)\n"
    "  --rate-burst N          reports a client may send at once (default 500)\n"
    "  --trusted-proxy ADDRESS a load balancer whose X-Forwarded-For names the client\n"
    "  --log-reports           print a line for every stored report\n";

struct ServerOptions {
  std::optional<std::filesystem::path> makeKeyFolder;  // set: only make a key pair
  std::filesystem::path keyFile;
  std::string listenAddress = "127.0.0.1";
  unsigned port = 8080;
  std::string database = "tervane-reports.sqlite";
  StoreOptions store;
  std::optional<std::filesystem::path> seedFile;
  std::optional<std::filesystem::path> sharedDomainsFile;
  PublishSettings publish;
  ServerSettings server;
};

// The options of args (the arguments after the program name), or the reason they are wrong.
std::variant<ServerOptions, std::string> ParseServerOptions(
    const std::vector<std::string_view>& args);

}  // namespace tervane

#endif  // TERVANE_SERVER_SERVER_OPTIONS_H_
