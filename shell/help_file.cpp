#include "shell/help_file.h"

#include <filesystem>
#include <system_error>

namespace tervane {

const std::vector<std::string> kCompiledHelpTypes = {"application/vnd.ms-htmlhelp",
                                                     "application/x-chm"};

std::string HelpFile(const std::string& programFolder, bool desktopOpensCompiledHelp) {
  const std::string compiled = programFolder + kCompiledHelpFile;
  const std::string html = programFolder + kHtmlHelpFile;
  std::error_code error;
  const bool compiledThere = std::filesystem::exists(compiled, error);
  const bool htmlThere = std::filesystem::exists(html, error);
  if (htmlThere && (!desktopOpensCompiledHelp || !compiledThere))
    return html;
  return compiled;
}

}  // namespace tervane
