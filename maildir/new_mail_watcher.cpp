#include "maildir/new_mail_watcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "base/fd_io.h"
#include "mailapi/extension_interface.h"

namespace tervane {
namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_ONLYDIR;
constexpr uint32_t kArrival = IN_CREATE | IN_MOVED_TO;
constexpr uint32_t kDeparture = IN_MOVED_FROM | IN_DELETE;
// One read takes up to this much of the kernel's queue (about 4,000 events).
constexpr size_t kReadSize = 256 * 1024;
// The kernel's queue is read again after this many announcements...
constexpr int kAnnouncementsPerDrain = 64;
// ...and the event loop runs again after a slice of this long.
constexpr auto kSlice = std::chrono::milliseconds(20);

}  // namespace

NewMailWatcher::NewMailWatcher(MaildirStore& store, QObject* parent)
    : QObject(parent),
      store_(store),
      inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      events_(kReadSize) {
  if (!inotify_.valid()) {
    throw ExtensionError(std::string("cannot watch the Maildir: ") + std::strerror(errno));
  }
  notifier_ = std::make_unique<QSocketNotifier>(inotify_.get(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &NewMailWatcher::OnReadable);
  Watch(store_.Inbox());
  // A folder met again may have been made anew since: watching it again is cheap.
  store_.SetFolderMetHandler([this](const MaildirFolder& folder) { Watch(folder); });
  store_.SetRefreshHandler([this] { DrainForStore(); });
  store_.Walk();
}

NewMailWatcher::~NewMailWatcher() {
  store_.SetFolderMetHandler(nullptr);
  store_.SetRefreshHandler(nullptr);
}

void NewMailWatcher::Activate() {
  active_ = true;
  store_.Activate();
  PostCatchUp(std::nullopt);
}

void NewMailWatcher::Deactivate() {
  active_ = false;
  queue_.clear();  // they still wait in the store for the next Activate
}

void NewMailWatcher::Watch(const MaildirFolder& folder) {
  for (const MaildirSubdir subdir : {MaildirSubdir::kNew, MaildirSubdir::kCur}) {
    const std::filesystem::path dir = folder.dir / (subdir == MaildirSubdir::kNew ? "new" : "cur");
    const int watch = ::inotify_add_watch(inotify_.get(), dir.c_str(), kWatchMask);
    if (watch < 0) {
      continue;  // a folder without new/ has no mail to announce
    }
    const bool added = watched_.insert_or_assign(watch, WatchedDir{folder.id, subdir}).second;
    if (added && active_ && subdir == MaildirSubdir::kNew) {
      PostCatchUp(folder.id);  // files that came before the watch
    }
  }
}

void NewMailWatcher::Drain() {
  if (draining_) {
    return;
  }
  draining_ = true;
  // The folders that renamed files left, by the rename's cookie, until the other half comes (the
  // kernel queues both halves of one rename together).
  std::unordered_map<uint32_t, int32_t> renamedFrom;
  ssize_t got;
  while ((got = RetryOnEintr(
              [&] { return ::read(inotify_.get(), events_.data(), events_.size()); })) > 0) {
    for (const char* at = events_.data(); at < events_.data() + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      if (event->mask & IN_Q_OVERFLOW) {
        overflowed_ = true;
        store_.ForgetOwnMoves();
        continue;
      }
      if (event->mask & IN_IGNORED) {
        watched_.erase(event->wd);
        continue;
      }
      const auto dir = watched_.find(event->wd);
      if (dir == watched_.end() || event->len == 0) {
        continue;
      }
      const std::string_view name(event->name);
      if (event->mask & kDeparture) {
        store_.NoteDeparture(dir->second.folderId, dir->second.subdir, name);
        if (event->mask & IN_MOVED_FROM) {
          renamedFrom[event->cookie] = dir->second.folderId;
        }
      } else if (event->mask & kArrival) {
        std::optional<int32_t> from;
        if (const auto half = renamedFrom.find(event->cookie);
            (event->mask & IN_MOVED_TO) && half != renamedFrom.end()) {
          from = half->second;
          renamedFrom.erase(half);
        }
        NoteArrival(dir->second, name, event->mask, from);
      }
    }
  }
  store_.ForgetDeparted();
  draining_ = false;
}

void NewMailWatcher::NoteArrival(const WatchedDir& dir, std::string_view name, uint32_t mask,
                                 std::optional<int32_t> from) {
  const auto [folderId, subdir] = dir;
  const bool own = store_.TakeOwnMove(folderId, name);  // noted when the store made it
  const bool intoSpam = store_.IsSpamFolder(folderId);
  const bool acrossFolders = from && *from != folderId;
  // A rename between two folders, one of them the spam folder; or a message that turned up in
  // the spam folder's cur/ on its own.
  const bool userMove = !own && ((acrossFolders && (intoSpam || store_.IsSpamFolder(*from))) ||
                                 (!from && intoSpam && subdir == MaildirSubdir::kCur &&
                                  (mask & kArrival) && !store_.KnowsFile(folderId, name)));
  if (userMove) {
    const std::optional<int32_t> id = store_.NoteMovedIn(folderId, subdir, name);
    if (id && active_) {
      queue_.push_back(Arrival{folderId, *id, acrossFolders ? *from : 0});
    }
    return;
  }
  const std::optional<int32_t> id = subdir == MaildirSubdir::kNew
                                        ? store_.NoteNewFile(folderId, name)
                                        : store_.NoteCurFile(folderId, name);
  if (id && active_) {
    queue_.push_back(Arrival{folderId, *id, std::nullopt});
  }
}

void NewMailWatcher::DrainForStore() {
  Drain();
  if (overflowed_ || (active_ && !queue_.empty())) {
    ScheduleAnnouncing();  // what was read here will not wake OnReadable
  }
}

void NewMailWatcher::OnReadable() {
  Drain();
  AnnounceQueued();
}

void NewMailWatcher::CatchUpAfterOverflow() {
  if (overflowed_) {
    overflowed_ = false;
    CatchUp(std::nullopt);  // events were lost: what is new in new/ is found by looking
  }
}

void NewMailWatcher::PostCatchUp(std::optional<int32_t> folderId) {
  QMetaObject::invokeMethod(
      this,
      [this, folderId] {
        CatchUp(folderId);
        AnnounceQueued();
      },
      Qt::QueuedConnection);
}

void NewMailWatcher::ScheduleAnnouncing() {
  if (sliceScheduled_ || announcing_) {
    return;  // the running slice goes on with what was queued
  }
  sliceScheduled_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        sliceScheduled_ = false;
        AnnounceQueued();
      },
      Qt::QueuedConnection);
}

