#include "shell/lookup_warming.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using namespace std::chrono_literals;
using testing::PagesRead;

// Nothing is read before the event loop runs (the attach never waits), and other events are
// handled between the slices, not after them all.
TEST(LookupWarming, ReadsFromTheEventLoopBetweenOtherEvents) {
  const testing::ProgramFolder folder(testing::MadeUpAddresses("reference", 5000));
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  LookupWarming warming(db, 0us);
  const int opened = PagesRead(db.ADOConnection2);
  warming.Start();
  EXPECT_EQ(PagesRead(db.ADOConnection2), opened);

  int handledWhileWarming = 0;
  QTimer other;
  QObject::connect(&other, &QTimer::timeout, [&] { handledWhileWarming += warming.Active(); });
  other.start(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !warming.Active(); }, 10000));
  EXPECT_GT(handledWhileWarming, 5);
}

}  // namespace
}  // namespace tervane
