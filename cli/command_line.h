#ifndef TERVANE_CLI_COMMAND_LINE_H_
#define TERVANE_CLI_COMMAND_LINE_H_

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// Every program of ours reads its command line with CommandLine, so all of them answer --help
// (their usage on standard output, exit 0) and --version (their name and the product's version,
// exit 0) and meet wrong usage (an unknown option, a missing value, a wrong argument) with
// "PROGRAM: PROBLEM" and their usage on standard error, exit 2. Options are "--name" or
// "--name VALUE" ("--name=VALUE" too), anywhere before a "--"; every other word (and "-", which
// stands for standard input) is an argument. A program's commands and options are described in
// full in its man page; the usage is the short form.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// The words of argv after the program's name.
std::vector<std::string_view> CommandWords(int argc, char* argv[]);

class CommandLine {
 public:
  // program is the name the user types ("tervane-mkdb"); synopsis the usage's first lines, each
  // after "usage: " or its indent ("DIR [--keep-existing]").
  CommandLine(std::string program, std::vector<std::string> synopsis);

  // Declares an option without a value (--name), or with one (--name VALUE); help is its line in
  // the usage.
  CommandLine& Flag(std::string name, std::string help);
  CommandLine& Option(std::string name, std::string valueName, std::string help);
  // Text shown after the options (the commands, the exit status), ending in a line break.
  CommandLine& Text(std::string text);

  // Reads args (the words after the program's name). Returns the status to exit with when they
  // are answered here (--help, --version) or wrong (the usage is printed); nothing when the
  // program goes on.
  std::optional<int> Parse(const std::vector<std::string_view>& args);

  bool Has(std::string_view name) const;
  // The option's value; nothing when it was not given.
  std::optional<std::string> Value(std::string_view name) const;
  // The option's value as a whole number from least to most; nothing when it was not given.
  // Throws UsageError naming the option for any other text.
  std::optional<int64_t> Number(std::string_view name, int64_t least, int64_t most) const;
  // The arguments, in order.
  const std::vector<std::string>& Arguments() const { return arguments_; }

  // The usage: the synopsis, the options, the text.
  std::string Usage() const;
  // Prints "PROGRAM: problem" (when given) and the usage on standard error; returns kExitUsage.
  int WrongUsage(std::string_view problem = {}) const;
  const std::string& program() const { return program_; }

 private:
  struct Declared {
    std::string valueName;  // empty for a flag
    std::string help;
  };

  std::string program_;
  std::vector<std::string> synopsis_;
  std::vector<std::pair<std::string, Declared>> declared_;
  std::string text_;
  std::map<std::string, std::string, std::less<>> given_;
  std::vector<std::string> arguments_;
};

// Wrong usage found by a program after parsing; what() is the problem. A program's main gives it
// to CommandLine::WrongUsage.
class UsageError : public std::exception {
 public:
  explicit UsageError(std::string problem) : problem_(std::move(problem)) {}
  const char* what() const noexcept override { return problem_.c_str(); }

 private:
  std::string problem_;
};

}  // namespace tervane

#endif  // TERVANE_CLI_COMMAND_LINE_H_
