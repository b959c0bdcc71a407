#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <iostream>

#include "cli/version.h"

namespace tervane {

std::vector<std::string_view> CommandWords(int argc, char* argv[]) {
  return std::vector<std::string_view>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

CommandLine::CommandLine(std::string program, std::vector<std::string> synopsis)
    : program_(std::move(program)), synopsis_(std::move(synopsis)) {
  synopsis_.push_back("--help | --version");
}

CommandLine& CommandLine::Flag(std::string name, std::string help) {
  declared_.emplace_back(std::move(name), Declared{{}, std::move(help)});
  return *this;
}

CommandLine& CommandLine::Option(std::string name, std::string valueName, std::string help) {
  declared_.emplace_back(std::move(name), Declared{std::move(valueName), std::move(help)});
  return *this;
}

CommandLine& CommandLine::Text(std::string text) {
  text_ += text;
  return *this;
}

std::optional<int> CommandLine::Parse(const std::vector<std::string_view>& args) {
  bool optionsEnd = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnd || arg == "-" || !arg.starts_with("-")) {
      arguments_.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnd = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      std::cout << Usage();
      return kExitOk;
    }
    if (arg == "--version") {
      std::cout << program_ << " (" << kProductName << ") " << kProductVersion << '\n';
      return kExitOk;
    }
    const size_t equals = arg.find('=');
    const std::string_view name =
        arg.substr(2, equals == std::string_view::npos ? equals : equals - 2);
    const auto declared = std::find_if(declared_.begin(), declared_.end(),
                                       [name](const auto& entry) { return entry.first == name; });
    if (!arg.starts_with("--") || declared == declared_.end()) {
      return WrongUsage("unknown option " + std::string(arg));
    }
    const bool takesValue = !declared->second.valueName.empty();
    std::string value;
    if (equals != std::string_view::npos) {
      if (!takesValue) {
        return WrongUsage("--" + std::string(name) + " takes no value");
      }
      value = arg.substr(equals + 1);
    } else if (takesValue) {
      if (i + 1 == args.size()) {
        return WrongUsage("--" + std::string(name) + " needs " + declared->second.valueName);
      }
      value = args[++i];
    }
    given_.insert_or_assign(std::string(name), std::move(value));
  }
  return std::nullopt;
}

bool CommandLine::Has(std::string_view name) const {
  return given_.find(name) != given_.end();
}

std::optional<std::string> CommandLine::Value(std::string_view name) const {
  const auto found = given_.find(name);
  if (found == given_.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::optional<int64_t> CommandLine::Number(std::string_view name, int64_t least,
                                           int64_t most) const {
  const std::optional<std::string> text = Value(name);
  if (!text) {
    return std::nullopt;
  }
  int64_t number = 0;
  const char* end = text->data() + text->size();
  const auto [at, error] = std::from_chars(text->data(), end, number);
  if (text->empty() || error != std::errc() || at != end || number < least || number > most) {
    throw UsageError("--" + std::string(name) + " needs a whole number from " +
                     std::to_string(least) + " to " + std::to_string(most));
  }
  return number;
}

std::string CommandLine::Usage() const {
  std::string usage;
  for (size_t i = 0; i < synopsis_.size(); ++i) {
    usage += (i == 0 ? "usage: " : "       ") + program_ +
             (synopsis_[i].empty() ? "" : " " + synopsis_[i]) + "\n";
  }
  for (const auto& [name, declared] : declared_) {
    std::string left = "  --" + name;
    if (!declared.valueName.empty()) {
      left += " " + declared.valueName;
    }
    left.resize(std::max<size_t>(left.size() + 2, 26), ' ');
    usage += left + declared.help + "\n";
  }
  return usage + text_;
}

int CommandLine::WrongUsage(std::string_view problem) const {
  if (!problem.empty()) {
    std::cerr << program_ << ": " << problem << '\n';
  }
  std::cerr << Usage();
  return kExitUsage;
}

}  // namespace tervane
