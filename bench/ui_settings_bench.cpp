// The settings window over a white list of 100,000 rows: showing it (FormShow: level, both
// lists and the count read, then the visible rows painted) and adding one address to it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <filesystem>
#include <memory>

#include "bench/store_fixtures.h"
#include "store/filter_database.h"
#include "ui/frmsetting.h"

namespace tervane {
namespace {

constexpr int kWhiteListRows = 100'000;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "ui_settings_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  static QApplication app(argc, argv);
  return app;
}

// The filter database of a program folder whose white list holds kWhiteListRows addresses.
struct BigWhiteList {
  BigWhiteList() : folder(bench::ProgramFolderWith(kWhiteListRows, 0, 0)) {
    securityLevel.Set(OpenFilterDatabase(db, folder));
  }

  std::filesystem::path folder;
  FilterDatabase db;
  ProgramSecurityLevel securityLevel;
};

BigWhiteList& Fixture() {
  static BigWhiteList fixture;
  return fixture;
}

// Remembers that a widget has been painted.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
  bool painted = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      painted = true;
    }
    return false;
  }
};

// Runs the event loop until watch has seen a paint (at most 10 s).
void WaitForPaint(PaintWatch& watch) {
  QElapsedTimer timer;
  timer.start();
  while (!watch.painted && timer.elapsed() < 10'000) {
    QCoreApplication::processEvents();
  }
}

// The settings window on its white-list page, ready to be shown.
std::unique_ptr<TFrmsetting> MakeWindow(BigWhiteList& fixture) {
  Application();
  auto window = std::make_unique<TFrmsetting>(fixture.db, fixture.securityLevel);
  window->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
  return window;
}

void BM_ShowSettingsOn100kWhiteList(benchmark::State& state) {
  BigWhiteList& fixture = Fixture();
  auto window = MakeWindow(fixture);
  auto* grid = window->findChild<QTableView*>("DBGrid1");
  PaintWatch watch(grid->viewport());
  for (auto _ : state) {
    watch.painted = false;
    window->show();  // FormShow
    WaitForPaint(watch);
    state.PauseTiming();
    if (!watch.painted) {
      state.SkipWithError("the grid was never painted");
    }
    window->hide();
    state.ResumeTiming();
  }
  state.counters["rows_read"] = grid->model()->rowCount();
}
BENCHMARK(BM_ShowSettingsOn100kWhiteList)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first showing after the database was opened (as after an attach), by a new window: cold
// page cache, first layout and polish of every control.
void BM_FirstShowSettingsOn100kWhiteList(benchmark::State& state) {
  BigWhiteList& fixture = Fixture();
  for (auto _ : state) {
    state.PauseTiming();
    CloseFilterDatabase(fixture.db);
    OpenFilterDatabase(fixture.db, fixture.folder);
    auto window = MakeWindow(fixture);
    PaintWatch watch(window->findChild<QTableView*>("DBGrid1")->viewport());
    state.ResumeTiming();
    window->show();  // FormShow
    WaitForPaint(watch);
    state.PauseTiming();
    if (!watch.painted) {
      state.SkipWithError("the grid was never painted");
    }
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstShowSettingsOn100kWhiteList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AddToFreshly100kWhiteList(benchmark::State& state) {
  BigWhiteList& fixture = Fixture();
  auto window = MakeWindow(fixture);
  auto* grid = window->findChild<QTableView*>("DBGrid1");
  auto* edit = window->findChild<QLineEdit*>("Edit1");
  auto* add = window->findChild<QPushButton*>("suiButton4");
  PaintWatch watch(grid->viewport());
  for (auto _ : state) {
    state.PauseTiming();
    window->hide();
    window->show();  // a fresh list view: only its first rows are read
    watch.painted = false;
    edit->setText("added@big.example");
    state.ResumeTiming();
    add->click();  // reads the rest of the list, appends, shows the new last row
    WaitForPaint(watch);
  }
  state.counters["rows_shown"] = grid->model()->rowCount();
}
BENCHMARK(BM_AddToFreshly100kWhiteList)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tervane
