// How fast the Maildir extension server reports new mail and reads message headers.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "extserver/extension_server.h"
#include "extserver/maildir_delivery.h"
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
  ExtensionServer server(ServerOptions{temp.path(), {}});
  std::unique_ptr<IOEFolderManager> manager = server.NewFolderManager();
  Clock::time_point reported;
  int events = 0;
  QObject::connect(&server, &ExtensionServer::NewMessage, [&](int32_t, int32_t) {
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

// 10,000 messages renamed into new/ at once until each is reported, looked up and its headers
// read, as the filter does.
void BM_BurstOf10000(benchmark::State& state) {
  App();
  constexpr int kBurst = 10'000;
  for (auto _ : state) {
    state.PauseTiming();
    testing::TempDir temp;
    ExtensionServer server(ServerOptions{temp.path(), {}});
    std::unique_ptr<IOEFolderManager> manager = server.NewFolderManager();
    int events = 0;
    size_t headerBytes = 0;
    QObject::connect(&server, &ExtensionServer::NewMessage, [&](int32_t folder, int32_t message) {
      ++events;
      headerBytes += manager->GetFolder(folder)->GetMessage(message)->GetHeaders().size();
    });
    manager->ActivateNotifications();
    std::vector<std::string> names;
    for (int i = 0; i < kBurst; ++i) {
      names.push_back(WriteToTmp(temp.path()));
    }
    state.ResumeTiming();

    for (const std::string& name : names) {
      MoveIntoNew(temp.path(), name);
    }
    if (!RunUntil([&] { return events >= kBurst; })) {
      state.SkipWithError("not every message was reported");
      return;
    }
    state.PauseTiming();
    state.counters["events"] = events;
    benchmark::DoNotOptimize(headerBytes);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BurstOf10000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// GetHeaders of a message with a 10 MB body.
void BM_GetHeadersOfTenMegabyteMessage(benchmark::State& state) {
  App();
  testing::TempDir temp;
  ExtensionServer server(ServerOptions{temp.path(), {}});
  std::string message = kMessage;
  message.append(10 * 1024 * 1024, 'x');
  DeliverMessage(temp.path(), message);
  std::unique_ptr<IOEFolderManager> manager = server.NewFolderManager();
  std::unique_ptr<IOEMessage> stored = manager->GetInboxFolder()->GetFirstMessage();
  for (auto _ : state) {
    benchmark::DoNotOptimize(stored->GetHeaders());
  }
}
BENCHMARK(BM_GetHeadersOfTenMegabyteMessage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tervane::bench
