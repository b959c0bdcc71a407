#ifndef TERVANE_ENGINE_MARKING_H_
#define TERVANE_ENGINE_MARKING_H_

#include <cstdint>

#include "engine/filter_context.h"

namespace tervane {

class IOEMessage;

// The Spam command, for every selected message outside the spam folder in selection order:
// puts the sender on the black list (once), takes the first white-list row of the sender off,
// moves the message into the spam folder, adds one to misc.spamnumber and starts its spam
// report. A message or folder the store no longer has is skipped. A DatabaseError ends the
// command at that step; what was posted before stays.
void MarkSelectedAsSpam(FilterContext& context);

// The Not Spam command, for every selected message inside the spam folder: puts the sender on
// the white list (once), takes the first black-list row of the sender off and moves the message
// into the inbox. Counts and reports nothing.
void MarkSelectedAsNotSpam(FilterContext& context);

// What happened to a message marked on its own (by piping it to the program).
enum class MarkOutcome {
  kMarked,         // lists changed (and for Spam counted and reported), and moved
  kNotMoved,       // lists changed and reported as above, but the move failed
  kWrongFolder,    // Spam on a message in the spam folder, Not Spam on one outside it: nothing
  kNoSuchMessage,  // the store has no such folder or message now: nothing
};

// Spam and Not Spam for one message of the store, exactly as the commands above handle it when
// it is the only one selected. The log names the mark as made by piping.
MarkOutcome MarkMessageAsSpam(FilterContext& context, int32_t folderId, int32_t messageId);
MarkOutcome MarkMessageAsNotSpam(FilterContext& context, int32_t folderId, int32_t messageId);

// Spam and Not Spam for a message the store does not hold (its text piped to the program): the
// lists change, and Spam counts and reports, as for a stored message; nothing is moved.
void MarkTextAsSpam(FilterContext& context, IOEMessage& message);
void MarkTextAsNotSpam(FilterContext& context, IOEMessage& message);

// A message the user moved with a mail client of their own (see UserMove): moved into the spam
// folder from another folder (or from none known) it is marked as Spam marks it, moved out of
// the spam folder into any folder but a trash folder ("Trash", "Deleted Items", "Deleted
// Messages", letter case ignored) as Not Spam marks it; the message stays where the user put
// it. Every other move changes nothing. A message that is gone again is skipped and logged.
void MarkMovedMessage(FilterContext& context, int32_t fromFolderId, int32_t toFolderId,
                      int32_t messageId);

}  // namespace tervane

#endif  // TERVANE_ENGINE_MARKING_H_
