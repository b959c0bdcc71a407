#ifndef TERVANE_UI_SETTINGS_ACTIONS_H_
#define TERVANE_UI_SETTINGS_ACTIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/address_rules.h"  // kInvalidEmailMessage
#include "engine/date_time.h"
#include "engine/list_rows.h"
#include "engine/misc_row.h"  // ReadSpamNumber, SaveSecurityLevel
#include "store/filter_database.h"

namespace tervane {

// What the settings window does, over the filter database and plain values. Every function
// that touches the database throws DatabaseError.

// The security-level track bar: position 1 (top) is High, 3 (bottom) is Low.
inline constexpr int kTrackBarMinimum = 1;
inline constexpr int kTrackBarMaximum = 3;

// Returns the track bar position that shows level: 4 - level, kept within 1 to 3.
int TrackBarPositionForLevel(int32_t level);

// Returns the security level a track bar position stands for: 4 - position.
// REQUIRES: kTrackBarMinimum <= position <= kTrackBarMaximum.
int32_t LevelForTrackBarPosition(int position);

// Returns the description of the level at a track bar position; empty outside 1 to 3.
std::string_view LevelDescription(int position);

// Returns the statistics text for spamNumber messages marked as spam, with the minutes saved at
// 30 seconds a message (spamNumber / 2, rounded toward zero).
std::string StatisticsText(int32_t spamNumber);

// Deletes row (0-based, already fetched) of the open list view from the database, or the
// current row when row < 0. Throws "<cursor>: Cannot perform this operation on an empty
// dataset" when the list is empty.
void DeleteListEntry(RecordCursor& listView, int row);

}  // namespace tervane

#endif  // TERVANE_UI_SETTINGS_ACTIONS_H_
