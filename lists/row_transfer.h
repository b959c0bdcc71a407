#ifndef TERVANE_LISTS_ROW_TRANSFER_H_
#define TERVANE_LISTS_ROW_TRANSFER_H_

#include <string>
#include <string_view>
#include <vector>

#include "control/transfer_file.h"
#include "lists/list_operations.h"

namespace tervane {

// List rows passed between tervane-lists and the running program through a transfer file
// (control/transfer_file.h): the program reads the rows of an import from it, or writes the rows
// of a list into it.

// The entries as one text: a line per entry, its line number, address, name and date (a day
// number, or empty) separated by tabs, with backslash, tab, CR and LF escaped. And back: throws
// TransferError for text that is not such a file.
std::string EncodeEntries(const std::vector<ListEntry>& entries);
void AppendEncodedEntry(std::string& out, const ListEntry& entry);
std::vector<ListEntry> DecodeEntries(std::string_view text);

}  // namespace tervane

#endif  // TERVANE_LISTS_ROW_TRANSFER_H_
