#ifndef TERVANE_ENGINE_MARKING_H_
#define TERVANE_ENGINE_MARKING_H_

#include "engine/filter_context.h"

namespace tervane {

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

}  // namespace tervane

#endif  // TERVANE_ENGINE_MARKING_H_
