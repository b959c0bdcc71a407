#include "cli/qt_command_line.h"

#include <cstdlib>
#include <iostream>

#include "cli/command_line.h"

namespace tervane {

void ProcessCommandLineOrExit(QCommandLineParser& parser, const QString& program,
                              const QStringList& arguments) {
  const QCommandLineOption help(QStringList{"h", "help"}, "Shows this help and exits.");
  const QCommandLineOption version("version", "Shows the program's version and exits.");
  parser.addOption(help);
  parser.addOption(version);
  if (!parser.parse(arguments)) {
    ExitWithWrongUsage(parser, program, parser.errorText());
  }
  const std::string name = program.toStdString();
  const std::string usage = parser.helpText().toStdString();
  const std::vector<std::string_view> words = {parser.isSet(help) ? "--help" : "",
                                               parser.isSet(version) ? "--version" : ""};
  if (const std::optional<int> answered = AnswerStandardOptions(name, usage, words)) {
    std::exit(*answered);
  }
}

void ExitWithWrongUsage(const QCommandLineParser& parser, const QString& program,
                        const QString& problem) {
  std::exit(
      WrongUsage(program.toStdString(), parser.helpText().toStdString(), problem.toStdString()));
}

}  // namespace tervane
