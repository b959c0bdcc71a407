#include "shell/frmmain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <exception>
#include <iostream>

#include "base/xdg_dirs.h"
#include "engine/classification.h"
#include "engine/marking.h"
#include "shell/autostart.h"
#include "shell/help_file.h"
#include "shell/restart.h"
#include "ui/aboutbox.h"
#include "ui/desktop_applications.h"
#include "ui/frmsetting.h"
#include "ui/message_box.h"
#include "ui/window_look.h"

namespace tervane {
namespace {

constexpr char kProgramFileName[] = "TervaneAntiSpam";
constexpr char kHookLibrary[] = "oehook";
constexpr char kUpdateProgram[] = "update";
constexpr char kHelpPage[] = "/tervane_spam_filter_help.htm";

// The folder of the running program file, with its trailing separator.
std::string ProgramFolder() {
  return RunningProgramFolder().string() + "/";
}

}  // namespace

TFrmmain::TFrmmain(bool restarted, std::filesystem::path databaseFolder, const ProgramParts& parts,
                   std::chrono::milliseconds attachRetryInterval)
    : restarted_(restarted),
      programFolder_(ProgramFolder()),
      databaseFolder_(std::move(databaseFolder)),
      parts_(parts),
      log_(parts.log),
      oe_(parts.server),
      db_(parts.database),
      WebBrowser1(log_),
      context_{
          oe_.OEFolderManager, oe_.OEAPI1,       db_, WebBrowser1, clock_, log_, parts.spamFolderId,
          parts.securityLevel, MakerServerHost()},
      CoolTrayIcon1(new QSystemTrayIcon(this)),
      suiPopupMenu1(new QMenu(this)),
      attachRetry_(attachRetryInterval, [this] { return RetryAttach(); }) {
  setWindowTitle("Tervane Spam Filter");

  connect(&oe_.OEAPIInit1, &TOEAPIInit::OnInitOEAPI, this, &TFrmmain::OEAPIInit1InitOEAPI);
  connect(&oe_.OEAPIInit1, &TOEAPIInit::OnShutdownOEAPI, this, &TFrmmain::OEAPIInit1ShutdownOEAPI);
  connect(&oe_.OEFolderManager, &TOEFolderManager::OnNewMessage, this,
          &TFrmmain::OEFolderManagerNewMessage);
  if (parts.markByMoving)
    connect(&oe_.OEFolderManager, &TOEFolderManager::OnMessageMoved, this,
            &TFrmmain::OEFolderManagerMessageMoved);
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
    if (WriteAutostartEntry(QCoreApplication::applicationFilePath().toStdString()).repaired)
      std::cerr << "Tervane Anti-Spam: the autostart entry \"" << AutostartEntryFile().string()
                << "\" was damaged and has been written anew\n";
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
  attachRetry_.Stop();
  try {
    attached_ = AttachToMailClient(oe_, db_, programFolder_, databaseFolder_, parts_.spamFolderId,
                                   parts_.securityLevel);
    if (!attached_)
      Restart("The mail client gave no toolbar for the filter's buttons.");
    else
      LogAttached("attached");
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
  // Stay up without listening to the mail store, say once what went wrong, and try again now
  // and then (already while the message is shown, which may be for long).
  StayDetached();
  attachRetry_.Start();
  ShowErrorMessage(this, reason.c_str());
}

void TFrmmain::StayDetached() {
  oe_.OEFolderManager.Disconnect();
  CloseFilterDatabase(db_);
}

bool TFrmmain::RetryAttach() {
  try {
    // The failed attach made the toolbar's buttons before the step that failed, unless the mail
    // client gave no toolbar.
    if (oe_.OEToolbar1.IsBound()) {
      AttachFilter(oe_, db_, databaseFolder_, parts_.spamFolderId, parts_.securityLevel);
      attached_ = true;
    } else {
      attached_ = AttachToMailClient(oe_, db_, programFolder_, databaseFolder_, parts_.spamFolderId,
                                     parts_.securityLevel);
    }
  } catch (const std::exception&) {
    attached_ = false;
  }
  if (attached_)
    LogAttached("attached on a retry");
  else
    StayDetached();
  return attached_;
}

void TFrmmain::LogAttached(const std::string& how) {
  log_.Write(how + ": security level " + std::to_string(parts_.securityLevel.stored()) +
             ", lists in " + databaseFolder_.string());
}

void TFrmmain::OEAPIInit1ShutdownOEAPI() {
  attachRetry_.Stop();
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

void TFrmmain::OEFolderManagerMessageMoved(int32_t fromFolderId, int32_t toFolderId,
                                           int32_t messageId) {
  // Like new mail, a burst of moves must not raise a box per message.
  try {
    MarkMovedMessage(context_, fromFolderId, toFolderId, messageId);
  } catch (const std::exception& e) {
    log_.Write("message " + std::to_string(messageId) + " moved into folder " +
               std::to_string(toFolderId) + " could not be marked: " + e.what());
  }
}

// Any click on the toolbar first tries a failed attach again, so that the button's own command,
// connected after the toolbar, finds the database open.
void TFrmmain::OEToolbar1ButtonClicked(int32_t) {
  attachRetry_.TryNow();
}

template <typename Command>
void TFrmmain::RunCommand(Command command) {
  try {
    command();
  } catch (const std::exception& e) {
    ShowErrorMessage(this, e.what());
  }
}

void TFrmmain::OEButton1Click() {
  ShowAndRaise(parts_.windows.settings);
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
  const bool desktopOpensChm = HasApplicationFor(kCompiledHelpTypes, SessionApplicationFolders());
  shell_.Open("open", HelpFile(programFolder_, desktopOpensChm), ShowCommand::kShow);
}

void TFrmmain::OEButton6Click() {
  ShowAndRaise(parts_.windows.aboutBox);
}

void TFrmmain::Spam1Click() {
  shell_.Open("open", context_.reportHost + kHelpPage, ShowCommand::kShow);
}

void TFrmmain::NotSpam1Click() {
  QCoreApplication::quit();
}

void TFrmmain::Config1Click() {
  ShowAndRaise(parts_.windows.settings);
}

void TFrmmain::Help1Click() {
  ShowAndRaise(parts_.windows.aboutBox);
}

}  // namespace tervane
