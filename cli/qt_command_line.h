#ifndef TERVANE_CLI_QT_COMMAND_LINE_H_
#define TERVANE_CLI_QT_COMMAND_LINE_H_

#include <QCommandLineParser>
#include <QStringList>

namespace tervane {

// The conventions of cli/command_line.h for a Qt program's QCommandLineParser: adds --help and
// --version to parser, parses arguments (the whole argv, the program's name first) and returns
// when they are acceptable; answers --help and --version, and meets an unknown option with the
// usage on standard error, by ending the process (exit 0, 0 and 2).
// REQUIRES: parser holds the program's own options and positional arguments.
void ProcessCommandLineOrExit(QCommandLineParser& parser, const QString& program,
                              const QStringList& arguments);

// Meets wrong usage found after parsing (a missing argument, say): problem and the usage on
// standard error, then exit 2.
[[noreturn]] void ExitWithWrongUsage(const QCommandLineParser& parser, const QString& program,
                                     const QString& problem);

}  // namespace tervane

#endif  // TERVANE_CLI_QT_COMMAND_LINE_H_
