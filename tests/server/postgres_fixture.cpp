// The CTest fixture around the PostgreSQL tests:
//   postgres_fixture start FILE   starts a throwaway PostgreSQL and writes its URI into FILE, or
//                                 "skip: <reason>" when none can start (the tests then skip)
//   postgres_fixture stop FILE    stops the instance that FILE names and removes FILE
// Both exit 0 unless used wrongly, so that a machine without PostgreSQL skips rather than fails.
#include <QCoreApplication>
#include <fstream>
#include <iostream>
#include <string>

#include "tests/server/postgres_instance.h"

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::cerr << "usage: postgres_fixture start|stop FILE\n";
    return 2;
  }
  const std::string command = argv[1];
  const std::filesystem::path file = argv[2];
  std::error_code ignored;
  if (command == "start") {
    std::string reason;
    const auto instance = tervane::testing::PostgresInstance::Start(&reason);
    std::filesystem::create_directories(file.parent_path(), ignored);
    std::ofstream out(file);
    if (!instance) {
      std::cout << "PostgreSQL tests will be skipped: " << reason << "\n";
      out << "skip: " << reason << "\n";
      return 0;
    }
    instance->Release();
    out << instance->uri() << "\n" << instance->dataFolder().string() << "\n";
    std::cout << "PostgreSQL for the tests at " << instance->uri() << "\n";
    return 0;
  }
  if (command == "stop") {
    std::ifstream in(file);
    std::string uri;
    std::string folder;
    std::getline(in, uri);
    std::getline(in, folder);
    if (!folder.empty())
      tervane::testing::PostgresInstance::Stop(folder);
    std::filesystem::remove(file, ignored);
    return 0;
  }
  std::cerr << "usage: postgres_fixture start|stop FILE\n";
  return 2;
}
