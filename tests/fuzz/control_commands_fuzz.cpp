// The control socket's requests carried out by a real extension server on a temporary Maildir:
// whatever line comes, the answer is one line that decodes as an answer.
#include <QCoreApplication>
#include <filesystem>
#include <memory>
#include <string>
#include <variant>

#include "control/control_protocol.h"
#include "control/control_server.h"
#include "extserver/mail_client_commands.h"
#include "maildir/maildir_delivery.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

namespace {

namespace fs = std::filesystem;

// Every message the fuzzer may list or select, with headers a mail client meets.
constexpr std::string_view kMessages[] = {
    "From: Ann Example <ann@example.org>\nTo: bob@example.net\nSubject: hello\n\nHi.\n",
    "Return-Path: <offers@cheap-pills.example>\nFrom: =?utf-8?B?w4RwZmVs?= <a@b.example>\n"
    "Subject: =?iso-8859-1?Q?gr=FC=DFe?=\n\n",
    "From: undisclosed-recipients:;\nSubject:\n folded\r\n\r\nbody",
    "no header at all",
};

// The program beside the mail client: its own commands, and a toolbar made at every start.
struct Program {
  Program() {
    for (const char* folder : {"Inbox", "Work", "spam", "Sent"}) {
      const fs::path dir = tervane::MaildirFolderPath(maildir.path(), folder);
      for (const char* sub : {"cur", "new", "tmp"})
        fs::create_directories(dir / sub);
      for (const std::string_view message : kMessages)
        tervane::DeliverMessage(dir, message);
    }
    server = std::make_unique<tervane::testing::MaildirServer>(maildir.path());
    events = std::make_unique<tervane::testing::RecordingEvents>(*server);
    api = server->NewAPIObj();
    MakeToolbar();
  }

  tervane::ControlAnswer Answer(const tervane::ControlRequest& request) {
    if (tervane::IsMailClientCommand(request.command)) {
      const int inits = events->inits;
      tervane::ControlAnswer answer = tervane::AnswerMailClientRequest(*server, request);
      if (events->inits != inits)
        MakeToolbar();
      return answer;
    }
    if (request.command == tervane::ControlCommand::kSettings)
      throw tervane::ControlRefused("refused\nover two lines");
    tervane::ControlAnswer answer;
    answer.lists.folder = request.lists.dataFolder;
    answer.lists.result = request.lists.address;
    return answer;
  }

  void MakeToolbar() {
    const std::unique_ptr<tervane::IOEToolbar> toolbar = api->GetToolbar();
    if (toolbar)
      toolbar->CreateButton("Spam", "", "");
  }

  tervane::testing::TempDir maildir;
  std::unique_ptr<tervane::testing::MaildirServer> server;
  std::unique_ptr<tervane::testing::RecordingEvents> events;
  std::unique_ptr<tervane::IOEAPIObj> api;
};

int argc = 1;
char name[] = "control_commands_fuzz";
char* argv[] = {name, nullptr};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static QCoreApplication application(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Program program;
  const std::string answer = tervane::AnswerControlLine(
      [](const tervane::ControlRequest& request) { return program.Answer(request); },
      AsText(data, size));
  Check(answer.find('\n') == std::string::npos, "an answer is one line");
  Check(tervane::DecodeAnswer(answer).index() == 0, "an answer decodes as an answer");
  // The server's events run as they would between two requests.
  QCoreApplication::processEvents();
  return 0;
}
