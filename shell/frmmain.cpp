#include "shell/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <exception>
#include <iostream>

#include "engine/classification.h"
#include "engine/marking.h"
#include "shell/autostart.h"
#include "shell/program_values.h"
#include "shell/restart.h"
#include "ui/aboutbox.h"
#include "ui/frmsetting.h"
#include "ui/message_box.h"
#include "ui/window_look.h"

namespace tervane {
namespace {

constexpr char kProgramFileName[] = "TervaneAntiSpam";
constexpr char kHookLibrary[] = "oehook";
constexpr char kUpdateProgram[] = "update";
constexpr char kHelpFile[] = "quorlenhelp.chm";
constexpr char kHelpPage[] = "/tervane_spam_filter_help.htm";

// The folder of the running program file, with its trailing separator.
std::string ProgramFolder() {
  return QCoreApplication::applicationDirPath().toStdString() + "/";
}

}  // namespace

TFrmmain::TFrmmain(bool restarted, std::filesystem::path databaseFolder, DecisionLog& log)
    : restarted_(restarted),
      programFolder_(ProgramFolder()),
      databaseFolder_(std::move(databaseFolder)),
      log_(log),
      WebBrowser1(log),
      context_{oe_.OEFolderManager, oe_.OEAPI1,       db_, WebBrowser1, clock_, log_, SpamFolderId,
               SecurityLevel,       MakerServerHost()},
      CoolTrayIcon1(new QSystemTrayIcon(this)),
      suiPopupMenu1(new QMenu(this)) {
  setWindowTitle("Tervane Spam Filter");

  connect(&oe_.OEAPIInit1, &TOEAPIInit::OnInitOEAPI, this, &TFrmmain::OEAPIInit1InitOEAPI);
  connect(&oe_.OEAPIInit1, &TOEAPIInit::OnShutdownOEAPI, this, &TFrmmain::OEAPIInit1ShutdownOEAPI);
  connect(&oe_.OEFolderManager, &TOEFolderManager::OnNewMessage, this,
          &TFrmmain::OEFolderManagerNewMessage);
  connect(&oe_.OEToolbar1, &TOEToolbar::OnButtonClicked, this, &TFrmmain::OEToolbar1ButtonClicked);
  connect(&oe_.OEButton1, &TOEButton::OnClick, this, &TFrmmain::OEButton1Click);
  connect(&oe_.OEButton2, &TOEButton::OnClick, this, &TFrmmain::OEButton2Click);
  connect(&oe_.OEButton3, &TOEButton::OnClick, this, &TFrmmain::OEButton3Click);
  connect(&oe_.OEButton4, &TOEButton::OnClick, this, &TFrmmain::OEButton4Click);
  connect(&oe_.OEButton5, &TOEButton::OnClick, this, &TFrmmain::OEButton5Click);
  connect(&oe_.OEButton6, &TOEButton::OnClick, this, &TFrmmain::OEButton6Click);

  // The tray icon carries the menu but is never made visible.
  CoolTrayIcon1->setToolTip("Tervane Spam Filter For Outlook Express");
  CoolTrayIcon1->setIcon(TervaneIcon());
  CoolTrayIcon1->setContextMenu(suiPopupMenu1);
  connect(suiPopupMenu1->addAction("Help"), &QAction::triggered, this, &TFrmmain::Spam1Click);
  connect(suiPopupMenu1->addAction("Online Update"), &QAction::triggered, this,
          &TFrmmain::NotSpam1Click);
  connect(suiPopupMenu1->addAction("Config"), &QAction::triggered, this, &TFrmmain::Config1Click);
  connect(suiPopupMenu1->addAction("About"), &QAction::triggered, this, &TFrmmain::Help1Click);

  oe_.OEFolderManager.Connect();
  oe_.OEAPIInit1.Connect();
  FormCreate();
}

TFrmmain::~TFrmmain() {
  try {
    FormDestroy();
  } catch (const std::exception& e) {
    std::cerr << "Tervane Anti-Spam: " << e.what() << '\n';
  }
}

void TFrmmain::FormCreate() {
  // Nothing in the hook library is called; whether it loads is not looked at.
  hook_.setFileName(QString::fromStdString(programFolder_ + kHookLibrary));
  hook_.load();

  try {
    WriteAutostartEntry(QCoreApplication::applicationFilePath().toStdString());
  } catch (const std::exception& e) {
    ShowErrorMessage(this, e.what());
  }
}

void TFrmmain::FormDestroy() {
  oe_.OEAPI1.RemoveToolbars();
  oe_.OEToolbar1.Disconnect();
}

void TFrmmain::closeEvent(QCloseEvent* event) {
  FormDestroy();
  event->accept();
}

void TFrmmain::OEAPIInit1InitOEAPI() {
  try {
    attached_ =
        AttachToMailClient(oe_, db_, programFolder_, databaseFolder_, SpamFolderId, SecurityLevel);
    if (!attached_)
      Restart("The mail client gave no toolbar for the filter's buttons.");
    else
      log_.Write("attached: security level " + std::to_string(SecurityLevel) + ", lists in " +
                 databaseFolder_.string());
  } catch (const std::exception& e) {
    attached_ = false;
    Restart(e.what());
  }
}

void TFrmmain::Restart(const std::string& reason) {
  log_.Write("attach failed: " + reason);
  if (!restarted_) {
    StartFreshInstance(programFolder_ + kProgramFileName);
    QCoreApplication::quit();
    return;
  }
  // Stay up without listening to the mail store, and say once what went wrong.
  oe_.OEFolderManager.Disconnect();
  CloseFilterDatabase(db_);
  ShowErrorMessage(this, reason.c_str());
}

void TFrmmain::OEAPIInit1ShutdownOEAPI() {
  // A failed attach left nothing open to count or close.
  if (!attached_)
    return;
  attached_ = false;
  RunCommand([this] { DetachFromMailClient(oe_, context_, databaseFolder_); });
  log_.Write("detached");
}

void TFrmmain::OEFolderManagerNewMessage(int32_t folderId, int32_t newMsgId) {
  // A burst of new mail must not raise a box per message: a failure goes to the log and the
  // next message is judged afresh.
  try {
    FilterNewMessage(context_, folderId, newMsgId);
  } catch (const std::exception& e) {
    log_.Write("message " + std::to_string(newMsgId) + " of folder " + std::to_string(folderId) +
               " could not be judged: " + e.what());
  }
}

void TFrmmain::OEToolbar1ButtonClicked(int32_t) {}

template <typename Command>
void TFrmmain::RunCommand(Command command) {
  try {
    command();
  } catch (const std::exception& e) {
    ShowErrorMessage(this, e.what());
  }
}

void TFrmmain::OEButton1Click() {
  ShowAndRaise(Frmsetting);
}

void TFrmmain::OEButton2Click() {
  RunCommand([this] { MarkSelectedAsSpam(context_); });
}

void TFrmmain::OEButton3Click() {
  RunCommand([this] { MarkSelectedAsNotSpam(context_); });
}

void TFrmmain::OEButton4Click() {
  shell_.Open("open", programFolder_ + kUpdateProgram, ShowCommand::kShow);
}

void TFrmmain::OEButton5Click() {
  shell_.Open("open", programFolder_ + kHelpFile, ShowCommand::kShow);
}

void TFrmmain::OEButton6Click() {
  ShowAndRaise(AboutBox);
}

void TFrmmain::Spam1Click() {
  shell_.Open("open", context_.reportHost + kHelpPage, ShowCommand::kShow);
}

void TFrmmain::NotSpam1Click() {
  QCoreApplication::quit();
}

void TFrmmain::Config1Click() {
  ShowAndRaise(Frmsetting);
}

void TFrmmain::Help1Click() {
  ShowAndRaise(AboutBox);
}

}  // namespace tervane
