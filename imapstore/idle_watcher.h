#ifndef TERVANE_IMAPSTORE_IDLE_WATCHER_H_
#define TERVANE_IMAPSTORE_IDLE_WATCHER_H_

#include <QObject>
#include <QTimer>
#include <memory>
#include <string>

#include "imapstore/imap_session.h"

class QSocketNotifier;

namespace tervane::imap {

// Keeps one connection of its own in IDLE on the Inbox and says when the server has news: new
// or expunged mail in the Inbox and, where the server offers NOTIFY, in every other personal
// mailbox too. What changed is for its owner to look up on its own connection. The IDLE is
// renewed every few minutes, as servers end an IDLE after 30. Lives on the main thread: its
// descriptor is watched by the event loop, and its signals come from there.
class IdleWatcher : public QObject {
  Q_OBJECT

 public:
  // Takes session, selects the Inbox, asks for NOTIFY where offered and starts the IDLE. Throws
  // ImapError. REQUIRES: session->Has(Capability::kIdle).
  explicit IdleWatcher(std::unique_ptr<ImapSession> session);
  ~IdleWatcher() override;

  // True iff other mailboxes wake it too (the server took NOTIFY).
  bool notifying() const { return notifying_; }

 signals:
  // The server told something; the Inbox, and with notifying() every mailbox, may have changed.
  void Changed();
  // The connection failed; nothing more comes from this watcher. reason is one line.
  void Failed(const QString& reason);

 private:
  // Ends the IDLE, reads what came and starts it again.
  void Renew();
  void StartIdle();

  std::unique_ptr<ImapSession> session_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer renewal_;
  bool notifying_ = false;
  bool failed_ = false;
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IDLE_WATCHER_H_
