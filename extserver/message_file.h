#ifndef TERVANE_EXTSERVER_MESSAGE_FILE_H_
#define TERVANE_EXTSERVER_MESSAGE_FILE_H_

#include <filesystem>
#include <optional>
#include <string>

namespace tervane {

// The header section of a message file as stored, without the blank line that ends it. Reads
// only as far as that blank line. Nothing when the file cannot be read.
std::optional<std::string> ReadMessageHeaders(const std::filesystem::path& file);

// Everything after the header section's blank line; empty when there is none. Nothing when the
// file cannot be read.
std::optional<std::string> ReadMessageBody(const std::filesystem::path& file);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_MESSAGE_FILE_H_
