#ifndef TERVANE_SERVER_SERVER_OPTIONS_H_
#define TERVANE_SERVER_SERVER_OPTIONS_H_

// The command line of tervane-server.

#include <filesystem>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "server/reference_publisher.h"
#include "server/report_server.h"
#include "server/report_store.h"

namespace tervane {

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

// Declares tervane-server's options on commandLine.
void DeclareServerOptions(CommandLine& commandLine);

// The options commandLine was given. Throws UsageError naming a wrong one.
ServerOptions ReadServerOptions(const CommandLine& commandLine);

}  // namespace tervane

#endif  // TERVANE_SERVER_SERVER_OPTIONS_H_
