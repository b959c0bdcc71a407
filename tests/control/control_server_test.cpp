// The control socket as oectl meets it: a real server on a temporary Maildir.

#include "control/control_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "control/control_protocol.h"
#include "control/control_socket_file.h"
#include "mailapi/extension_interface.h"
#include "tests/control/control_test_support.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/unix_socket.h"

namespace tervane {
namespace {

using testing::ControlFixtureFiles;
using testing::SpinUntil;
using testing::TestClient;

constexpr char kStatus[] = R"({"cmd":"status"})"
                           "\n";

// A client on a bare socket, for what QLocalSocket hides: writing without ever reading, and
// holding a connection made before the process ran out of descriptors.
class RawClient {
 public:
  explicit RawClient(const std::filesystem::path& path) : fd_(testing::ConnectUnixSocket(path)) {}

  bool connected() const { return fd_.valid(); }
  // Writes copies of bytes for as long as the kernel takes them without blocking; the number
  // of bytes written.
  size_t WriteUntilFull(std::string_view bytes) {
    size_t total = 0;
    for (;;) {
      const ssize_t sent =
          ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent <= 0) {
        return total;
      }
      total += static_cast<size_t>(sent);
    }
  }
  bool Send(std::string_view bytes) {
    return ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The next line, without its line break; empty when none came (the event loop runs meanwhile).
  std::string ReadLine() {
    SpinUntil([this] { return !Receive() || received_.find('\n') != std::string::npos; });
    const size_t end = received_.find('\n');
    if (end == std::string::npos) {
      return {};
    }
    std::string line = received_.substr(0, end);
    received_.erase(0, end + 1);
    return line;
  }
  // True iff the server closes the connection within the test's wait.
  bool WaitForClose() {
    return SpinUntil([this] { return !Receive(); });
  }
  void ShutdownWriting() { ::shutdown(fd_.get(), SHUT_WR); }
  void Close() { fd_.Reset(); }

 private:
  // Keeps what has arrived; false once the connection is closed.
  bool Receive() {
    char chunk[4096];
    const ssize_t got = ::recv(fd_.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    received_.append(chunk, static_cast<size_t>(std::max<ssize_t>(got, 0)));
    return got > 0 || (got < 0 && errno == EAGAIN);
  }

  UniqueFd fd_;
  std::string received_;
};

// Lowers this process's limit of open files and opens descriptors until it is reached; gives
// them back, and the limit, when it goes.
class FileTableFiller {
 public:
  FileTableFiller() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 512);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    for (;;) {
      UniqueFd fd(::dup(STDERR_FILENO));
      if (!fd.valid()) {
        full_ = errno == EMFILE;
        break;
      }
      fillers_.push_back(std::move(fd));
    }
  }
  ~FileTableFiller() {
    fillers_.clear();
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  bool full() const { return full_; }

 private:
  rlimit saved_{};
  std::vector<UniqueFd> fillers_;
  bool full_ = false;
};

// Runs the event loop for ms milliseconds: the time a fault is given to show.
void RunEventLoopFor(int ms) {
  static_cast<void>(SpinUntil([] { return false; }, ms));
}

ControlAnswer Decoded(const std::string& line) {
  auto decoded = DecodeAnswer(line);
  if (auto* error = std::get_if<std::string>(&decoded)) {
    ADD_FAILURE() << *error << " in " << line;
    return {};
  }
  return std::get<ControlAnswer>(decoded);
}

class ControlServerTest : public ::testing::Test {
 protected:
  ControlServerTest() : server_(files_.maildir, files_.socketPath) {}

  // The answer to request on a fresh connection.
  ControlAnswer Ask(const std::string& request) {
    TestClient client(files_.socketPath);
    return Decoded(client.Ask(request));
  }
  int32_t InboxMessageId(size_t index) {
    return server_.Messages(*server_.ResolveFolder("Inbox"))->at(index).id;
  }

