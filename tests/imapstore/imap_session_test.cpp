// The IMAP session against a real Dovecot (tests/support/dovecot_instance.h), one per test.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <future>
#include <thread>

#include "imapstore/imap_session.h"
#include "tests/support/dovecot_instance.h"
#include "tests/support/self_signed_certificate.h"
#include "tests/support/temp_dir.h"

namespace tervane::imap {
namespace {

using namespace std::chrono_literals;
using testing::DovecotInstance;

std::string Message(const std::string& subject, const std::string& body = "Hello.\r\n") {
  return "From: someone@example.org\r\nTo: alice@example.org\r\nSubject: " + subject +
         "\r\nMessage-ID: <" + subject + "@example.org>\r\n\r\n" + body;
}

// The subjects of the messages of mailbox, in UID order, with "(deleted)" after flagged ones.
std::vector<std::string> Subjects(ImapSession& session, const std::string& mailbox) {
  session.Select(mailbox);
  std::vector<std::string> subjects;
  for (const FetchedHeader& header : session.FetchHeaders(1)) {
    const size_t start = header.header.find("Subject: ") + 9;
    subjects.push_back(header.header.substr(start, header.header.find('\r', start) - start) +
                       (header.deleted ? " (deleted)" : ""));
  }
  return subjects;
}

class ImapSessionTest : public ::testing::Test {
 protected:
  // Starts this test's Dovecot; false, with skip_ saying why, when it cannot start here.
  bool StartServer(const DovecotInstance::Options& options = {}) {
    server_ = DovecotInstance::Start(options, &skip_);
    return server_ != nullptr;
  }
  std::unique_ptr<ImapSession> Connect(std::chrono::seconds timeout = 10s) {
    return std::make_unique<ImapSession>(server_->ImapsUrl(DovecotInstance::kAlice),
                                         DovecotInstance::kAlice.password,
                                         ConnectOptions{server_->caFile().string(), timeout});
  }

