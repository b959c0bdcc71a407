#include "imapstore/idle_watcher.h"

#include <QSocketNotifier>
#include <chrono>

namespace tervane::imap {
namespace {

// Servers may end an IDLE after 30 minutes, NAT routers forget a quiet connection sooner.
constexpr std::chrono::minutes kRenewal(9);

}  // namespace

IdleWatcher::IdleWatcher(std::unique_ptr<ImapSession> session) : session_(std::move(session)) {
  session_->Select("INBOX");
  if (session_->Has(Capability::kNotify)) {
    try {
      session_->NotifyNewAndExpunged();
      notifying_ = true;
    } catch (const ImapError&) {
      // A server that offers NOTIFY but refuses this filter: the other mailboxes are polled.
    }
  }
  renewal_.setInterval(kRenewal);
  connect(&renewal_, &QTimer::timeout, this, &IdleWatcher::Renew);
  StartIdle();
}

IdleWatcher::~IdleWatcher() = default;

void IdleWatcher::StartIdle() {
  const bool newsAlready = session_->StartIdle();
  if (!notifier_) {
    // One notifier for the connection's life: its descriptor stays the same.
    notifier_ =
        std::make_unique<QSocketNotifier>(session_->IdleDescriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &IdleWatcher::Renew);
  }
  notifier_->setEnabled(true);
  renewal_.start();
  if (newsAlready)
    QMetaObject::invokeMethod(this, &IdleWatcher::Renew, Qt::QueuedConnection);
}

void IdleWatcher::Renew() {
  if (failed_ || !notifier_->isEnabled())
    return;
  notifier_->setEnabled(false);
  try {
    session_->FinishIdle();
    StartIdle();
    emit Changed();
  } catch (const ImapError& e) {
    failed_ = true;
    renewal_.stop();
    emit Failed(QString::fromStdString(e.what()));
  }
}

}  // namespace tervane::imap
