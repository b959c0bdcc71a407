#ifndef TERVANE_SHELL_HELP_FILE_H_
#define TERVANE_SHELL_HELP_FILE_H_

#include <string>
#include <vector>

namespace tervane {

// The compiled help beside the program, and its MIME types (the shared MIME database's name
// and its alias).
inline constexpr char kCompiledHelpFile[] = "quorlenhelp.chm";
extern const std::vector<std::string> kCompiledHelpTypes;
// The same help as HTML pages, for desktops that cannot show compiled help.
inline constexpr char kHtmlHelpFile[] = "help/quorlenhelp.htm";

// Returns the help that "Help" opens from programFolder (which ends with a separator): the
// compiled help file, unless the desktop has no application for it (desktopOpensCompiledHelp
// false) or it is missing while the HTML pages are there; then the HTML pages.
std::string HelpFile(const std::string& programFolder, bool desktopOpensCompiledHelp);

}  // namespace tervane

#endif  // TERVANE_SHELL_HELP_FILE_H_