void NewMailWatcher::CatchUp(std::optional<int32_t> folderId) {
  if (!active_) {
    return;
  }
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
      queue_.push_back(Arrival{id, messageId, std::nullopt});
    }
  }
}

void NewMailWatcher::AnnounceQueued() {
  if (announcing_) {
    return;  // a handler ran the event loop: the outer call goes on
  }
  announcing_ = true;
  CatchUpAfterOverflow();
  const auto sliceEnd = std::chrono::steady_clock::now() + kSlice;
  int sinceDrain = 0;
  while (active_ && !queue_.empty()) {
    if (++sinceDrain == kAnnouncementsPerDrain) {
      sinceDrain = 0;
      Drain();
      CatchUpAfterOverflow();
      if (std::chrono::steady_clock::now() >= sliceEnd) {
        break;
      }
    }
    const Arrival arrival = queue_.front();
    queue_.pop_front();
    if (arrival.movedFrom) {
      emit UserMoved(*arrival.movedFrom, arrival.folderId, arrival.messageId);
    } else if (store_.Announce(arrival.messageId)) {
      emit NewMessage(arrival.folderId, arrival.messageId);
    }
  }
  announcing_ = false;
  if (active_ && !queue_.empty()) {
    ScheduleAnnouncing();
  }
}

}  // namespace tervane
