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
constexpr int kOk = 0;
constexpr int kRefused = 1;

constexpr const char* kUsageText =
    "usage: tervane-mkdb DIR [--reference-list FILE] [--keep-existing]\n"
    "       tervane-mkdb --help | --version\n"
    "  Creates DIR/cust.mdb (empty white and black lists, default settings) and DIR/ospam.mdb\n"
    "  (the reference list of spam senders: one address per line of FILE, blank lines and\n"
    "  lines beginning with '#' skipped). An existing file is never overwritten: without\n"
    "  --keep-existing the tool refuses, with it the existing file is left as it is.\n";

struct Options {
  std::filesystem::path folder;
  std::optional<std::filesystem::path> referenceList;
  bool keepExisting = false;
};

// Returns nullopt on wrong usage.
std::optional<Options> ParseArguments(const std::vector<std::string_view>& args) {
  Options options;
  bool hasFolder = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--reference-list") {
      if (++i == args.size() || options.referenceList)
        return std::nullopt;
      options.referenceList = std::filesystem::path(args[i]);
    } else if (args[i] == "--keep-existing") {
      options.keepExisting = true;
    } else if (args[i].starts_with("-") || hasFolder || args[i].empty()) {
      return std::nullopt;
    } else {
      options.folder = std::filesystem::path(args[i]);
      hasFolder = true;
    }
  }
  if (!hasFolder)
    return std::nullopt;
  return options;
}

int Refuse(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n";
  return kRefused;
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
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args = tervane::CommandWords(argc, argv);
  if (const std::optional<int> answered =
          tervane::AnswerStandardOptions(kProgram, kUsageText, args)) {
    return *answered;
  }
  const std::optional<Options> options = ParseArguments(args);
  if (!options) {
    return tervane::WrongUsage(kProgram, kUsageText);
  }
  return Run(*options);
}
