#include "store/query_sql.h"

#include <array>

namespace tervane {
namespace {

#define TERVANE_PAGE(table, where) \
  "SELECT rowid, * FROM " table " WHERE " where "rowid >= ?1 ORDER BY rowid LIMIT ?2"

// Indexed by QueryText.
constexpr std::array<QuerySql, kQueryTextCount> kQueries = {{
    {"whitetable", false, TERVANE_PAGE("whitetable", "")},
    {"blacktable", false, TERVANE_PAGE("blacktable", "")},
    {"misc", false, TERVANE_PAGE("misc", "")},
    {"misc", false, TERVANE_PAGE("misc", "id = 1 AND ")},
    {"whitetable", true, TERVANE_PAGE("whitetable", "mail = ?3 AND ")},
    {"blacktable", true, TERVANE_PAGE("blacktable", "mail = ?3 AND ")},
    {"officialspam", true, TERVANE_PAGE("officialspam", "mail = ?3 AND ")},
    {"officialspam", false, TERVANE_PAGE("officialspam", "")},
}};

#undef TERVANE_PAGE

std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"')
      out += '"';
  }
  return out + "\"";
}

}  // namespace

const QuerySql& SqlFor(QueryText query) {
  return kQueries.at(static_cast<size_t>(query));
}

std::string InsertSql(std::string_view table, const std::vector<std::string>& columns) {
  if (columns.empty())
    return "INSERT INTO " + Quoted(table) + " DEFAULT VALUES";
  std::string names;
  std::string values;
  for (size_t i = 0; i < columns.size(); ++i) {
    names += (i ? ", " : "") + Quoted(columns[i]);
    values += (i ? ", ?" : "?") + std::to_string(i + 1);
  }
  return "INSERT INTO " + Quoted(table) + " (" + names + ") VALUES (" + values + ")";
}

std::string UpdateSql(std::string_view table, const std::vector<std::string>& columns) {
  std::string sets;
  for (size_t i = 0; i < columns.size(); ++i) {
    sets += (i ? ", " : "") + Quoted(columns[i]) + " = ?" + std::to_string(i + 1);
  }
  return "UPDATE " + Quoted(table) + " SET " + sets + " WHERE rowid = ?" +
         std::to_string(columns.size() + 1);
}

std::string DeleteSql(std::string_view table) {
  return "DELETE FROM " + Quoted(table) + " WHERE rowid = ?1";
}

std::string RowSql(std::string_view table) {
  return "SELECT rowid, * FROM " + Quoted(table) + " WHERE rowid = ?1";
}

}  // namespace tervane
