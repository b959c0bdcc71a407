// tervane-sender: prints, for each message file given, the sender address the filter looks up.
// The header section is read as the mail store reads it and the address taken by the filter's
// own sender rule, so a list made from this output matches what the filter will look up.
//   tervane-sender FILE...
// One line per file, tab-separated: the file, the address (control characters shown as '?'),
// 1 when a reference list may hold the address (else 0), and 1 when the message came through a
// mailing list (a List-Id or List-Post field, or Precedence list or bulk; else 0).
// Exit 0; 1 when a file cannot be read (its line is left out); 2 without arguments.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "engine/address_rules.h"
#include "maildir/message_file.h"
#include "message/header_fields.h"
#include "reflist/address_list.h"

namespace {

std::string Printable(std::string text) {
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      c = '?';
  }
  return text;
}

}  // namespace

int main(int argc, char* argv[]) {
  tervane::CommandLine commandLine("tervane-sender", {"FILE..."});
  commandLine.Text(
      "Prints for each message file: the file, the sender address the filter looks up, 1 when\n"
      "a reference list may hold it (else 0), 1 when the message came through a mailing list.\n");
  if (const std::optional<int> exit = commandLine.Parse(tervane::CommandWords(argc, argv)))
    return *exit;
  if (commandLine.Arguments().empty())
    return commandLine.WrongUsage("takes message files");
  int status = tervane::kExitOk;
  for (const std::string& file : commandLine.Arguments()) {
    const std::optional<std::string> headers = tervane::ReadMessageHeaders(file);
    if (!headers) {
      std::cerr << "tervane-sender: cannot read " << file << "\n";
      status = tervane::kExitRefused;
      continue;
    }
    const std::string sender = tervane::ExtractSenderAddress(*headers);
    std::cout << file << '\t' << Printable(sender) << '\t'
              << (tervane::IsPublishableAddress(sender) ? 1 : 0) << '\t'
              << (tervane::IsMailingListMessage(*headers) ? 1 : 0) << '\n';
  }
  return status;
}
