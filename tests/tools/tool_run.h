#ifndef TERVANE_TESTS_TOOLS_TOOL_RUN_H_
#define TERVANE_TESTS_TOOLS_TOOL_RUN_H_

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>
#include <string>

namespace tervane::testing {

// What a finished run of a command-line tool gave; exitCode is -1 when it did not exit normally.
struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the tool at path with args in env, input on its standard input; the event loop keeps
// running meanwhile, so a server in this process answers it. Fails the test when the tool has
// not finished within 40 s.
ToolRun RunTool(const QString& path, const QStringList& args, const QProcessEnvironment& env,
                const QByteArray& input = {});

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_TOOLS_TOOL_RUN_H_
