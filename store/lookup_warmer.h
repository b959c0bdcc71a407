#ifndef TERVANE_STORE_LOOKUP_WARMER_H_
#define TERVANE_STORE_LOOKUP_WARMER_H_

// Reading ahead, a slice at a time, the pages that the filter's lookups read: the indexes of the
// white and black lists in cust.mdb and of the reference list in ospam.mdb, then the white and
// black lists' tables (read by lookups that find their address). Every page a lookup reaches for
// the first time is read and decrypted; once warmed, the first lookups after an open cost what
// later ones do.
//
// An index or table that fits its connection's page cache is read whole, in order. An index that
// does not (a reference list of millions of addresses) has only its upper levels read, by looking
// up addresses sampled at even steps through the table: a lookup then reads about one page it does
// not hold (the leaf with the address) instead of one per level, and the cache stays within its
// bound. Which of the two is found by reading in order and stopping as soon as the pages read so
// far show that the whole would not fit.
//
// Warming only reads: nothing is written into either file or beside it, no statement stays active
// between two slices (the lists may be changed between them), and errors are ignored, since a
// lookup reports any fault itself.

#include <chrono>
#include <cstdint>
#include <vector>

namespace tervane {

struct FilterDatabase;

class LookupWarmer {
 public:
  // REQUIRES: db outlives the warmer. cacheBytes: the page cache an index must fit to be read
  // whole (a connection's cache, unless a test asks for less).
  explicit LookupWarmer(FilterDatabase& db, int64_t cacheBytes = kConnectionCacheBytes);
  ~LookupWarmer();
  LookupWarmer(const LookupWarmer&) = delete;
  LookupWarmer& operator=(const LookupWarmer&) = delete;

  // Starts over on the connections db has open now (after an open or a reopen). Reads nothing.
  void Restart();

  // Reads pages for about slice (finishing the step under way, a fraction of a millisecond);
  // returns true iff there is more to read. A connection closed since Restart is left alone (after
  // a reopen, Restart again). Never throws.
  bool WarmFor(std::chrono::microseconds slice);

  static const int64_t kConnectionCacheBytes;

 private:
  struct Tree;
  const int64_t cacheBytes_;
  std::vector<Tree> trees_;  // in the order they are warmed
  size_t current_ = 0;       // the tree being warmed; past the last when done
};

}  // namespace tervane

#endif  // TERVANE_STORE_LOOKUP_WARMER_H_