  std::unique_ptr<DovecotInstance> server_;
  std::string skip_;
};

TEST_F(ImapSessionTest, TrustsOnlyACertificateOfATrustedCaForTheHost) {
  enum Ca { kServers, kOther, kSystems };
  struct Row {
    const char* name;
    bool startTls;
    const char* host;
    std::vector<std::string> certificateNames;
    Ca ca;
    const char* error;  // nullptr: logs in
  };
  const std::vector<std::string> local = {"localhost", "127.0.0.1"};
  const Row rows[] = {
      {"imaps", false, "127.0.0.1", local, kServers, nullptr},
      {"STARTTLS to a host name", true, "localhost", local, kServers, nullptr},
      {"imaps, another CA", false, "127.0.0.1", local, kOther, "not trusted"},
      {"STARTTLS, another CA", true, "127.0.0.1", local, kOther, "not trusted"},
      {"imaps, the system's CAs", false, "127.0.0.1", local, kSystems, "not trusted"},
      {"imaps, made for another host",
       false,
       "localhost",
       {"mail.example.test"},
       kServers,
       "hostname mismatch"},
      {"imaps, made for another address",
       false,
       "127.0.0.1",
       {"127.0.0.2"},
       kServers,
       "IP address mismatch"},
  };
  testing::TempDir other;
  std::string error;
  ASSERT_TRUE(
      testing::MakeSelfSignedCertificate(other / "ca.pem", other / "key.pem", local, &error))
      << error;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DovecotInstance::Options options;
    options.certificateNames = row.certificateNames;
    if (!StartServer(options))
      GTEST_SKIP() << skip_;
    const DovecotInstance::User& alice = DovecotInstance::kAlice;
    const std::string url =
        row.startTls ? server_->ImapUrl(alice, row.host) : server_->ImapsUrl(alice, row.host);
    const std::string ca = row.ca == kServers ? server_->caFile().string()
                           : row.ca == kOther ? (other / "ca.pem").string()
                                              : "";
    try {
      ImapSession session(url, alice.password, {ca, 5s});
      EXPECT_EQ(row.error, nullptr) << "logged in";
    } catch (const ImapError& e) {
      ASSERT_NE(row.error, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(row.error), std::string::npos) << e.what();
    }
  }
}

TEST_F(ImapSessionTest, AWrongPasswordIsOneLineWithoutThePassword) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  try {
    ImapSession session(server_->ImapsUrl(DovecotInstance::kAlice), "alice-secreT",
                        {server_->caFile().string(), 5s});
    FAIL() << "logged in with a wrong password";
  } catch (const ImapError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("LOGIN as alice: "), std::string::npos) << message;
    EXPECT_EQ(message.find("secre"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

TEST_F(ImapSessionTest, FindsTheSentMailboxByItsAttributeAndNamesMailboxesInUtf8) {
  for (const bool specialUse : {true, false}) {
    SCOPED_TRACE(specialUse ? "SPECIAL-USE" : "no SPECIAL-USE");
    DovecotInstance::Options options;
    if (!specialUse)
      options.withoutCapabilities = {"SPECIAL-USE"};
    if (!StartServer(options))
      GTEST_SKIP() << skip_;
    const auto session = Connect();
    EXPECT_EQ(session->Has(Capability::kSpecialUse), specialUse);
    session->Create("Spam & Müll");
    session->Subscribe("Spam & Müll");
    std::vector<std::string> names;
    std::vector<std::string> sent;
    for (const MailboxEntry& entry : session->List()) {
      names.push_back(entry.name);
      if (entry.Has("\\sent"))
        sent.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{"INBOX", "Spam & Müll", DovecotInstance::kSentMailbox}));
    EXPECT_EQ(sent, specialUse ? std::vector<std::string>{DovecotInstance::kSentMailbox}
                               : std::vector<std::string>{});
    session->Append("Spam & Müll", Message("one"));
    EXPECT_EQ(session->Status("Spam & Müll").messages, 1u);
    EXPECT_EQ(session->Select(DovecotInstance::kSentMailbox).messages, 0u);
  }
}

TEST_F(ImapSessionTest, FetchesABatchOfHeadersWithoutMarkingAnythingSeen) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  const auto session = Connect();
  const std::string messages[] = {Message("one", "first\r\n"), Message("two", "second\r\n"),
                                  Message("three", "third\r\n")};
  for (const std::string& message : messages)
    session->Append("INBOX", message);
  const MailboxState state = session->Select("INBOX");
  EXPECT_EQ(state.messages, 3u);
  EXPECT_EQ(state.uidNext, 4u);
  EXPECT_EQ(session->Status("INBOX").uidValidity, state.uidValidity);

  const std::vector<FetchedHeader> headers = session->FetchHeaders(1);
  ASSERT_EQ(headers.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(headers[i].uid, i + 1);
    EXPECT_EQ(headers[i].size, messages[i].size());
    EXPECT_EQ(headers[i].header, messages[i].substr(0, messages[i].find("\r\n\r\n") + 4));
  }
  EXPECT_EQ(session->FetchText(2), "second\r\n");
  EXPECT_EQ(session->FetchMessage(3), messages[2]);
  EXPECT_EQ(session->FetchMessage(9), std::nullopt);
  // Above the highest UID, "4:*" would name message 3.
  EXPECT_TRUE(session->FetchHeaders(state.uidNext).empty());
  EXPECT_TRUE(session->SearchUids(state.uidNext).empty());
  EXPECT_EQ(session->SearchUids(2), (std::vector<uint32_t>{2, 3}));

  const auto other = Connect();
  other->Select("INBOX");
  for (const FetchedHeader& header : other->FetchHeaders(1))
    EXPECT_FALSE(header.seen) << header.uid;
}

TEST_F(ImapSessionTest, AMoveLeavesTheMessageInOnePlaceAndOtherDeletedMailAlone) {
  struct Row {
    const char* name;
    std::vector<std::string> without;
    std::vector<std::string> inbox;  // after the move
  };
  const Row rows[] = {
      {"MOVE", {}, {"kept (deleted)"}},
      {"COPY, STORE and UID EXPUNGE", {"MOVE"}, {"kept (deleted)"}},
      {"neither MOVE nor UIDPLUS", {"MOVE", "UIDPLUS"}, {"kept (deleted)", "moved (deleted)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!StartServer({row.without}))
      GTEST_SKIP() << skip_;
    const auto session = Connect();
    const auto someoneElse = Connect();
    session->Create("spam");
    someoneElse->Append("INBOX", Message("kept"), {"\\Deleted"});
    const std::optional<uint32_t> uid = someoneElse->Append("INBOX", Message("moved"));
    ASSERT_TRUE(uid);
    session->Select("INBOX");
    const std::optional<uint32_t> newUid = session->Move(*uid, "spam");

    EXPECT_EQ(Subjects(*someoneElse, "INBOX"), row.inbox);
    EXPECT_EQ(Subjects(*someoneElse, "spam"), std::vector<std::string>{"moved"});
    EXPECT_EQ(newUid.value_or(1), 1u);  // the first message of "spam"
    EXPECT_EQ(newUid.has_value() || !session->Has(Capability::kUidPlus), true);
  }
}

TEST_F(ImapSessionTest, IdleWakesWhenAnotherClientAppendsAndNoopSeesExpunges) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  const auto session = Connect();
  const auto other = Connect();
  session->Select("INBOX");
  session->StartIdle();
  const std::optional<uint32_t> uid = other->Append("INBOX", Message("new"));
  pollfd ready{session->IdleDescriptor(), POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 10000), 1) << "no word from the server within 10 s";
  EXPECT_EQ(session->FinishIdle().exists, 1u);

  other->Select("INBOX");
  other->Move(*uid, DovecotInstance::kSentMailbox);
  EXPECT_EQ(session->Noop().expunged, std::vector<uint32_t>{1});
  EXPECT_TRUE(session->Noop().Empty());
}

TEST_F(ImapSessionTest, WithoutIdleOfferedStartIdleRefusesAndTheSessionGoesOn) {
  if (!StartServer({{"IDLE"}}))
    GTEST_SKIP() << skip_;
  const auto session = Connect();
  session->Select("INBOX");
  EXPECT_FALSE(session->Has(Capability::kIdle));
  EXPECT_THROW(session->StartIdle(), ImapError);
  EXPECT_TRUE(session->Noop().Empty());
}

TEST_F(ImapSessionTest, AServerThatStopsAnsweringGivesAnErrorWithinTheTimeout) {
  struct Row {
    const char* name;
    bool duringFetch;  // the fault strikes while a fetch waits for the frozen server
    void (DovecotInstance::*fault)();
  };
  const Row rows[] = {
      {"stopped by its administrator", false, &DovecotInstance::Stop},
      {"killed during a fetch", true, &DovecotInstance::Kill},
      {"frozen", false, &DovecotInstance::Freeze},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!StartServer())
      GTEST_SKIP() << skip_;
    const auto session = Connect(1s);
    session->Append("INBOX", Message("kept"));
    session->Select("INBOX");
    const auto start = std::chrono::steady_clock::now();
    if (row.duringFetch) {
      server_->Freeze();
      auto fetch = std::async(std::launch::async, [&session] { session->FetchHeaders(1); });
      std::this_thread::sleep_for(200ms);
      (*server_.*row.fault)();
      EXPECT_THROW(fetch.get(), ImapError);
    } else {
      (*server_.*row.fault)();
      EXPECT_THROW(session->FetchHeaders(1), ImapError);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    EXPECT_THROW(session->Noop(), ImapError);
    const auto reconnect = std::chrono::steady_clock::now();
    EXPECT_THROW(Connect(1s), ImapError);
    EXPECT_LT(std::chrono::steady_clock::now() - reconnect, 4s);

    std::string reason;
    ASSERT_TRUE(server_->Restart(&reason)) << reason;
    EXPECT_EQ(Subjects(*Connect(), "INBOX"), std::vector<std::string>{"kept"});
  }
}

}  // namespace
}  // namespace tervane::imap
