#ifndef TERVANE_BENCH_STORE_FIXTURES_H_
#define TERVANE_BENCH_STORE_FIXTURES_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tervane::bench {

// The index-th made-up address; every index gives a different one.
std::string Address(int index);

// A program folder with cust.mdb holding whiteRows white-list rows and blackRows black-list rows
// and ospam.mdb holding referenceRows addresses, made once per process and removed at exit.
// Rows are Address(0), Address(1), ... in each table.
const std::filesystem::path& ProgramFolderWith(int whiteRows, int blackRows, int referenceRows);

}  // namespace tervane::bench

#endif  // TERVANE_BENCH_STORE_FIXTURES_H_
