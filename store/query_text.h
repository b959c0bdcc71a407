#ifndef TERVANE_STORE_QUERY_TEXT_H_
#define TERVANE_STORE_QUERY_TEXT_H_

#include <cstddef>

namespace tervane {

// The only queries the program and its tools run. The lookups compare the whole `mail` value with
// an address passed as a bound parameter (never spliced into the query text).
enum class QueryText {
  kWhiteTable,          // select * from whitetable
  kBlackTable,          // select * from blacktable
  kMisc,                // select * from misc
  kMiscWhereId1,        // select * from misc where id=1
  kWhiteTableLookup,    // select * from whitetable where mail='<address>'
  kBlackTableLookup,    // select * from blacktable where mail='<address>'
  kOfficialSpamLookup,  // select * from officialspam where mail='<address>'
  kOfficialSpam,        // select * from officialspam (the whole reference list, for listing)
};

inline constexpr std::size_t kQueryTextCount = 8;

}  // namespace tervane

#endif  // TERVANE_STORE_QUERY_TEXT_H_
