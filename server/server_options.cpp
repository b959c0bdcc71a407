#include "server/server_options.h"

namespace tervane {
namespace {

constexpr int64_t kMany = int64_t{1} << 40;

QHostAddress Address(const std::string& text, const char* option) {
  const QHostAddress address(QString::fromStdString(text));
  if (address.isNull())
    throw UsageError("bad value for --" + std::string(option) + ": " + text);
  return address;
}

}  // namespace

void DeclareServerOptions(CommandLine& commandLine) {
  commandLine
      .Option("make-key", "DIR",
              "write a new key pair: DIR/update.key (private, keep it secret) and DIR/update.pub")
      .Option("key", "FILE", "the private key that signs the published lists")
      .Option("listen", "ADDRESS", "address to listen on (default 127.0.0.1)")
      .Option("port", "N", "port (default 8080; 0 picks a free one)")
      .Option("database", "DB",
              "a SQLite file (default tervane-reports.sqlite) or postgresql://...")
      .Flag("sync-each-report", "SQLite: wait for the disk at every report")
      .Option("seed", "FILE", "the list that ships with the program; always published")
      .Option("min-digests", "K", "distinct message digests an address needs (default 2)")
      .Option("min-clients", "M", "distinct reporting addresses it needs (default 2)")
      .Option("days", "D", "only reports of the last D days count (default 90)")
      .Option("domain-min-addresses", "N",
              "distinct addresses a domain needs to be published whole (default 5)")
      .Option("domain-min-clients", "M", "distinct reporting addresses it needs (default 3)")
      .Option("domain-days", "D", "only reports of the last D days count for it (default 90)")
      .Option("shared-domains", "FILE", "more domains never published whole, one a line")
      .Option("publish-interval", "S", "look for a changed list every S seconds (default 60)")
      .Option("rate-limit", "N", "reports a minute per client address (default 120; 0: none)")
      .Option("rate-burst", "N", "reports a client may send at once (default 500)")
      .Option("trusted-proxy", "ADDRESS", "a load balancer whose X-Forwarded-For names the client")
      .Flag("log-reports", "print a line for every stored report")
      .Text(
          "Receives spam reports and publishes signed versions of the reference list; see\n"
          "tervane-server(1).\n");
}

ServerOptions ReadServerOptions(const CommandLine& commandLine) {
  if (!commandLine.Arguments().empty())
    throw UsageError("unknown argument: " + commandLine.Arguments().front());
  ServerOptions options;
  if (const std::optional<std::string> folder = commandLine.Value("make-key")) {
    if (folder->empty())
      throw UsageError("--make-key needs a folder");
    options.makeKeyFolder = *folder;
    return options;
  }
  options.keyFile = commandLine.Value("key").value_or("");
  if (options.keyFile.empty())
    throw UsageError("--key FILE is needed (make one with --make-key DIR)");
  if (const std::optional<std::string> listen = commandLine.Value("listen")) {
    Address(*listen, "listen");
    options.listenAddress = *listen;
  }
  options.port = static_cast<unsigned>(commandLine.Number("port", 0, 65535).value_or(options.port));
  options.database = commandLine.Value("database").value_or(options.database);
  if (options.database.empty())
    throw UsageError("--database needs a file or an address");
  options.store.syncEachCommit = commandLine.Has("sync-each-report");
  if (const std::optional<std::string> seed = commandLine.Value("seed"))
    options.seedFile = *seed;
  PublishSettings& publish = options.publish;
  publish.minDigests = commandLine.Number("min-digests", 1, kMany).value_or(publish.minDigests);
  publish.minClients = commandLine.Number("min-clients", 1, kMany).value_or(publish.minClients);
  publish.days = commandLine.Number("days", 1, 36500).value_or(publish.days);
  publish.domainMinAddresses =
      commandLine.Number("domain-min-addresses", 1, kMany).value_or(publish.domainMinAddresses);
  publish.domainMinClients =
      commandLine.Number("domain-min-clients", 1, kMany).value_or(publish.domainMinClients);
  publish.domainDays = commandLine.Number("domain-days", 1, 36500).value_or(publish.domainDays);
  if (const std::optional<std::string> shared = commandLine.Value("shared-domains"))
    options.sharedDomainsFile = *shared;
  ServerSettings& server = options.server;
  if (const std::optional<int64_t> seconds = commandLine.Number("publish-interval", 1, 86400))
    server.publishInterval = std::chrono::seconds(*seconds);
  if (const std::optional<int64_t> limit = commandLine.Number("rate-limit", 0, kMany))
    server.rateLimitPerMinute = static_cast<double>(*limit);
  if (const std::optional<int64_t> burst = commandLine.Number("rate-burst", 1, kMany))
    server.rateLimitBurst = static_cast<double>(*burst);
  if (const std::optional<std::string> proxy = commandLine.Value("trusted-proxy"))
    server.trustedProxy = Address(*proxy, "trusted-proxy");
  server.logReports = commandLine.Has("log-reports");
  return options;
}

}  // namespace tervane
