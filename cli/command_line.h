#ifndef TERVANE_CLI_COMMAND_LINE_H_
#define TERVANE_CLI_COMMAND_LINE_H_

#include <optional>
#include <string_view>
#include <vector>

namespace tervane {

// Every program of ours answers --help (its usage on standard output, exit 0) and --version
// (its name and the product's version, exit 0), and meets wrong usage (an unknown option, a
// missing or extra argument) with its usage on standard error and exit 2.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;

// The words of argv after the program's name.
std::vector<std::string_view> CommandWords(int argc, char* argv[]);

// Answers --help and --version when args (the words after the program's name, before any "--")
// hold one of them, and returns the exit status; nothing when they hold neither and the caller
// parses on. program is the name the user types ("tervane-mkdb").
std::optional<int> AnswerStandardOptions(std::string_view program, std::string_view usage,
                                         const std::vector<std::string_view>& args);

// Prints problem (when given, as "program: problem") and the usage to standard error; returns
// kExitUsage for the caller to exit with.
int WrongUsage(std::string_view program, std::string_view usage, std::string_view problem = {});

}  // namespace tervane

#endif  // TERVANE_CLI_COMMAND_LINE_H_
