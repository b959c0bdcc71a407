#include "store/field_value.h"

#include <sqlcipher/sqlite3.h>

#include <charconv>
#include <cmath>

namespace tervane {
namespace {

template <typename Number>
std::optional<Number> Parse(const std::string& text) {
  Number number{};
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || ptr != end)
    return std::nullopt;
  return number;
}

}  // namespace

FieldValue ReadColumn(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
      return std::monostate{};
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement, column);
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      return std::string(text != nullptr ? text : "",
                         static_cast<size_t>(sqlite3_column_bytes(statement, column)));
    }
  }
}

int BindValue(sqlite3_stmt* statement, int index, const FieldValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) {
    return sqlite3_bind_int64(statement, index, *number);
  }
  if (const auto* real = std::get_if<double>(&value)) {
    return sqlite3_bind_double(statement, index, *real);
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    return sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                             SQLITE_TRANSIENT);
  }
  return sqlite3_bind_null(statement, index);
}

std::string ValueAsString(const FieldValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value))
    return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, *real);
    return std::string(buffer, result.ptr);
  }
  if (const auto* text = std::get_if<std::string>(&value))
    return *text;
  return {};
}

std::optional<int64_t> ValueAsInteger(const FieldValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value))
    return *number;
  if (const auto* real = std::get_if<double>(&value)) {
    if (!std::isfinite(*real) || std::fabs(*real) >= 9.2e18)
      return std::nullopt;
    return static_cast<int64_t>(std::llround(*real));
  }
  if (const auto* text = std::get_if<std::string>(&value))
    return Parse<int64_t>(*text);
  return 0;
}

std::optional<double> ValueAsDouble(const FieldValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value))
    return static_cast<double>(*number);
  if (const auto* real = std::get_if<double>(&value))
    return *real;
  if (const auto* text = std::get_if<std::string>(&value))
    return Parse<double>(*text);
  return 0.0;
}

}  // namespace tervane
