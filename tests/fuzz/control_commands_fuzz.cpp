// The control socket's requests carried out by a real extension server on a temporary Maildir:
// whatever line comes, the answer is one line that decodes as an answer.
#include <QCoreApplication>
#include <QJsonObject>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>

#include "extserver/control_commands.h"
#include "extserver/control_protocol.h"
#include "extserver/extension_server.h"
#include "extserver/maildir_delivery.h"
#include "tests/fuzz/fuzz_check.h"
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
    server = std::make_unique<tervane::ExtensionServer>(
        tervane::ServerOptions{maildir.path(), fs::path()});
    api = server->NewAPIObj();
    QObject::connect(server.get(), &tervane::ExtensionServer::InitOEAPI, [this] { MakeToolbar(); });
    MakeToolbar();
    server->SetProgramCommand("echo", [](const QJsonObject& request) {
      return QJsonObject{{"request", request}};
    });
    server->SetProgramCommand("refuse", [](const QJsonObject&) -> QJsonObject {
      throw std::runtime_error("refused\nover two lines");
    });
  }

  void MakeToolbar() {
    const std::unique_ptr<tervane::IOEToolbar> toolbar = api->GetToolbar();
    if (toolbar)
      toolbar->CreateButton("Spam", "", "");
  }

  tervane::testing::TempDir maildir;
  std::unique_ptr<tervane::ExtensionServer> server;
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
  const std::string answer = tervane::AnswerControlRequest(*program.server, AsText(data, size));
  Check(answer.find('\n') == std::string::npos, "an answer is one line");
  Check(tervane::DecodeAnswer(answer).index() == 0, "an answer decodes as an answer");
  // The server's events run as they would between two requests.
  QCoreApplication::processEvents();
  return 0;
}