  ControlFixtureFiles files_;
  testing::MaildirServer server_;
  testing::RecordingEvents events_{server_};
};

TEST_F(ControlServerTest, StatusStopAndStart) {
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
  EXPECT_TRUE(Ask(R"({"cmd":"stop"})").ok);
  EXPECT_EQ(events_.shutdowns, 1);  // raised before the answer
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, false);
  EXPECT_TRUE(Ask(R"({"cmd":"start"})").ok);
  EXPECT_EQ(events_.inits, 1);
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
}

TEST_F(ControlServerTest, FoldersAndMessages) {
  const ControlAnswer folders = Ask(R"({"cmd":"folders"})");
  ASSERT_TRUE(folders.folders);
  ASSERT_EQ(folders.folders->size(), 2u);
  EXPECT_EQ((*folders.folders)[0].name, "Inbox");
  EXPECT_EQ((*folders.folders)[0].count, 2);
  EXPECT_EQ((*folders.folders)[1].name, "Sent");

  const std::string inboxId = std::to_string((*folders.folders)[0].id);
  for (const std::string& folder : {std::string("\"Inbox\""), "\"" + inboxId + "\"", inboxId}) {
    const ControlAnswer list = Ask(R"({"cmd":"list","folder":)" + folder + "}");
    ASSERT_TRUE(list.messages) << folder;
    ASSERT_EQ(list.messages->size(), 2u);
    EXPECT_EQ((*list.messages)[0].sender, "ann@example.org");
    std::vector<std::string> subjects;
    for (const MessageSummary& message : *list.messages) {
      subjects.push_back(message.subject);
    }
    EXPECT_THAT(subjects, ::testing::UnorderedElementsAre("First", "Second"));
  }
  const ControlAnswer unknown = Ask(R"({"cmd":"list","folder":"Foo"})");
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error, "unknown folder: Foo");
}

TEST_F(ControlServerTest, SelectSetsTheMailClientSelection) {
  const int32_t first = InboxMessageId(0);
  const int32_t second = InboxMessageId(1);
  EXPECT_TRUE(Ask(R"({"cmd":"select","folder":"Inbox","ids":[)" + std::to_string(second) + "," +
                  std::to_string(first) + "]}")
                  .ok);
  const std::unique_ptr<IOEAPIObj> api = server_.NewAPIObj();
  EXPECT_EQ(api->GetSelectedFolderID(), *server_.ResolveFolder("Inbox"));
  EXPECT_EQ(api->GetFirstSelectedMessageID(), second);
  EXPECT_EQ(api->GetNextSelectedMessageID(), first);

  const ControlAnswer unknown =
      Ask(R"({"cmd":"select","folder":"Inbox","ids":[)" + std::to_string(first) + ",99999]}");
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error, "no such message in Inbox: 99999");
  EXPECT_EQ(Ask(R"({"cmd":"select","folder":"Nope","ids":[1]})").error, "unknown folder: Nope");
}

TEST_F(ControlServerTest, ButtonsAndClicks) {
  EXPECT_EQ(Ask(R"({"cmd":"buttons"})").buttons, std::vector<std::string>{});
  const std::unique_ptr<IOEAPIObj> api = server_.NewAPIObj();
  const std::unique_ptr<IOEToolbar> toolbar = api->GetToolbar();
  ASSERT_TRUE(toolbar);
  const auto spam = toolbar->CreateButton("Spam", "", "");
  const auto notSpam = toolbar->CreateButton("Not Spam", "", "");
  EXPECT_EQ(Ask(R"({"cmd":"buttons"})").buttons, (std::vector<std::string>{"Spam", "Not Spam"}));

  EXPECT_TRUE(Ask(R"({"cmd":"click","caption":"Not Spam"})").ok);
  ASSERT_EQ(events_.clicks.size(), 1u);
  EXPECT_EQ(events_.clicks[0].second, notSpam->GetID());
  EXPECT_EQ(Ask(R"({"cmd":"click","caption":"Spam!"})").error, "unknown button: Spam!");
}

// A click's handler may run a nested event loop (a message box); the requests that arrive
// meanwhile are answered after it, in order, and the click is answered only once it is done.
TEST_F(ControlServerTest, AnswersInOrderAroundAHandlerThatRunsAnEventLoop) {
  const auto toolbar = server_.NewAPIObj()->GetToolbar();
  const auto button = toolbar->CreateButton("Config", "", "");
  TestClient client(files_.socketPath);
  bool handlerDone = false;
  events_.onClick = [&](int32_t, int32_t) {
    QTest::qWait(100);
    handlerDone = true;
  };
  client.Send(R"({"cmd":"click","caption":"Config"})"
              "\n"
              R"({"cmd":"status"})"
              "\n");
  const ControlAnswer click = Decoded(client.ReadLine());
  EXPECT_TRUE(handlerDone);
  EXPECT_TRUE(click.ok);
  EXPECT_FALSE(click.running);
  EXPECT_EQ(Decoded(client.ReadLine()).running, true);
}

