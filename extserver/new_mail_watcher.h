#ifndef TERVANE_EXTSERVER_NEW_MAIL_WATCHER_H_
#define TERVANE_EXTSERVER_NEW_MAIL_WATCHER_H_

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>

#include "extserver/maildir_store.h"
#include "extserver/unique_fd.h"

class QSocketNotifier;

namespace tervane {

// Watches every folder's new/ with inotify and announces each message file that appears there
// exactly once, while it is active. Files that were waiting in new/ are announced when it is
// activated; messages the store moved in itself are never announced. Lives on the main thread
// and raises its signal from the event loop.
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
  void Watch(const MaildirFolder& folder);
  void OnReadable();
  // Announces the unannounced messages in new/ of one folder, or of every folder.
  void CatchUp(std::optional<int32_t> folderId);
  void PostCatchUp(std::optional<int32_t> folderId);
  void AnnounceIfNew(int32_t folderId, int32_t messageId);

  MaildirStore& store_;
  UniqueFd inotify_;
  std::unique_ptr<QSocketNotifier> notifier_;  // goes before the descriptor it watches
  std::unordered_map<int, int32_t> folderByWatch_;
  bool active_ = false;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_NEW_MAIL_WATCHER_H_
