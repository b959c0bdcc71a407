#ifndef TERVANE_STORE_FIELD_VALUE_H_
#define TERVANE_STORE_FIELD_VALUE_H_

// Internal to store/: one field value of a row as read from or written to the database.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

struct sqlite3_stmt;

namespace tervane {

// Null, INTEGER, REAL or TEXT (BLOBs read as text).
using FieldValue = std::variant<std::monostate, int64_t, double, std::string>;

FieldValue ReadColumn(sqlite3_stmt* statement, int column);
// Binds value to the 1-based parameter index. Returns the engine's result code.
int BindValue(sqlite3_stmt* statement, int index, const FieldValue& value);

// Conversions as the cursor's typed accessors make them; null reads as "" and 0. The numeric
// ones return nullopt for text that is not a number.
std::string ValueAsString(const FieldValue& value);
std::optional<int64_t> ValueAsInteger(const FieldValue& value);
std::optional<double> ValueAsDouble(const FieldValue& value);

}  // namespace tervane

#endif  // TERVANE_STORE_FIELD_VALUE_H_
