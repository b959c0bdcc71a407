#include "tests/tools/tool_run.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

namespace tervane::testing {

ToolRun RunTool(const QString& path, const QStringList& args, const QProcessEnvironment& env,
                const QByteArray& input) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(path, args);
  process.write(input);
  process.closeWriteChannel();
  ToolRun run;
  if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 40000)) {
    process.kill();
    process.waitForFinished();
    ADD_FAILURE() << path.toStdString() << " did not finish: " << args.join(' ').toStdString();
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

}  // namespace tervane::testing
