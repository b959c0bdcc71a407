#ifndef TERVANE_TOOLS_LISTS_LIST_ACCESS_H_
#define TERVANE_TOOLS_LISTS_LIST_ACCESS_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/misc_row.h"
#include "lists/list_operations.h"

namespace tervane {

// Where tervane-lists carries out its commands: on the database files themselves, while this
// process owns their folder (no program runs on it), or in the running program that owns it,
// through its control socket. Every call throws std::exception with a one-line message.
class ListAccess {
 public:
  virtual ~ListAccess() = default;

  // Passes every row of list whose address or name holds match to each; returns how many.
  virtual size_t Rows(ListKind list, std::string_view match,
                      const std::function<void(const ListEntry&)>& each) = 0;
  virtual AddResult Add(ListKind list, std::string_view address,
                        std::optional<std::string_view> name) = 0;
  virtual size_t Remove(ListKind list, std::string_view address) = 0;
  // progress is called only where the import runs in this process. Throws ImportUnconfirmed
  // when the program ended before it answered; any other failure left the list as it was.
  virtual ImportResult Import(ListKind list, const std::vector<ListEntry>& entries,
                              const ImportProgress& progress) = 0;
  // Stores level (when given) as the security level; returns the stored level.
  virtual int32_t Level(std::optional<int32_t> level) = 0;
  virtual MiscRow Stats() = 0;

  // "the files in FOLDER" or "the running program (process N)", for messages.
  virtual std::string Where() const = 0;
};

// The program ended during an import, so the list holds all of it or none of it.
class ImportUnconfirmed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Takes the folder of lists for this process when no program owns it and works on the files,
// holding the folder until the access goes (a program started meanwhile waits or says the
// folder is in use); else reaches the program that owns it at socket. Waits up to a few seconds
// for an owner that has the folder but does not answer yet (a program starting, another
// tervane-lists). Throws std::runtime_error naming the owner and the socket when the folder stays
// in use and no program answers for it there.
std::unique_ptr<ListAccess> ConnectListAccess(const std::filesystem::path& folder,
                                              const std::filesystem::path& socket);

// The two kinds, for tests and for ConnectListAccess.
std::unique_ptr<ListAccess> NewFileListAccess(const std::filesystem::path& folder);
std::unique_ptr<ListAccess> NewProgramListAccess(const std::filesystem::path& folder,
                                                 const std::filesystem::path& socket);

}  // namespace tervane

#endif  // TERVANE_TOOLS_LISTS_LIST_ACCESS_H_
