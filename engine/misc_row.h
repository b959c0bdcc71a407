#ifndef TERVANE_ENGINE_MISC_ROW_H_
#define TERVANE_ENGINE_MISC_ROW_H_

#include <cstdint>
#include <optional>

#include "engine/date_time.h"

namespace tervane {

struct FilterDatabase;

// The misc row of the customer database (settings and counters), read and written through
// ADODataSet1 with a fresh query each time. Every function throws DatabaseError.

struct MiscRow {
  int32_t secureclass = 0;           // the stored security level, unchanged
  int32_t spamnumber = 0;            // messages the user marked as spam
  int32_t number = 0;                // detaches
  std::optional<TDateTime> harvest;  // the harvest watermark; nothing when never harvested
};

// Returns the first misc row's settings and counters.
MiscRow ReadMiscRow(FilterDatabase& db);

// Returns misc.spamnumber of the first misc row.
int32_t ReadSpamNumber(FilterDatabase& db);

// Stores level as misc.secureclass of the first misc row; committed at once.
void SaveSecurityLevel(FilterDatabase& db, int32_t level);

}  // namespace tervane

#endif  // TERVANE_ENGINE_MISC_ROW_H_
