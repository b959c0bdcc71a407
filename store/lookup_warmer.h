#ifndef TERVANE_STORE_LOOKUP_WARMER_H_
#define TERVANE_STORE_LOOKUP_WARMER_H_

// Internal to store/: reading ahead the pages that lookups pass through.

#include "store/connection_core.h"
#include "store/query_text.h"

namespace tervane {

// Reads into the connection's page cache the upper levels of the index that lookups of query
// (one of the three lookups) search, by looking up, in index order, the addresses found at even
// steps through the table. Afterwards a lookup reads about one page it does not hold yet (the
// index leaf with the address) instead of one per level of the index, so the first lookups after
// an Open cost what later ones do. A small file is left alone (its first lookups soon hold it
// all); for a file of millions of rows this reads a few thousand pages, never the whole file.
// Writes nothing. Errors are ignored: warming only saves time, and a lookup reports any fault.
// REQUIRES: the connection is open.
void WarmLookups(ConnectionCore& connection, QueryText query);

}  // namespace tervane

#endif  // TERVANE_STORE_LOOKUP_WARMER_H_
