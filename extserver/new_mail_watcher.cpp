#include "extserver/new_mail_watcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "mailclient/extension_interface.h"

namespace tervane {
namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;
constexpr size_t kReadSize = 64 * 1024;

// A file that appeared in a watched new/.
struct Arrival {
  int32_t folderId;
  std::string fileName;
};

}  // namespace

NewMailWatcher::NewMailWatcher(MaildirStore& store, QObject* parent)
    : QObject(parent), store_(store), inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (!inotify_.valid()) {
    throw ExtensionError(std::string("cannot watch the Maildir: ") + std::strerror(errno));
  }
  notifier_ = std::make_unique<QSocketNotifier>(inotify_.get(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &NewMailWatcher::OnReadable);
  Watch(store_.Inbox());
  // A folder met again may have been made anew since: watching it again is cheap.
  store_.SetFolderMetHandler([this](const MaildirFolder& folder) { Watch(folder); });
  store_.Walk();
}

NewMailWatcher::~NewMailWatcher() {
  store_.SetFolderMetHandler(nullptr);
}

void NewMailWatcher::Activate() {
  active_ = true;
  PostCatchUp(std::nullopt);
}

void NewMailWatcher::Deactivate() {
  active_ = false;
}

void NewMailWatcher::Watch(const MaildirFolder& folder) {
  const int watch = ::inotify_add_watch(inotify_.get(), (folder.dir / "new").c_str(), kWatchMask);
  if (watch < 0) {
    return;  // a folder without new/ has no mail to announce
  }
  const bool added = folderByWatch_.insert_or_assign(watch, folder.id).second;
  if (added && active_) {
    PostCatchUp(folder.id);  // files that came before the watch
  }
}

void NewMailWatcher::OnReadable() {
  std::vector<Arrival> arrivals;
  bool overflow = false;
  alignas(inotify_event) char buffer[kReadSize];
  ssize_t got;
  while ((got = ::read(inotify_.get(), buffer, sizeof buffer)) > 0) {
    for (const char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        overflow = true;
      } else if (event->mask & IN_IGNORED) {
        folderByWatch_.erase(event->wd);
      } else if (!(event->mask & IN_ISDIR) && event->len > 0) {
        const auto folder = folderByWatch_.find(event->wd);
        if (folder != folderByWatch_.end()) {
          arrivals.push_back(Arrival{folder->second, event->name});
        }
      }
    }
  }
  if (!active_) {
    return;  // announced by the catch-up at the next Activate
  }
  for (const Arrival& arrival : arrivals) {
    if (const std::optional<int32_t> id = store_.NoteNewFile(arrival.folderId, arrival.fileName)) {
      AnnounceIfNew(arrival.folderId, *id);
    }
  }
  if (overflow) {
    CatchUp(std::nullopt);  // events were lost: look at every new/
  }
}

void NewMailWatcher::PostCatchUp(std::optional<int32_t> folderId) {
  QMetaObject::invokeMethod(
      this, [this, folderId] { CatchUp(folderId); }, Qt::QueuedConnection);
}

void NewMailWatcher::CatchUp(std::optional<int32_t> folderId) {
  std::vector<int32_t> folderIds;
  if (folderId) {
    folderIds.push_back(*folderId);
  } else {
    for (const MaildirFolder& folder : store_.Walk()) {
      folderIds.push_back(folder.id);
    }
  }
  for (const int32_t id : folderIds) {
    for (const int32_t messageId : store_.Unannounced(id)) {
      AnnounceIfNew(id, messageId);
    }
  }
}

void NewMailWatcher::AnnounceIfNew(int32_t folderId, int32_t messageId) {
  if (active_ && store_.Announce(messageId)) {
    emit NewMessage(folderId, messageId);
  }
}

}  // namespace tervane
