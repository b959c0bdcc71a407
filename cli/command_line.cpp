#include "cli/command_line.h"

#include <iostream>

#include "cli/version.h"

namespace tervane {

std::vector<std::string_view> CommandWords(int argc, char* argv[]) {
  return std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::optional<int> AnswerStandardOptions(std::string_view program, std::string_view usage,
                                         const std::vector<std::string_view>& args) {
  for (const std::string_view arg : args) {
    if (arg == "--") {
      break;
    }
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return kExitOk;
    }
    if (arg == "--version") {
      std::cout << program << " (" << kProductName << ") " << kProductVersion << '\n';
      return kExitOk;
    }
  }
  return std::nullopt;
}

int WrongUsage(std::string_view program, std::string_view usage, std::string_view problem) {
  if (!problem.empty()) {
    std::cerr << program << ": " << problem << '\n';
  }
  std::cerr << usage;
  return kExitUsage;
}

}  // namespace tervane
