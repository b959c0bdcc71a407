// tervane-server: the maker's web server. Receives the spam reports the program sends and
// publishes signed versions of the reference list (see server/report_server.h). SIGTERM ends it
// at once: every report it answered is committed already.
#include <QCoreApplication>
#include <QHostAddress>
#include <exception>
#include <fstream>
#include <iostream>

#include "cli/command_line.h"
#include "reflist/ed25519_keys.h"
#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"
#include "server/server_options.h"
#include "server/shared_domains.h"
#include "store/database_maker.h"

namespace {

constexpr char kProgram[] = "tervane-server";
constexpr int kFailed = tervane::kExitRefused;

// The lines of a list file (blanks around them, blank lines and '#' comments left out); what
// names it in a failure.
std::vector<std::string> ReadList(const std::optional<std::filesystem::path>& file,
                                  const std::string& what) {
  if (!file)
    return {};
  std::ifstream in(*file);
  if (!in)
    throw std::runtime_error("cannot read the " + what + " " + file->string());
  return tervane::ParseAddressList(in);
}

int Serve(const tervane::ServerOptions& options) {
  using namespace tervane;
  const SigningKey key = SigningKey::Load(options.keyFile);
  const std::unique_ptr<ReportStore> store = OpenReportStore(options.database, options.store);
  // Versions are built on a thread of their own, over a connection of their own.
  const std::unique_ptr<ReportStore> publishing = OpenReportStore(options.database, options.store);
  std::vector<std::string> sharedDomains = ShippedSharedDomains();
  for (std::string& domain : ReadList(options.sharedDomainsFile, "list of shared domains"))
    sharedDomains.push_back(std::move(domain));
  ReferencePublisher publisher(*publishing, key, ReadList(options.seedFile, "seed list"),
                               options.publish, std::move(sharedDomains));
  if (publisher.SkippedSeedAddresses() > 0) {
    std::cerr << "tervane-server: " << publisher.SkippedSeedAddresses()
              << " seed entries are not publishable and are left out\n";
  }
  ReportServer server(*store, publisher, options.server);
  QObject::connect(&server, &ReportServer::Published, [](int64_t version, int64_t count) {
    std::cout << "published version " << version << ": " << count << " addresses\n" << std::flush;
  });
  server.Start();
  const QHostAddress address(QString::fromStdString(options.listenAddress));
  const quint16 port = server.Listen(address, static_cast<quint16>(options.port));
  if (port == 0) {
    std::cerr << "tervane-server: cannot listen on " << options.listenAddress << ":" << options.port
              << "\n";
    return kFailed;
  }
  std::cout << "listening on " << options.listenAddress << ":" << port << "\n" << std::flush;
  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  tervane::CommandLine commandLine(kProgram, {"--key FILE [options]", "--make-key DIR"});
  tervane::DeclareServerOptions(commandLine);
  if (const std::optional<int> exit = commandLine.Parse(tervane::CommandWords(argc, argv)))
    return *exit;
  tervane::ServerOptions options;
  try {
    options = tervane::ReadServerOptions(commandLine);
  } catch (const tervane::UsageError& problem) {
    return commandLine.WrongUsage(problem.what());
  }
  try {
    if (options.makeKeyFolder) {
      tervane::MakeKeyPair(*options.makeKeyFolder);
      std::cout << "wrote " << (*options.makeKeyFolder / tervane::kPrivateKeyFile).string()
                << " and " << (*options.makeKeyFolder / tervane::kPublicKeyFile).string() << "\n";
      return 0;
    }
    return Serve(options);
  } catch (const std::exception& e) {
    std::cerr << "tervane-server: " << e.what() << "\n";
    return kFailed;
  }
}
