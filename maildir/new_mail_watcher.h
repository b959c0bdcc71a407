#ifndef TERVANE_MAILDIR_NEW_MAIL_WATCHER_H_
#define TERVANE_MAILDIR_NEW_MAIL_WATCHER_H_

#include <QObject>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/unique_fd.h"
#include "maildir/maildir_store.h"

class QSocketNotifier;

namespace tervane {

// Watches every folder's new/ and cur/ with inotify, keeps the store told of every file that
// comes and goes there, and announces each message file that appears in new/ exactly once,
// while it is active, wherever the message is by then (a reader may have moved it on to cur/).
// Files that were waiting in new/ are announced when it is activated; messages the store moved
// in itself are never announced. Lives on the main thread and raises its signal from the event
// loop.
//
// A burst of mail is announced in arrival order, a slice at a time: between slices the event
// loop runs (other requests are answered), and every few messages the kernel's event queue is
// read empty, so it does not overflow however long the handlers take. If it does overflow
// anyway, only files in new/ that the store does not know yet are announced from a fresh look.
class NewMailWatcher : public QObject {
  Q_OBJECT

 public:
  // Watches the folders of store now and those it meets later. Throws ExtensionError when
  // inotify cannot be set up.
  explicit NewMailWatcher(MaildirStore& store, QObject* parent = nullptr);
  ~NewMailWatcher() override;

  // Starts announcing: the messages waiting in new/ first (from the event loop), then new ones.
  void Activate();
  // Stops announcing; what arrives meanwhile is announced at the next Activate.
  void Deactivate();

 signals:
  void NewMessage(int32_t folderId, int32_t messageId);

 private:
  struct WatchedDir {
    int32_t folderId;
    MaildirSubdir subdir;
  };

  void Watch(const MaildirFolder& folder);
  void OnReadable();
  // Reads every event the kernel holds and tells the store; arrivals in new/ join the queue.
  void Drain();
  // Drain, asked for by the store, which may be in the middle of anything.
  void DrainForStore();
  // Queues the unannounced messages of one folder, or of every folder.
  void CatchUp(std::optional<int32_t> folderId);
  void CatchUpAfterOverflow();
  // Catches up and announces from the event loop.
  void PostCatchUp(std::optional<int32_t> folderId);
  // Announces queued messages for one slice, then lets the event loop run before the next.
  void AnnounceQueued();
  void ScheduleAnnouncing();

  MaildirStore& store_;
  UniqueFd inotify_;
  std::unique_ptr<QSocketNotifier> notifier_;  // goes before the descriptor it watches
  std::unordered_map<int, WatchedDir> watched_;
  std::deque<std::pair<int32_t, int32_t>> queue_;  // (folder id, message id) in arrival order
  std::vector<char> events_;                       // what one read of inotify gives
  bool active_ = false;
  bool draining_ = false;
  bool announcing_ = false;
  bool sliceScheduled_ = false;
  bool overflowed_ = false;
};

}  // namespace tervane

#endif  // TERVANE_MAILDIR_NEW_MAIL_WATCHER_H_
