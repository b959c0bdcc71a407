// How fast the Maildir extension server reports new mail and reads message headers.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "maildir/maildir_delivery.h"
#include "maildir/maildir_mail_store.h"
#include "tests/support/temp_dir.h"

namespace tervane::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEventTimeoutMs = 30'000;

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "extserver_bench";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

const std::string kMessage =
    "From: Ann Example <ann@example.org>\nTo: bob@example.net\nSubject: bench\n\nHello.\n";

// Writes a message into folder's tmp/ the way a delivery agent does; returns its name.
std::string WriteToTmp(const std::filesystem::path& folder) {
  const std::string name = UniqueMaildirName();
  const std::filesystem::path path = folder / "tmp" / name;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const bool written = fd >= 0 && ::write(fd, kMessage.data(), kMessage.size()) ==
                                      static_cast<ssize_t>(kMessage.size());
  if (fd >= 0) {
    ::close(fd);
  }
  if (!written) {
    throw std::runtime_error("cannot write " + path.string());
  }
  return name;
}

void MoveIntoNew(const std::filesystem::path& folder, const std::string& name) {
  std::filesystem::rename(folder / "tmp" / name, folder / "new" / name);
}

// Runs the event loop until done() holds; false on time-out.
template <typename Done>
bool RunUntil(Done done) {
  const QDeadlineTimer deadline(kEventTimeoutMs);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  return done();
}

// From a message file renamed into new/ to the server's NewMessage in the program's handler.
void BM_NewMessageLatency(benchmark::State& state) {
  App();
  testing::TempDir temp;
  MaildirMailStore store(temp.path());
  std::unique_ptr<IOEFolderManager> manager = store.NewFolderManager();
  Clock::time_point reported;
  int events = 0;
  store.SetNewMessageHandler([&](int32_t, int32_t) {
    reported = Clock::now();
    ++events;
  });
  manager->ActivateNotifications();

  std::vector<double> latencies;
  for (auto _ : state) {
    const std::string name = WriteToTmp(temp.path());
    const int before = events;
    const Clock::time_point landed = Clock::now();
    MoveIntoNew(temp.path(), name);
    if (!RunUntil([&] { return events > before; })) {
      state.SkipWithError("no NewMessage");
      return;
    }
    const double seconds = std::chrono::duration<double>(reported - landed).count();
    state.SetIterationTime(seconds);
    latencies.push_back(seconds);
  }
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_us"] = latencies[latencies.size() / 2] * 1e6;
  state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] * 1e6;
}
BENCHMARK(BM_NewMessageLatency)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// The CPU time the calling thread has used so far, in seconds.
double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A burst of range(0) messages renamed into new/ by another thread as fast as it can, while
// the server's thread announces each and the handler does what the filter does with the
// server: GetFolder, GetMessage, GetHeaders, and a move into the spam folder for every second
// one. Shows the server's own cost per message (no database lookups) and whether a burst
// larger than the kernel's event queue overflows it.
void BM_Burst(benchmark::State& state) {
  App();
  const auto burst = static_cast<int>(state.range(0));
  double cpuSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir temp;
    MaildirMailStore store(temp.path());
    std::unique_ptr<IOEFolderManager> manager = store.NewFolderManager();
    const int32_t spam = manager->CreateFolder(0, "spam");
    int events = 0;
    size_t headerBytes = 0;
    store.SetNewMessageHandler([&](int32_t folder, int32_t message) {
      const std::unique_ptr<IOEMessage> mail = manager->GetFolder(folder)->GetMessage(message);
      headerBytes += mail ? mail->GetHeaders().size() : 0;
      if (++events % 2 == 0) {
        manager->MoveMessage(folder, spam, message);
      }
    });
    manager->ActivateNotifications();
    std::vector<std::string> names;
    for (int i = 0; i < burst; ++i) {
      names.push_back(WriteToTmp(temp.path()));
    }
    state.ResumeTiming();

    const double cpuBefore = ThreadCpuSeconds();
    std::thread deliverer([&] {
      for (const std::string& name : names) {
        MoveIntoNew(temp.path(), name);
      }
    });
    const bool all = RunUntil([&] { return events >= burst; });
    cpuSeconds += ThreadCpuSeconds() - cpuBefore;
    deliverer.join();
    if (!all) {
      state.SkipWithError("not every message was reported");
      return;
    }
    state.PauseTiming();
    state.counters["events"] = events;
    benchmark::DoNotOptimize(headerBytes);
    state.ResumeTiming();
  }
  state.counters["cpu_us_per_message"] =
      cpuSeconds / static_cast<double>(state.iterations()) / burst * 1e6;
}
BENCHMARK(BM_Burst)
    ->Arg(10'000)
    ->Arg(50'000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// GetHeaders of a message with a 10 MB body.
void BM_GetHeadersOfTenMegabyteMessage(benchmark::State& state) {
  App();
  testing::TempDir temp;
  MaildirMailStore store(temp.path());
  std::string message = kMessage;
  message.append(10 * 1024 * 1024, 'x');
  DeliverMessage(temp.path(), message);
  std::unique_ptr<IOEFolderManager> manager = store.NewFolderManager();
  std::unique_ptr<IOEMessage> stored = manager->GetInboxFolder()->GetFirstMessage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(stored->GetHeaders());
  }
}
BENCHMARK(BM_GetHeadersOfTenMegabyteMessage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tervane::bench
