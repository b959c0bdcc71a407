#ifndef TERVANE_SHELL_PIPED_MARKS_H_
#define TERVANE_SHELL_PIPED_MARKS_H_

#include <string>
#include <vector>

#include "control/control_protocol.h"

namespace tervane {

class IMailStore;
struct FilterContext;

// The program's answer to oectl spam and oectl notspam: each message, named by its file or piped
// to oectl, is marked as the Spam or Not Spam button marks it when it is the only one selected.
// A message is looked for in the store by its file, else by its Message-ID (Spam: in the spam
// folder last; Not Spam: in the spam folder first). One the store holds in the wrong folder (Spam
// in the spam folder, Not Spam outside it) changes nothing, as with the buttons; one the store
// does not hold changes the lists (and for Spam is counted and reported) and is not moved. Returns a
// line per message saying what was done. Throws TransferError for a refused transfer file and
// DatabaseError as the marks do. REQUIRES: the filter database is open (the program attached).
std::vector<std::string> MarkPipedMessages(IMailStore& store, FilterContext& context,
                                           const ControlRequest& request);

}  // namespace tervane

#endif  // TERVANE_SHELL_PIPED_MARKS_H_
