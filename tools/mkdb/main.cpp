// tervane-mkdb: creates the filter database files cust.mdb and ospam.mdb in a folder.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "store/database_error.h"
#include "store/database_maker.h"
#include "store/filter_database.h"

namespace {

constexpr char kProgram[] = "tervane-mkdb";

struct Options {
  std::filesystem::path folder;
  std::optional<std::filesystem::path> referenceList;
  bool keepExisting = false;
};

int Refuse(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return tervane::kExitRefused;
}

int Run(const Options& options) {
  std::vector<std::string> addresses;
  if (options.referenceList) {
    std::ifstream in(*options.referenceList);
    if (!in) {
      return Refuse("cannot read the reference list " + options.referenceList->string() + ": " +
                    std::strerror(errno));
    }
    addresses = tervane::ParseAddressList(in);
    if (in.bad())
      return Refuse("cannot read the reference list " + options.referenceList->string());
  }

  const auto customer = options.folder / tervane::kCustomerDatabaseFile;
  const auto reference = options.folder / tervane::kReferenceDatabaseFile;
  std::error_code error;
  const bool haveCustomer =
      std::filesystem::exists(std::filesystem::symlink_status(customer, error));
  const bool haveReference =
      std::filesystem::exists(std::filesystem::symlink_status(reference, error));
  if (!options.keepExisting && (haveCustomer || haveReference)) {
    return Refuse((haveCustomer ? customer : reference).string() +
                  " already exists; nothing was created");
  }
  std::filesystem::create_directories(options.folder, error);
  if (error)
    return Refuse("cannot create " + options.folder.string() + ": " + error.message());

  try {
    if (!haveCustomer) {
      tervane::CreateCustomerDatabase(customer);
      std::cout << "created " << customer.string() << "\n";
    }
    if (!haveReference) {
      tervane::CreateReferenceDatabase(reference, addresses);
      std::cout << "created " << reference.string() << " from " << addresses.size()
                << " listed addresses\n";
    }
  } catch (const tervane::DatabaseError& e) {
    return Refuse(e.what());
  }
  return tervane::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  tervane::CommandLine commandLine(kProgram, {"DIR [--reference-list FILE] [--keep-existing]"});
  commandLine
      .Option("reference-list", "FILE",
              "the spam senders of ospam.mdb, one address a line ('#' comments)")
      .Flag("keep-existing", "leave a database file that is already there")
      .Text(
          "Creates DIR/cust.mdb (empty white and black lists, default settings) and "
          "DIR/ospam.mdb;\nan existing file is never overwritten.\n");
  if (const std::optional<int> exit = commandLine.Parse(tervane::CommandWords(argc, argv)))
    return *exit;
  if (commandLine.Arguments().size() != 1 || commandLine.Arguments()[0].empty())
    return commandLine.WrongUsage("takes one folder");
  Options options;
  options.folder = commandLine.Arguments()[0];
  if (const std::optional<std::string> list = commandLine.Value("reference-list"))
    options.referenceList = *list;
  options.keepExisting = commandLine.Has("keep-existing");
  return Run(options);
}