TEST_F(ControlServerTest, ARefusingHandlerIsAnsweredAndServingGoesOn) {
  const auto toolbar = server_.NewAPIObj()->GetToolbar();
  const auto button = toolbar->CreateButton("Spam", "", "");
  events_.onClick = [](int32_t, int32_t) { throw ExtensionError("database is locked"); };
  const ControlAnswer click = Ask(R"({"cmd":"click","caption":"Spam"})");
  EXPECT_FALSE(click.ok);
  EXPECT_NE(click.error.find("database is locked"), std::string::npos) << click.error;
  EXPECT_TRUE(Ask(R"({"cmd":"status"})").ok);
}

// The program's own commands share the socket: answered with their results, refused with their
// reason, beside the mail client's.
TEST(ControlServerProgramTest, ProgramCommandsAreAnsweredBesideTheMailClients) {
  ControlFixtureFiles files;
  testing::MaildirServer server(files.maildir, files.socketPath, [](const ControlRequest& request) {
    if (request.command == ControlCommand::kSettings)
      throw ControlRefused("nothing to show");
    ControlAnswer answer;
    answer.reopened = true;
    return answer;
  });
  TestClient client(files.socketPath);
  EXPECT_EQ(client.Ask(R"({"cmd":"reopen-reference"})"), R"({"ok":true,"reopened":true})");
  EXPECT_EQ(client.Ask(R"({"cmd":"settings"})"), R"({"error":"nothing to show","ok":false})");
  EXPECT_EQ(Decoded(client.Ask(R"({"cmd":"status"})")).running, true);
}

TEST_F(ControlServerTest, BadRequestsAreRefusedAndTheConnectionServesOn) {
  TestClient client(files_.socketPath);
  const std::vector<QByteArray> bad = {"hello",
                                       QByteArray("\x00\xff{\x01", 4),
                                       "{}",
                                       R"({"cmd":"fly"})",
                                       R"({"cmd":"list","folder":[]})",
                                       ""};
  for (const QByteArray& line : bad) {
    client.Send(line + '\n');
    const ControlAnswer answer = Decoded(client.ReadLine());
    EXPECT_FALSE(answer.ok) << line.toStdString();
    EXPECT_FALSE(answer.error.empty());
  }
  // A line may end in CRLF.
  EXPECT_EQ(Decoded(client.Ask(R"({"cmd":"status"})"
                               "\r"))
                .running,
            true);
}

TEST_F(ControlServerTest, AnOverlongLineIsRefusedAndItsConnectionClosed) {
  TestClient flooder(files_.socketPath);
  flooder.Send(QByteArray(kMaxControlLineBytes + 10, 'x'));
  const ControlAnswer answer = Decoded(flooder.ReadLine());
  EXPECT_FALSE(answer.ok);
  EXPECT_NE(answer.error.find("longer than 65536 bytes"), std::string::npos) << answer.error;
  EXPECT_TRUE(flooder.WaitForClose());
  EXPECT_TRUE(Ask(R"({"cmd":"status"})").ok);
}

TEST_F(ControlServerTest, ALineOfExactlyTheLimitIsRead) {
  std::string line = R"({"cmd":"status","pad":")";
  line += std::string(kMaxControlLineBytes - line.size() - 2, 'p') + "\"}";
  ASSERT_EQ(line.size(), kMaxControlLineBytes);
  TestClient client(files_.socketPath);
  EXPECT_EQ(Decoded(client.Ask(line)).running, true);
}

TEST_F(ControlServerTest, AnswersABurstOfRequestsInOrder) {
  TestClient client(files_.socketPath);
  QByteArray burst;
  for (int i = 0; i < 2000; ++i) {
    burst += i % 2 == 0 ? R"({"cmd":"status"})"
                          "\n"
                        : R"({"cmd":"buttons"})"
                          "\r\n";
  }
  client.Send(burst);
  for (int i = 0; i < 2000; ++i) {
    const ControlAnswer answer = Decoded(client.ReadLine());
    ASSERT_EQ(answer.running.has_value(), i % 2 == 0) << i;
    ASSERT_EQ(answer.buttons.has_value(), i % 2 == 1) << i;
  }
}

