#include "server/server_options.h"

#include <charconv>
#include <functional>
#include <map>

namespace tervane {
namespace {

// A whole number in [minimum, maximum], or nullopt.
std::optional<int64_t> Number(std::string_view text, int64_t minimum, int64_t maximum) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < minimum ||
      value > maximum)
    return std::nullopt;
  return value;
}

}  // namespace

std::variant<ServerOptions, std::string> ParseServerOptions(
    const std::vector<std::string_view>& args) {
  ServerOptions options;
  using Setter = std::function<bool(std::string_view)>;
  auto number = [](int64_t minimum, int64_t maximum, auto assign) {
    return Setter([=](std::string_view text) {
      const std::optional<int64_t> value = Number(text, minimum, maximum);
      if (value)
        assign(*value);
      return value.has_value();
    });
  };
  constexpr int64_t kMany = int64_t{1} << 40;
  const std::map<std::string_view, Setter> valued{
      {"--make-key",
       [&](std::string_view v) {
         return !(options.makeKeyFolder = std::filesystem::path(v))->empty();
       }},
      {"--key", [&](std::string_view v) { return !(options.keyFile = v).empty(); }},
      {"--listen",
       [&](std::string_view v) {
         options.listenAddress = v;
         return !QHostAddress(QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())))
                     .isNull();
       }},
      {"--port", number(0, 65535, [&](int64_t v) { options.port = static_cast<unsigned>(v); })},
      {"--database", [&](std::string_view v) { return !(options.database = v).empty(); }},
      {"--seed",
       [&](std::string_view v) { return !(options.seedFile = std::filesystem::path(v))->empty(); }},
      {"--min-digests", number(1, kMany, [&](int64_t v) { options.publish.minDigests = v; })},
      {"--min-clients", number(1, kMany, [&](int64_t v) { options.publish.minClients = v; })},
      {"--days", number(1, 36500, [&](int64_t v) { options.publish.days = v; })},
      {"--domain-min-addresses",
       number(1, kMany, [&](int64_t v) { options.publish.domainMinAddresses = v; })},
      {"--domain-min-clients",
       number(1, kMany, [&](int64_t v) { options.publish.domainMinClients = v; })},
      {"--domain-days", number(1, 36500, [&](int64_t v) { options.publish.domainDays = v; })},
      {"--shared-domains",
       [&](std::string_view v) {
         return !(options.sharedDomainsFile = std::filesystem::path(v))->empty();
       }},
      {"--publish-interval",
       number(1, 86400,
              [&](int64_t v) { options.server.publishInterval = std::chrono::seconds(v); })},
      {"--rate-limit",
       number(0, kMany,
              [&](int64_t v) { options.server.rateLimitPerMinute = static_cast<double>(v); })},
      {"--rate-burst",
       number(1, kMany,
              [&](int64_t v) { options.server.rateLimitBurst = static_cast<double>(v); })},
      {"--trusted-proxy",
       [&](std::string_view v) {
         options.server.trustedProxy =
             QHostAddress(QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())));
         return !options.server.trustedProxy.isNull();
       }},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--sync-each-report") {
      options.store.syncEachCommit = true;
    } else if (args[i] == "--log-reports") {
      options.server.logReports = true;
    } else if (const auto it = valued.find(args[i]); it != valued.end()) {
      if (i + 1 == args.size())
        return std::string(args[i]) + " needs a value";
      if (!it->second(args[++i]))
        return "bad value for " + std::string(args[i - 1]) + ": " + std::string(args[i]);
    } else {
      return "unknown argument: " + std::string(args[i]);
    }
  }
  if (!options.makeKeyFolder && options.keyFile.empty())
    return std::string("--key FILE is needed (make one with --make-key DIR)");
  return options;
}

}  // namespace tervane
