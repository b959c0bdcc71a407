#ifndef TERVANE_ENGINE_HARVEST_H_
#define TERVANE_ENGINE_HARVEST_H_

#include <string_view>

#include "engine/date_time.h"
#include "engine/filter_context.h"

namespace tervane {

// The date of a sent message as the harvest reads it from its header text: at most 32
// characters from the sixth after the first "Date:" (the character after the colon is passed
// over, whatever it is), read by ParseInternetDate; today minus ten days when there is no
// "Date:". Characters are UTF-8 code points; none is cut in half.
TDateTime SentMessageDate(std::string_view headerText, TDateTime today);

// Puts on the white list the first recipient of every sent message dated later than the
// harvest watermark (misc.date; null reads as the zero date), once per address, with the
// recipient's display name, then sets the watermark to today. A recipient that is the message's
// own sender address (letter case ignored; the sender rule's address when there is a
// Return-Path, else the From line's) is never added. Every message is read;
// only newer ones cost a lookup. Without a sent folder it ends without touching the watermark,
// and so it does when a message could not be read now (the next harvest looks at it again). A
// DatabaseError ends the harvest at that step: rows posted stay, the watermark does not move.
void HarvestSentRecipients(FilterContext& context);

}  // namespace tervane

#endif  // TERVANE_ENGINE_HARVEST_H_