TEST_F(ControlServerTest, ServesManyClientsAtOnceAndSurvivesOnesThatLeave) {
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 40; ++i) {
    clients.push_back(std::make_unique<TestClient>(files_.socketPath));
    ASSERT_TRUE(clients.back()->connected());
    clients.back()->Send(i % 2 == 0 ? R"({"cmd":"folders"})"
                                      "\n"
                                    : R"({"cmd":"sta)");  // half a request, then gone
  }
  for (int i = 0; i < 40; i += 2) {
    EXPECT_TRUE(Decoded(clients[i]->ReadLine()).folders) << i;
  }
  for (int i = 1; i < 40; i += 2) {
    clients[i].reset();
  }
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
}

// A client that half-closes its connection after its requests still gets every answer.
TEST_F(ControlServerTest, AnswersAClientThatHasStoppedSending) {
  RawClient client(files_.socketPath);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(std::string(kStatus) + kStatus + R"({"cmd":"sta)"));
  client.ShutdownWriting();
  EXPECT_EQ(Decoded(client.ReadLine()).running, true);
  EXPECT_EQ(Decoded(client.ReadLine()).running, true);
  EXPECT_TRUE(client.WaitForClose());
}

// Out of file descriptors the listener rests instead of closing: the socket file stays, the
// waiting client is served once descriptors are free again, and so is every later one.
TEST_F(ControlServerTest, KeepsListeningThroughRunningOutOfFileDescriptors) {
  RawClient waiting(files_.socketPath);  // queued, not yet accepted
  ASSERT_TRUE(waiting.connected());
  ASSERT_TRUE(waiting.Send(kStatus));
  {
    const FileTableFiller filler;
    ASSERT_TRUE(filler.full());
    RunEventLoopFor(200);
    struct stat status {};
    EXPECT_EQ(::lstat(files_.socketPath.c_str(), &status), 0);
  }
  EXPECT_EQ(Decoded(waiting.ReadLine()).running, true);
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
}

// One client too many is told why and dropped; a client that leaves frees its place.
TEST_F(ControlServerTest, CapsTheClientsServedAtOnce) {
  std::vector<std::unique_ptr<TestClient>> served;
  for (int i = 0; i < kMaxControlConnections; ++i) {
    served.push_back(std::make_unique<TestClient>(files_.socketPath));
    ASSERT_EQ(Decoded(served.back()->Ask(R"({"cmd":"status"})")).running, true) << i;
  }
  RawClient extra(files_.socketPath);
  const ControlAnswer refused = Decoded(extra.ReadLine());
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.error.find("too many connections"), std::string::npos) << refused.error;
  EXPECT_TRUE(extra.WaitForClose());

  served.front().reset();
  EXPECT_TRUE(SpinUntil([this] {
    RawClient next(files_.socketPath);
    next.Send(kStatus);
    return Decoded(next.ReadLine()).ok;
  }));
}

// A burst from one client does not hold up another: each gets one answer per pass of the loop.
TEST(ControlServerProgramTest, TakesTurnsBetweenClients) {
  ControlFixtureFiles files;
  int counted = 0;
  // "settings" counts, "lists" tells the count so far.
  testing::MaildirServer server(files.maildir, files.socketPath,
                                [&](const ControlRequest& request) {
                                  ControlAnswer answer;
                                  if (request.command == ControlCommand::kSettings)
                                    ++counted;
                                  else
                                    answer.lists.count = counted;
                                  return answer;
                                });
  TestClient busy(files.socketPath);
  TestClient other(files.socketPath);
  ASSERT_TRUE(Decoded(busy.Ask(R"({"cmd":"status"})")).ok);
  ASSERT_TRUE(Decoded(other.Ask(R"({"cmd":"status"})")).ok);
  constexpr int kBurst = 3000;
  QByteArray burst;
  for (int i = 0; i < kBurst; ++i) {
    burst += R"({"cmd":"settings"})"
             "\n";
  }
  busy.Send(burst);
  other.Send(R"({"cmd":"lists","action":"folder"})"
             "\n");
  EXPECT_LT(Decoded(other.ReadLine()).lists.count.value_or(kBurst), 100);
  for (int i = 0; i < kBurst; ++i) {
    ASSERT_TRUE(Decoded(busy.ReadLine()).ok) << i;
  }
  EXPECT_EQ(counted, kBurst);
}

