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
// in itself are never announced.
//
// The user's own moves into and out of the spam folder are announced too (UserMoved), in the
// order they were made: the two halves of a rename between two folders, paired by the kernel's
// cookie, and a message that turns up in the spam folder's cur/ with no other half (a client
// that copies it there, a synchronizer that brings it down). Such a message is no new mail. The
// store's own renames never count; a file that arrives in the spam folder's new/ is new mail, as
// a delivery agent or a server-side rule files it. Lives on the main thread and raises its signal
// from the event loop.
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
  // fromFolderId is 0 for a message that turned up in the spam folder's cur/.
  void UserMoved(int32_t fromFolderId, int32_t toFolderId, int32_t messageId);

 private:
  struct WatchedDir {
    int32_t folderId;
    MaildirSubdir subdir;
  };
  // What waits to be announced, in the order it happened.
  struct Arrival {
    int32_t folderId;
    int32_t messageId;
    std::optional<int32_t> movedFrom;  // set: the user's move from that folder (0: unknown)
  };

  void Watch(const MaildirFolder& folder);
  void OnReadable();
  // Tells the store of a file that arrived in dir; queues what is to be announced. from is the
  // folder the file was renamed from (the other half of the rename), if any.
  void NoteArrival(const WatchedDir& dir, std::string_view name, uint32_t mask,
                   std::optional<int32_t> from);
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
  std::deque<Arrival> queue_;  // in arrival order
  std::vector<char> events_;   // what one read of inotify gives
  bool active_ = false;
  bool draining_ = false;
  bool announcing_ = false;
  bool sliceScheduled_ = false;
  bool overflowed_ = false;
};

}  // namespace tervane

#endif  // TERVANE_MAILDIR_NEW_MAIL_WATCHER_H_
