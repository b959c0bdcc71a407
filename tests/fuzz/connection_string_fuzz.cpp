// The mail client's connection strings: any text parses or is refused with DatabaseError, and
// every file name made into a connection string reads back unchanged.
#include <string>

#include "store/connection_string.h"
#include "store/database_error.h"
#include "tests/fuzz/fuzz_check.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  try {
    const tervane::ConnectionTarget target = tervane::ParseConnectionString(text);
    Check(!target.dataSource.empty(), "a parsed string names a data source");
  } catch (const tervane::DatabaseError&) {
    // Refused: no data source named.
  }

  // File names hold any byte but NUL.
  const std::string file(text.substr(0, text.find('\0')));
  if (!file.empty()) {
    const tervane::ConnectionTarget back =
        tervane::ParseConnectionString(tervane::MakeConnectionString(file, "kd503817"));
    Check(back.dataSource == file, "a file name reads back from its connection string");
    Check(back.password == "kd503817", "the password reads back from the connection string");
  }
  return 0;
}