// A client that sends requests without ever reading the answers is held back: the server stops
// reading from it, so its writes stall, while other clients and new mail are served as usual.
TEST_F(ControlServerTest, HoldsBackAClientThatNeverReads) {
  const std::unique_ptr<IOEFolderManager> folders = server_.NewFolderManager();
  folders->ActivateNotifications();
  ASSERT_TRUE(SpinUntil([&] { return events_.newMessages.size() == 2; }));  // already there

  RawClient flooder(files_.socketPath);
  ASSERT_TRUE(flooder.connected());
  constexpr size_t kGiveUpBytes = 32 * 1024 * 1024;
  size_t written = 0;
  int stalledRounds = 0;
  while (stalledRounds < 10 && written < kGiveUpBytes) {
    const size_t now = flooder.WriteUntilFull(R"({"cmd":"list","folder":"Inbox"})"
                                              "\n");
    written += now;
    stalledRounds = now == 0 ? stalledRounds + 1 : 0;
    RunEventLoopFor(20);
  }
  EXPECT_LT(written, kGiveUpBytes) << "the server never stopped reading";

  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
  testing::DeliverTestMessage(files_.maildir, "During the flood");
  EXPECT_TRUE(SpinUntil([&] { return events_.newMessages.size() == 3; }));
  flooder.Close();
  EXPECT_EQ(Ask(R"({"cmd":"status"})").running, true);
}

TEST_F(ControlServerTest, SocketAndFolderArePrivate) {
  struct stat status {};
  ASSERT_EQ(::stat(files_.socketPath.c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(files_.socketPath.parent_path().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(ControlServerTest, ASecondServerDoesNotTakeOverALiveSocket) {
  try {
    testing::MaildirServer second(files_.maildir, files_.socketPath);
    ADD_FAILURE() << "a second server listens on a live socket";
  } catch (const ControlSocketError& error) {
    EXPECT_EQ(std::string(error.what()),
              "a mail client is already running at " + files_.socketPath.string());
  }
  EXPECT_TRUE(Ask(R"({"cmd":"status"})").ok);  // the first one still answers
}

// A peer of another user is dropped before it is heard, even when the folder lets it in.
TEST_F(ControlServerTest, APeerOfAnotherUserIsDropped) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "running a peer as another user needs root";
  }
  for (const auto& folder : {files_.temp.path(), files_.runtimeDir}) {
    ASSERT_EQ(::chmod(folder.c_str(), 0711), 0);
  }
  ASSERT_EQ(::chmod(files_.socketPath.parent_path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(files_.socketPath.c_str(), 0777), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Connects as nobody; exits 0 iff the server closes (or resets) the connection unanswered.
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
      ::_exit(3);
    }
    const UniqueFd fd = testing::ConnectUnixSocket(files_.socketPath);
    if (!fd.valid()) {
      ::_exit(4);
    }
    const char request[] = "{\"cmd\":\"stop\"}\n";
    [[maybe_unused]] const ssize_t sent =
        ::send(fd.get(), request, sizeof request - 1, MSG_NOSIGNAL);
    char answer[64];
    ::_exit(::read(fd.get(), answer, sizeof answer) <= 0 ? 0 : 5);
  }
  int status = -1;
  ASSERT_TRUE(QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; },
                              testing::kWaitMs));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(server_.IsMailClientRunning());
}

TEST(ControlServerFileTest, TakesOverAStaleSocketAndRemovesItsOwnAtTheEnd) {
  ControlFixtureFiles files;
  std::filesystem::create_directories(files.socketPath.parent_path());
  {
    const UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, files.socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ASSERT_TRUE(std::filesystem::exists(files.socketPath));
  {
    testing::MaildirServer server(files.maildir, files.socketPath);
    TestClient client(files.socketPath);
    EXPECT_EQ(Decoded(client.Ask(R"({"cmd":"status"})")).running, true);
  }
  EXPECT_FALSE(std::filesystem::exists(files.socketPath));
}

TEST(ControlServerFileTest, LeavesAFileThatIsNoSocketAlone) {
  ControlFixtureFiles files;
  std::filesystem::create_directories(files.socketPath.parent_path());
  std::ofstream(files.socketPath) << "keep";
  EXPECT_THROW(testing::MaildirServer(files.maildir, files.socketPath), ControlSocketError);
  std::ifstream in(files.socketPath);
  std::string kept;
  in >> kept;
  EXPECT_EQ(kept, "keep");
}

}  // namespace
}  // namespace tervane
