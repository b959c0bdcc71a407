#include "ui/settings_actions.h"

namespace tervane {

int TrackBarPositionForLevel(int32_t level) {
  // Compared before subtracting, so no level can overflow.
  if (level >= 4 - kTrackBarMinimum) {
    return kTrackBarMinimum;
  }
  if (level <= 4 - kTrackBarMaximum) {
    return kTrackBarMaximum;
  }
  return 4 - level;
}

int32_t LevelForTrackBarPosition(int position) {
  return 4 - position;
}

std::string_view LevelDescription(int position) {
  switch (position) {
    case 1:
      return "High - you will only receive e-mail from addresses appearing in your whitelist.";
    case 2:
      return "Medium - most junk e-mail is caught.";
    case 3:
      return "Low - obvious junk e-mail in your blacklist is caught.";
    default:
      return {};
  }
}

std::string StatisticsText(int32_t spamNumber) {
  const int32_t minutes = spamNumber / 2;  // C++ division rounds toward zero
  return "Tervane Spam Filter For Outlook Express already blocked " + std::to_string(spamNumber) +
         " spam messages. If you waste 30 sec in every spam message, you alreay save " +
         std::to_string(minutes) + " mins in your life.";
}

void DeleteListEntry(RecordCursor& listView, int row) {
  if (row >= 0 && row < listView.FetchedCount()) {
    listView.MoveTo(row);
  }
  listView.Delete();
}

}  // namespace tervane
