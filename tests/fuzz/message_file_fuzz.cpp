// The message file reader: the header section of a file holding the fuzzer's bytes, read in
// chunks from the disk, must be what a split of the whole text gives.
#include <fstream>
#include <optional>
#include <string>

#include "maildir/message_file.h"
#include "message/header_fields.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/temp_dir.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

namespace {

// Larger inputs may be cut by a cap on header bytes; below it the file is read whole.
constexpr size_t kUncappedBytes = 64 * 1024;

const std::filesystem::path& MessageFile() {
  static const tervane::testing::TempDir folder;
  static const std::filesystem::path file = folder / "message";
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  {
    std::ofstream out(MessageFile(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    Check(static_cast<bool>(out.flush()), "the message file is written");
  }
  const tervane::HeaderSplit split = tervane::SplitMessage(text);

  const std::optional<std::string> headers = tervane::ReadMessageHeaders(MessageFile());
  Check(headers.has_value(), "a regular file is read");
  Check(text.starts_with(*headers), "the headers read are the start of the file");
  if (size < kUncappedBytes) {
    Check(headers->size() == split.headerSize, "the headers end at the first blank line");
  }

  const std::optional<std::string> body = tervane::ReadMessageBody(MessageFile());
  Check(body.has_value(), "a regular file is read");
  Check(*body == text.substr(split.bodyStart), "the body follows the first blank line");
  return 0;
}
