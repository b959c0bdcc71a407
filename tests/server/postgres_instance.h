#ifndef TERVANE_TESTS_SERVER_POSTGRES_INSTANCE_H_
#define TERVANE_TESTS_SERVER_POSTGRES_INSTANCE_H_

// A throwaway PostgreSQL for the tests: initdb and pg_ctl (Debian's postgresql package, found
// under /usr/lib/postgresql/*/bin) in a fresh temporary folder, listening on a free port of
// 127.0.0.1 only, trusting every local connection. PostgreSQL refuses to run as root, so as
// root the folder is given to the user nobody and the server runs as nobody.
//
// Under CTest one instance serves every test: the fixture test "server_postgres_start" starts it
// and writes its address into a file of the build tree, "server_postgres_stop" stops it. A test
// program run by hand starts its own instance when that file names none.

#include <filesystem>
#include <memory>
#include <string>

namespace tervane::testing {

class PostgresInstance {
 public:
  // Starts a new instance with its data under a new folder. On failure returns nullptr and sets
  // *reason (the step that failed and PostgreSQL's own words).
  static std::unique_ptr<PostgresInstance> Start(std::string* reason);
  // Stops the instance started in dataFolder (by Start in this or another process) and removes
  // the folder.
  static void Stop(const std::filesystem::path& dataFolder);
  ~PostgresInstance();  // stops it unless Release was called
  PostgresInstance(const PostgresInstance&) = delete;
  PostgresInstance& operator=(const PostgresInstance&) = delete;

  // "postgresql://postgres@127.0.0.1:<port>/postgres"
  const std::string& uri() const { return uri_; }
  const std::filesystem::path& dataFolder() const { return folder_; }
  // Leaves the instance running when this object goes away.
  void Release() { released_ = true; }

 private:
  PostgresInstance(std::filesystem::path folder, std::string uri)
      : folder_(std::move(folder)), uri_(std::move(uri)) {}
  std::filesystem::path folder_;
  std::string uri_;
  bool released_ = false;
};

// The URI of a fresh, empty database on the tests' PostgreSQL, made for the caller. Empty when no
// PostgreSQL can be had; *skipReason then says why.
std::string FreshPostgresDatabase(std::string* skipReason);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SERVER_POSTGRES_INSTANCE_H_
