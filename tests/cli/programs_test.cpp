// The command-line conventions, program by program: --help and --version answer on standard
// output with exit 0 and start nothing; an unknown option is wrong usage (exit 2, usage on
// standard error).

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

namespace tervane {
namespace {

struct Program {
  const char* name;  // as the user types it
  const char* path;
};

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::string err;
};

Outcome RunProgram(const char* path, const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(environment);
  process.start(path, arguments);
  Outcome run;
  if (process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit) {
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
  } else {
    process.kill();
    process.waitForFinished();
  }
  return run;
}

class ProgramCommandLine : public ::testing::TestWithParam<Program> {};

TEST_P(ProgramCommandLine, AnswersHelpVersionAndWrongUsage) {
  const Program program = GetParam();
  const Outcome help = RunProgram(program.path, {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("sage"), std::string::npos) << help.out;

  const Outcome version = RunProgram(program.path, {"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, std::string(program.name) + " (Tervane Anti-Spam) 1.2\n");

  const Outcome wrong = RunProgram(program.path, {"--no-such-option"});
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_TRUE(wrong.out.empty()) << wrong.out;
  EXPECT_NE(wrong.err.find("sage"), std::string::npos) << wrong.err;
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramCommandLine,
                         ::testing::Values(Program{"TervaneAntiSpam", TERVANE_PROGRAM_PATH},
                                           Program{"tervane-mkdb", TERVANE_MKDB_PATH},
                                           Program{"tervane-lists", TERVANE_LISTS_PATH},
                                           Program{"oectl", TERVANE_OECTL_PATH}),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
}  // namespace tervane
