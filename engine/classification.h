#ifndef TERVANE_ENGINE_CLASSIFICATION_H_
#define TERVANE_ENGINE_CLASSIFICATION_H_

#include <cstdint>

#include "engine/filter_context.h"

namespace tervane {

// Handles a new-message event: ignores messages of the spam folder, classifies the others.
void FilterNewMessage(FilterContext& context, int32_t folderId, int32_t newMsgId);

// Judges one message by its sender's address and moves spam into the spam folder; a message
// that is kept is not touched. Lookups, at most three: white list (present: keep), then at High
// nothing else (spam); black list (present: spam); at Low nothing else (keep); reference list.
// An address that is not valid is spam before any lookup. A folder the store no longer has is
// left alone; a message it no longer has, or cannot read now, is judged not at all, and the log
// says why. A DatabaseError ends the classification before any move.
void ClassifyNewMessage(FilterContext& context, int32_t folderId, int32_t newMsgId);

}  // namespace tervane

#endif  // TERVANE_ENGINE_CLASSIFICATION_H_
