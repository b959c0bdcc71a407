// One QCoreApplication for the whole test program, so sockets, notifiers and network requests
// have an event loop to run in (set up by a global GoogleTest environment).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace tervane::testing {
namespace {

class QtCoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[11] = "shell_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtCoreEnvironment);

}  // namespace
}  // namespace tervane::testing
