#ifndef TERVANE_TOOLS_OECTL_ANSWER_TEXT_H_
#define TERVANE_TOOLS_OECTL_ANSWER_TEXT_H_

#include <string>

#include "control/control_protocol.h"

namespace tervane {

// What oectl prints for an accepted answer: one row per line, fields separated by tabs
// ("running" or "stopped" for a status, then the mail store: "maildir" and its folder, or "imap",
// the account and "connected" or "not connected" with why). Tabs and line breaks inside a field
// become spaces so that every row stays one line. Empty for an answer that carries no result.
std::string AnswerText(const ControlAnswer& answer);

}  // namespace tervane

#endif  // TERVANE_TOOLS_OECTL_ANSWER_TEXT_H_
