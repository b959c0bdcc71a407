#include "imapstore/imap_mail_store.h"

#include <strings.h>

#include <algorithm>
#include <utility>

#include "imapstore/idle_watcher.h"
#include "imapstore/imap_address.h"
#include "imapstore/imap_objects.h"
#include "message/header_fields.h"

namespace tervane::imap {
namespace {

using namespace std::chrono_literals;

// How often, 200 ms apart, a message that is also still in "spam" is looked at again before it
// counts as a copy rather than the user's move out of spam (which some servers carry out as a
// copy first and an expunge after).
constexpr int kMaxWaits = 10;
constexpr auto kWaitStep = 200ms;
// Use() a mailbox as it is now, with what other clients did to it.
constexpr bool kFresh = true;
// How many of the store's own moves whose new UID the server did not tell are remembered per
// destination until they are met there.
constexpr size_t kExpectedMoves = 20000;
// A connection that stayed up this long starts the waits between tries afresh.
constexpr auto kStayedUp = 60s;

constexpr const char* kSpecialUses[] = {"\\Sent",    "\\Drafts", "\\Trash",  "\\Junk",
                                        "\\Archive", "\\All",    "\\Flagged"};
constexpr const char* kSentNames[] = {"Sent", "Sent Items", "Sent Messages"};
// Where a server marks no special use, the usual names of mailboxes that hold what the user's
// clients put there, not new mail.
constexpr const char* kSpecialNames[] = {"Drafts",           "Trash",   "Deleted Items",
                                         "Deleted Messages", "Junk",    "Junk E-mail",
                                         "Archive",          "Archives"};

uint64_t UidKey(int32_t folderId, uint32_t uid) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(folderId)) << 32) | uid;
}

bool IsInbox(const std::string& name) {
  return strcasecmp(name.c_str(), "INBOX") == 0;
}

// The header lines of a fetched header section, without the blank line that ends it.
std::string WithoutBlankLine(std::string header) {
  if (header.ends_with("\r\n\r\n"))
    header.resize(header.size() - 2);
  else if (header.ends_with("\n\n"))
    header.resize(header.size() - 1);
  return header;
}

std::string Seconds(std::chrono::milliseconds wait) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(wait).count()) + " s";
}

}  // namespace

void ImapMailStore::DeleteLater::operator()(QObject* object) const {
  object->deleteLater();
}

ImapMailStore::ImapMailStore(ImapStoreOptions options)
    : options_(std::move(options)), nextRetry_(options_.firstRetry) {
  ParseImapAddress(options_.url);
  KeepOutOfCoreDumps();
  password_ = ReadPassword(options_.password);
  try {
    states_ = ReadMailboxStates(options_.stateFile);
  } catch (const std::runtime_error& e) {
    throw ImapError(e.what());
  }
  // The Inbox is known before the first connect, so that the attach has it.
  Mailbox inbox;
  inbox.name = "INBOX";
  inbox.folderId = ids_.FolderId(inbox.name);
  inbox.role = Role::kInbox;
  mailboxes_.push_back(inbox);

  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &ImapMailStore::Connect);
  connect(&poll_, &QTimer::timeout, this, [this] {
    listAgain_ = true;
    lookEverywhere_ = true;
    if (!watcher_)
      mailboxes_.front().dirty = true;
    ScheduleSync();
  });
}

ImapMailStore::~ImapMailStore() {
  delete watcher_.release();  // the event loop that would delete it later may be over
}

void ImapMailStore::Start() {
  Connect();
}

MailStoreStatus ImapMailStore::Status() const {
  return {"imap", options_.url, session_ != nullptr, problem_};
}

void ImapMailStore::SetNewMessageHandler(NewMessageHandler handler) {
  newMessage_ = std::move(handler);
}

void ImapMailStore::SetNoticeHandler(NoticeHandler handler) {
  notice_ = std::move(handler);
}

void ImapMailStore::SetUserMoveHandler(UserMoveHandler handler) {
  userMove_ = std::move(handler);
}

std::unique_ptr<IOEFolderManager> ImapMailStore::NewFolderManager() {
  return MakeImapFolderManager(*this);
}

void ImapMailStore::Notice(const std::string& text) {
  if (notice_)
    notice_(text);
}

// Connecting and failing.

void ImapMailStore::Connect() {
  retry_.stop();
  try {
    if (readPasswordAgain_) {
      password_ = ReadPassword(options_.password);
      readPasswordAgain_ = false;
    }
    const ConnectOptions connectOptions{options_.caFile.string(), options_.timeout};
    session_ = std::make_unique<ImapSession>(options_.url, password_.view(), connectOptions);
    selected_.clear();
    ListMailboxes();
    LookEverywhere();
    LoadSpamSnapshot();
    SaveStates();
    if (session_->Has(Capability::kIdle)) {
      watcher_.reset(new IdleWatcher(
          std::make_unique<ImapSession>(options_.url, password_.view(), connectOptions)));
      connect(watcher_.get(), &IdleWatcher::Changed, this, [this] {
        mailboxes_.front().dirty = true;
        lookEverywhere_ |= watcher_->notifying();
        ScheduleSync();
      });
      connect(watcher_.get(), &IdleWatcher::Failed, this,
              [this](const QString& reason) { Fail(reason.toStdString()); });
    }
    poll_.start(watcher_ && watcher_->notifying() ? options_.notifyPollInterval
                                                  : options_.pollInterval);
    connectedAt_ = std::chrono::steady_clock::now();
    if (!problem_.empty())
      Notice(options_.url + ": connected again");
    problem_.clear();
    if (active_) {
      mailboxes_.front().dirty = true;
      ScheduleSync();
    }
  } catch (const ImapLoginRefused& e) {
    Fail(e.what(), true);
  } catch (const PasswordError& e) {
    Fail(e.what(), true);
  } catch (const ImapError& e) {
    Fail(e.what());
  }
}

void ImapMailStore::Fail(const std::string& reason, bool loginRefused) {
  session_.reset();
  watcher_.reset();
  selected_.clear();
  headers_.clear();
  poll_.stop();
  const auto now = std::chrono::steady_clock::now();
  if (connectedAt_ != std::chrono::steady_clock::time_point() && now - connectedAt_ >= kStayedUp)
    nextRetry_ = options_.firstRetry;
  connectedAt_ = {};
  std::chrono::milliseconds wait = nextRetry_;
  nextRetry_ = std::min(nextRetry_ * 2, options_.lastRetry);
  if (loginRefused) {
    wait = std::max(wait, options_.loginRetry);
    readPasswordAgain_ = true;  // the user may have put the right one in place meanwhile
  }
  retry_.start(wait);
  if (reason != problem_)
    Notice(options_.url + ": " + reason + "; trying again in " + Seconds(wait));
  problem_ = reason;
}

template <typename Call>
auto ImapMailStore::Run(Call call) -> decltype(call()) {
  if (!session_)
    throw ImapError(options_.url + ": not connected" +
                    (problem_.empty() ? "" : " (" + problem_ + ")"));
  try {
    return call();
  } catch (const ImapError& e) {
    if (session_ && !session_->usable())
      Fail(e.what());
    throw;
  }
}

// The mailboxes.

void ImapMailStore::ListMailboxes() {
  std::vector<MailboxEntry> entries = session_->List();
  for (const std::string& name : wanted_) {
    const bool exists = std::any_of(entries.begin(), entries.end(),
                                    [&](const MailboxEntry& entry) { return entry.name == name; });
    if (exists)
      continue;
    try {
      session_->Create(name);
      session_->Subscribe(name);
      entries.push_back({name, {}});
    } catch (const ImapError& e) {
      if (!session_->usable())
        throw;
      Notice(e.what());
    }
  }
  wanted_.clear();

  std::string sentName;
  for (const MailboxEntry& entry : entries) {
    if (entry.Has("\\Sent") && sentName.empty())
      sentName = entry.name;
  }
  for (const char* name : kSentNames) {
    if (sentName.empty() && std::any_of(entries.begin(), entries.end(),
                                        [&](const MailboxEntry& e) { return e.name == name; }))
      sentName = name;
  }
  std::vector<Mailbox> boxes;
  for (const MailboxEntry& entry : entries) {
    if (entry.Has("\\Noselect") || entry.Has("\\NonExistent"))
      continue;
    Mailbox box;
    box.name = IsInbox(entry.name) ? "INBOX" : entry.name;
    box.folderId = ids_.FolderId(box.name);
    box.sent = entry.name == sentName;
    const bool special =
        std::any_of(std::begin(kSpecialUses), std::end(kSpecialUses),
                    [&](const char* use) { return entry.Has(use); }) ||
        std::any_of(std::begin(kSpecialNames), std::end(kSpecialNames),
                    [&](const char* name) { return strcasecmp(entry.name.c_str(), name) == 0; });
    box.role = box.name == "INBOX"           ? Role::kInbox
               : box.name == kSpamFolderName ? Role::kSpam
               : special || box.sent         ? Role::kUnwatched
                                             : Role::kPlain;
    if (const Mailbox* known = Find(box.folderId); known && known->uidValidity != 0) {
      box.uidValidity = known->uidValidity;
      box.lastUid = known->lastUid;
      box.dirty = known->dirty;
    } else if (const auto saved = states_.find(box.name); saved != states_.end()) {
      box.uidValidity = saved->second.uidValidity;
      box.lastUid = saved->second.lastUid;
    }
    boxes.push_back(std::move(box));
  }
  std::sort(boxes.begin(), boxes.end(), [](const Mailbox& a, const Mailbox& b) {
    return std::make_pair(a.role != Role::kInbox, a.name) <
           std::make_pair(b.role != Role::kInbox, b.name);
  });
  if (boxes.empty() || boxes.front().role != Role::kInbox)
    throw ImapError(session_->host() + ": LIST: the server names no INBOX");
  mailboxes_ = std::move(boxes);
  // A mailbox met for the first time starts with what it holds now.
  for (Mailbox& box : mailboxes_) {
    if (box.role != Role::kUnwatched && box.uidValidity == 0)
      Reconcile(box, session_->Status(box.name));
  }
}

void ImapMailStore::Reconcile(Mailbox& box, const MailboxState& state) {
  if (state.uidValidity == 0)
    return;
  if (box.uidValidity == state.uidValidity) {
    if (state.uidNext > box.lastUid + 1 && !TakeOwnArrivals(box, state.uidNext))
      box.dirty = true;
    return;
  }
  // Met for the first time, or renumbered by the server: what it holds now is not new.
  box.uidValidity = state.uidValidity;
  box.lastUid = state.uidNext > 0 ? state.uidNext - 1 : 0;
  box.dirty = false;
  box.queued.clear();
  ids_.KeepOnly(box.folderId, box.uidValidity, {});
  if (box.role == Role::kSpam) {
    spam_.Clear();
    spamLoadedFor_ = 0;
  }
}

bool ImapMailStore::TakeOwnArrivals(Mailbox& box, uint32_t uidNext) {
  // UIDs are given in order, so when each one since the last is one the server told for an own
  // move, nothing else arrived.
  const auto first = expectedUids_.lower_bound(UidKey(box.folderId, box.lastUid + 1));
  const auto end = expectedUids_.lower_bound(UidKey(box.folderId, uidNext));
  if (static_cast<size_t>(std::distance(first, end)) != uidNext - 1 - box.lastUid)
    return false;
  if (box.role == Role::kSpam) {
    for (auto it = first; it != end; ++it)
      spam_.Add(static_cast<uint32_t>(it->first), it->second);
  }
  expectedUids_.erase(first, end);
  box.lastUid = uidNext - 1;
  return true;
}

ImapMailStore::Mailbox* ImapMailStore::Find(int32_t folderId) {
  for (Mailbox& box : mailboxes_) {
    if (box.folderId == folderId)
      return &box;
  }
  return nullptr;
}

const ImapMailStore::Mailbox* ImapMailStore::Find(int32_t folderId) const {
  return const_cast<ImapMailStore*>(this)->Find(folderId);
}

ImapMailStore::Mailbox* ImapMailStore::SpamBox() {
  for (Mailbox& box : mailboxes_) {
    if (box.role == Role::kSpam)
      return &box;
  }
  return nullptr;
}

void ImapMailStore::Use(Mailbox& box, bool fresh) {
  if (selected_ == box.name) {
    // What other clients did since is seen only after a command that lets the server tell it.
    if (fresh)
      session_->Noop();
    return;
  }
  selected_.clear();
  const MailboxState state = session_->Select(box.name);
  selected_ = box.name;
  Reconcile(box, state);
}

MailboxState ImapMailStore::Look(Mailbox& box) {
  MailboxState state;
  if (selected_ == box.name) {
    // The server answers STATUS on the selected mailbox from what the session saw last.
    selected_.clear();
    state = session_->Select(box.name);
    selected_ = box.name;
  } else {
    state = session_->Status(box.name);
  }
  if (box.role != Role::kUnwatched)
    Reconcile(box, state);
  return state;
}

void ImapMailStore::SaveStates() {
  MailboxStates states;
  for (const Mailbox& box : mailboxes_) {
    if (box.role != Role::kUnwatched && box.uidValidity != 0)
      states[box.name] = {box.uidValidity, box.lastUid};
  }
  if (states == states_)
    return;
  try {
    WriteMailboxStates(options_.stateFile, states);
    states_ = std::move(states);
  } catch (const std::runtime_error& e) {
    Notice(std::string(e.what()) + "; mail may be judged again after a restart");
  }
}

void ImapMailStore::LoadSpamSnapshot() {
  Mailbox* box = SpamBox();
  if (box == nullptr || box->uidValidity == spamLoadedFor_)
    return;  // what changed since is found by comparing
  spam_.Clear();
  spamLoadedFor_ = 0;
  Use(*box, kFresh);
  if (box->lastUid == 0) {
    spamLoadedFor_ = box->uidValidity;
    return;
  }
  const uint32_t last = box->lastUid;
  const std::vector<uint32_t> uids = session_->SearchUids(1, last);
  for (size_t i = 0; i < uids.size(); i += options_.batch) {
    const size_t end = std::min(uids.size(), i + options_.batch);
    for (const FetchedHeader& header : session_->FetchHeaders(uids[i], uids[end - 1]))
      spam_.Add(header.uid, KeyOfHeader(header.header));
  }
  spamLoadedFor_ = box->uidValidity;
}

// New mail and moves.

void ImapMailStore::ActivateNotifications() {
  active_ = true;
  cutOff_.insert(cutOff_.end(), againAtActivation_.begin(), againAtActivation_.end());
  againAtActivation_.clear();
  for (Mailbox& box : mailboxes_)
    box.dirty = box.role != Role::kUnwatched;
  lookEverywhere_ = true;
  ScheduleSync();
}

void ImapMailStore::DeactivateNotifications() {
  active_ = false;
}

void ImapMailStore::ScheduleSync() {
  if (syncScheduled_)
    return;
  syncScheduled_ = true;
  QMetaObject::invokeMethod(this, &ImapMailStore::Sync, Qt::QueuedConnection);
}

void ImapMailStore::Sync() {
  syncScheduled_ = false;
  if (!session_)
    return;
  if (syncing_) {  // a handler's message box runs an event loop of its own
    QTimer::singleShot(kWaitStep, this, &ImapMailStore::ScheduleSync);
    return;
  }
  syncing_ = true;
  const struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{syncing_};
  try {
    if (listAgain_) {
      listAgain_ = false;
      ListMailboxes();
    }
    if (!active_) {
      if (std::exchange(lookEverywhere_, false))
        session_->Noop();  // keeps the connection, and finds out early when it is gone
    } else {
      if (std::exchange(lookEverywhere_, false))
        LookEverywhere();
      if (const Mailbox* spam = SpamBox(); spam && spam->uidValidity != spamLoadedFor_)
        LoadSpamSnapshot();
      if (!cutOff_.empty())
        JudgeAgainWhatWasCutOff();
      std::vector<int32_t> dirty;
      for (const Mailbox& box : mailboxes_) {
        if (box.dirty && box.role != Role::kUnwatched)
          dirty.push_back(box.folderId);
      }
      bool more = false;
      for (const int32_t folderId : dirty) {
        if (!session_ || !active_)
          break;
        more |= TakeNewMail(folderId);
      }
      if (session_)
        SaveStates();
      if (more)
        ScheduleSync();
    }
  } catch (const ImapError& e) {
    if (session_ && session_->usable()) {
      // A refusal, such as a mailbox deleted meanwhile: the list is read again at the next poll.
      listAgain_ = true;
      if (e.what() != lastRefusal_)
        Notice(e.what());
      lastRefusal_ = e.what();
    } else if (session_) {
      Fail(e.what());
    }
  }
}

void ImapMailStore::LookEverywhere() {
  for (Mailbox& box : mailboxes_) {
    if (box.role != Role::kPlain && box.role != Role::kSpam)
      continue;
    const MailboxState state = Look(box);
    if (box.role == Role::kSpam && state.messages < spam_.size())
      CheckSpamDepartures();
  }
}

bool ImapMailStore::TakeNewMail(int32_t folderId) {
  announcing_ = folderId;
  bool more = false;
  try {
    more = AnnounceNewMail(folderId);
  } catch (const ImapError&) {
    announcing_ = 0;
    CarryOutMoves();
    throw;
  }
  announcing_ = 0;
  CarryOutMoves();
  return more;
}

bool ImapMailStore::AnnounceNewMail(int32_t folderId) {
  Mailbox* box = Find(folderId);
  if (box == nullptr)
    return false;
  // One search serves a whole backlog, a batch at a time.
  if (box->queued.empty()) {
    Use(*box, kFresh);
    box->queued = session_->SearchUids(box->lastUid + 1);
  } else {
    Use(*box);
  }
  if (box->queued.empty()) {
    box->dirty = false;
    return false;
  }
  const auto sliceEnd =
      box->queued.begin() + std::min<ptrdiff_t>(static_cast<ptrdiff_t>(box->queued.size()),
                                                static_cast<ptrdiff_t>(options_.batch));
  const std::vector<uint32_t> slice(box->queued.begin(), sliceEnd);
  box->queued.erase(box->queued.begin(), sliceEnd);
  const auto stop = [this, folderId] {
    if (Mailbox* box = Find(folderId))
      box->queued.clear();  // searched again from the last UID judged
    return false;
  };
  // The store's own moves whose UIDs the server told need no fetch.
  std::unordered_map<uint32_t, std::string> fetched;
  const auto unexpected = [&](uint32_t uid) {
    return !expectedUids_.contains(UidKey(folderId, uid));
  };
  const auto first = std::find_if(slice.begin(), slice.end(), unexpected);
  if (first != slice.end()) {
    const auto last = std::find_if(slice.rbegin(), slice.rend(), unexpected);
    for (FetchedHeader& header : session_->FetchHeaders(*first, *last))
      fetched[header.uid] = std::move(header.header);
  }

  for (const uint32_t uid : slice) {
    box = Find(folderId);
    if (box == nullptr || !session_ || !active_)
      return stop();
    const auto expected = expectedUids_.find(UidKey(folderId, uid));
    const auto header = fetched.find(uid);
    if (expected == expectedUids_.end() && header == fetched.end()) {
      box->lastUid = uid;  // gone between the search and the fetch
      continue;
    }
    const MessageKey key =
        expected != expectedUids_.end() ? expected->second : KeyOfHeader(header->second);
    int32_t from = 0;
    const Arrival arrival = Classify(*box, uid, key, &from);
    box = Find(folderId);
    if (box == nullptr || !session_)
      return stop();
    if (arrival == Arrival::kWait) {
      QTimer::singleShot(kWaitStep, this, &ImapMailStore::ScheduleSync);
      return stop();
    }
    box->lastUid = uid;
    if (arrival == Arrival::kOwnMove || arrival == Arrival::kFiled)
      continue;
    const MessageLocation location{folderId, box->uidValidity, uid};
    const int32_t id = ids_.MessageId(folderId, location.uidValidity, uid);
    if (arrival == Arrival::kNew) {
      judged_.Put(key, location);
      headers_[id] = WithoutBlankLine(header->second);
      if (newMessage_)
        newMessage_(folderId, id);
      headers_.erase(id);
    } else if (userMove_) {
      headers_[id] = WithoutBlankLine(header->second);  // the mark reads it at once
      const Mailbox* spam = SpamBox();
      userMove_(arrival == Arrival::kMovedIntoSpam
                    ? UserMove{from, folderId, id}
                    : UserMove{spam ? spam->folderId : 0, folderId, id});
      headers_.erase(id);
    }
  }
  box = Find(folderId);
  if (box == nullptr || !session_)
    return stop();
  // Dirty until a search finds nothing: more may have come meanwhile.
  const bool more = !box->queued.empty();
  // What the store moved into the mailbox and has met now is expected no more.
  expectedUids_.erase(expectedUids_.lower_bound(UidKey(folderId, 0)),
                      expectedUids_.upper_bound(UidKey(folderId, box->lastUid)));
  if (box->role == Role::kSpam && !more && Look(*box).messages < spam_.size())
    CheckSpamDepartures();
  return more;
}

ImapMailStore::Arrival ImapMailStore::Classify(Mailbox& box, uint32_t uid, MessageKey key,
                                               int32_t* fromFolder) {
  const uint64_t at = UidKey(box.folderId, uid);
  bool own = expectedUids_.erase(at) > 0;
  if (!own) {
    if (const auto keys = expectedKeys_.find(box.folderId); keys != expectedKeys_.end()) {
      if (const std::optional<int32_t> placeholder = keys->second.Take(key)) {
        own = true;
        if (*placeholder != 0)
          ids_.Bind(*placeholder, uid);
      }
    }
  }
  if (box.role == Role::kSpam) {
    spam_.Add(uid, key);
    if (own)
      return Arrival::kOwnMove;
    *fromFolder = FromFolderOf(key);
    return Arrival::kMovedIntoSpam;
  }
  if (own)
    return Arrival::kOwnMove;
  if (leftSpam_.Take(key))
    return Arrival::kMovedOutOfSpam;
  // Moved into spam by the store, with no UID told, and out again before spam was looked at.
  if (const Mailbox* spam = SpamBox(); spam && Expected(spam->folderId).Take(key))
    return Arrival::kMovedOutOfSpam;
  if (spam_.Holds(key)) {
    // The user's client may be halfway through a move out of spam.
    CheckSpamDepartures();
    if (leftSpam_.Take(key)) {
      waits_.erase(at);
      return Arrival::kMovedOutOfSpam;
    }
    if (++waits_[at] <= kMaxWaits)
      return Arrival::kWait;
    waits_.erase(at);
    return Arrival::kFiled;  // a copy of a message that stays in spam: no new mail
  }
  if (box.role == Role::kPlain && judged_.Find(key) != nullptr)
    return Arrival::kFiled;  // judged in another mailbox, and filed here by the user
  return Arrival::kNew;
}

int32_t ImapMailStore::FromFolderOf(MessageKey key) {
  const MessageLocation* where = judged_.Find(key);
  if (where == nullptr)
    return 0;
  const MessageLocation location = *where;
  Mailbox* box = Find(location.folderId);
  if (box == nullptr || box->uidValidity != location.uidValidity)
    return 0;
  Use(*box, kFresh);
  // Still there: the user copied it rather than moved it.
  return session_->SearchUids(location.uid, location.uid, true).empty() ? location.folderId : 0;
}

void ImapMailStore::CheckSpamDepartures() {
  Mailbox* box = SpamBox();
  if (box == nullptr || box->lastUid == 0)
    return;
  Use(*box, kFresh);
  const std::vector<uint32_t> uids = session_->SearchUids(1, box->lastUid, true);
  for (const MessageKey key : spam_.TakeDeparted(uids))
    leftSpam_.Put(key, true);
}

void ImapMailStore::JudgeAgainWhatWasCutOff() {
  const std::vector<MessageLocation> cutOff = std::exchange(cutOff_, {});
  for (size_t i = 0; i < cutOff.size(); ++i) {
    if (!session_ || !active_) {  // the rest waits for the next time
      cutOff_.insert(cutOff_.end(), cutOff.begin() + static_cast<ptrdiff_t>(i), cutOff.end());
      return;
    }
    const MessageLocation& location = cutOff[i];
    Mailbox* box = Find(location.folderId);
    if (box == nullptr || box->uidValidity != location.uidValidity || box->role == Role::kSpam ||
        box->role == Role::kUnwatched)
      continue;
    Use(*box, kFresh);
    if (session_->SearchUids(location.uid, location.uid).empty())
      continue;  // the server carried the move out before the connection went
    const int32_t id = ids_.MessageId(location.folderId, location.uidValidity, location.uid);
    if (newMessage_)
      newMessage_(location.folderId, id);
  }
}

// For the folder views.

int32_t ImapMailStore::InboxId() {
  return mailboxes_.front().folderId;
}

int32_t ImapMailStore::SentId() const {
  // A harvest that could read nothing must not count as done.
  if (!session_)
    return -1;
  for (const Mailbox& box : mailboxes_) {
    if (box.sent)
      return box.folderId;
  }
  return -1;
}

std::vector<int32_t> ImapMailStore::FolderIds() const {
  std::vector<int32_t> ids;
  for (const Mailbox& box : mailboxes_)
    ids.push_back(box.folderId);
  return ids;
}

std::optional<std::string> ImapMailStore::FolderName(int32_t folderId) const {
  const Mailbox* box = Find(folderId);
  if (box == nullptr)
    return std::nullopt;
  return box->role == Role::kInbox ? std::string("Inbox") : box->name;
}

int32_t ImapMailStore::CreateFolder(const std::string& name) {
  if (name.empty())
    return -1;
  for (const Mailbox& box : mailboxes_) {
    if (box.name == name)
      return box.folderId;
  }
  if (!session_) {
    // Made at the next connect; known from now on, so that the attach has its spam folder.
    wanted_.insert(name);
    Mailbox box;
    box.name = name;
    box.folderId = ids_.FolderId(name);
    box.role = name == kSpamFolderName ? Role::kSpam : Role::kPlain;
    mailboxes_.push_back(box);
    return box.folderId;
  }
  try {
    Run([&] {
      wanted_.insert(name);
      ListMailboxes();
    });
    for (const Mailbox& box : mailboxes_) {
      if (box.name == name)
        return box.folderId;
    }
  } catch (const ImapError& e) {
    Notice(e.what());
  }
  return -1;
}

int32_t ImapMailStore::MoveMessage(int32_t sourceFolderId, int32_t destFolderId,
                                   int32_t messageId) {
  const std::optional<MessageLocation> at = ids_.Find(messageId);
  const Mailbox* source = Find(sourceFolderId);
  const Mailbox* dest = Find(destFolderId);
  if (!at || at->folderId != sourceFolderId || at->uid == 0 || source == nullptr ||
      dest == nullptr || source == dest || !session_ || at->uidValidity != source->uidValidity)
    return -1;
  const auto announced = headers_.find(messageId);
  if (announcing_ == sourceFolderId && dest->role == Role::kSpam && announced != headers_.end()) {
    // New mail being announced goes to spam with the rest of its batch, in one command.
    const MessageKey key = KeyOfHeader(announced->second);
    const int32_t placeholder = ids_.PlaceholderId(destFolderId, dest->uidValidity);
    Expected(destFolderId).Put(key, placeholder);
    pendingMoves_.push_back({messageId, *at, key, placeholder});
    return placeholder;
  }
  return MoveNow(*at, messageId, destFolderId);
}

int32_t ImapMailStore::MoveNow(const MessageLocation& at, int32_t messageId, int32_t destFolderId) {
  const std::string destName = Find(destFolderId)->name;
  std::optional<MessageKey> key;
  try {
    key = KeyOfHeader(Run([&] { return FetchHeader(messageId); }));
    Run([&] { Use(*Find(at.folderId)); });
    // Expected there from now on: the connection may go before the server's answer comes.
    Expected(destFolderId).Put(*key, 0);
    const auto moved = MoveUids({at.uid}, destFolderId);
    return Moved(messageId, at, destFolderId, *key,
                 moved.empty() ? std::nullopt : std::optional<uint32_t>(moved.front().second));
  } catch (const ImapError& e) {
    if (!session_) {
      cutOff_.push_back(at);  // judged again after the reconnect if it is still there
    } else {
      if (key)
        Expected(destFolderId).Take(*key);
      Notice("message " + std::to_string(messageId) + " could not be moved to " + destName + ": " +
             e.what());
    }
    return -1;
  }
}

std::vector<std::pair<uint32_t, uint32_t>> ImapMailStore::MoveUids(
    const std::vector<uint32_t>& uids, int32_t destFolderId) {
  const Mailbox* dest = Find(destFolderId);
  const std::string destName = dest->name;
  const bool toSpam = dest->role == Role::kSpam;
  try {
    return Run([&] { return session_->Move(uids, destName); });
  } catch (const ImapError& refused) {
    // A spam folder that the user removed is made again for the next spam.
    if (!session_ || !toSpam)
      throw;
    try {
      Run([&] {
        session_->Create(destName);
        session_->Subscribe(destName);
      });
    } catch (const ImapError&) {
      if (!session_)
        throw;
      throw refused;  // it was there: the move was refused for another reason
    }
    return Run([&] { return session_->Move(uids, destName); });
  }
}

int32_t ImapMailStore::Moved(int32_t messageId, const MessageLocation& at, int32_t destFolderId,
                             MessageKey key, std::optional<uint32_t> newUid, int32_t placeholder) {
  ids_.Forget(messageId);
  if (const Mailbox* source = Find(at.folderId); source && source->role == Role::kSpam)
    spam_.Remove(at.uid);
  Mailbox* dest = Find(destFolderId);
  if (!newUid) {
    // Met again by its key when the destination is read next, which is soon.
    if (placeholder == 0)
      placeholder = ids_.PlaceholderId(destFolderId, dest->uidValidity);
    Expected(destFolderId).Put(key, placeholder);
    dest->dirty = true;
    ScheduleSync();
    return placeholder;
  }
  Expected(destFolderId).Take(key);
  expectedUids_[UidKey(destFolderId, *newUid)] = key;
  if (dest->role == Role::kSpam)
    spam_.Add(*newUid, key);  // the user may move it out again before spam is looked at
  if (placeholder == 0)
    return ids_.MessageId(destFolderId, dest->uidValidity, *newUid);
  ids_.Bind(placeholder, *newUid);
  return placeholder;
}

void ImapMailStore::CarryOutMoves() {
  const std::vector<PendingMove> moves = std::exchange(pendingMoves_, {});
  const Mailbox* spam = SpamBox();
  if (moves.empty() || spam == nullptr)
    return;
  const int32_t spamId = spam->folderId;
  try {
    std::vector<uint32_t> uids;
    for (const PendingMove& move : moves)
      uids.push_back(move.from.uid);
    std::sort(uids.begin(), uids.end());
    Run([&] { Use(*Find(moves.front().from.folderId)); });
    const auto moved = MoveUids(uids, spamId);
    const std::unordered_map<uint32_t, uint32_t> newUids(moved.begin(), moved.end());
    for (const PendingMove& move : moves) {
      const auto newUid = newUids.find(move.from.uid);
      Moved(move.messageId, move.from, spamId, move.key,
            newUid == newUids.end() ? std::nullopt : std::optional<uint32_t>(newUid->second),
            move.placeholder);
    }
  } catch (const ImapError&) {
    for (const PendingMove& move : moves) {
      if (!session_) {
        cutOff_.push_back(move.from);  // judged again after the reconnect if still there
        continue;
      }
      // Refused as a whole: one by one, so that a refusal costs only its own message, which is
      // judged again when the mail client starts next.
      Expected(spamId).Take(move.key);
      if (MoveNow(move.from, move.messageId, spamId) == -1)
        againAtActivation_.push_back(move.from);
    }
  }
}

RecentKeys<int32_t>& ImapMailStore::Expected(int32_t folderId) {
  return expectedKeys_.try_emplace(folderId, kExpectedMoves).first->second;
}

std::string ImapMailStore::FetchHeader(int32_t messageId) {
  if (const auto cached = headers_.find(messageId); cached != headers_.end())
    return cached->second;
  const std::optional<MessageLocation> at = ids_.Find(messageId);
  Mailbox* box = at ? Find(at->folderId) : nullptr;
  if (box == nullptr || at->uid == 0 || at->uidValidity != box->uidValidity)
    throw MessageGone("message " + std::to_string(messageId) + " is gone from the account");
  Use(*box);
  std::vector<FetchedHeader> headers = session_->FetchHeaders(at->uid, at->uid);
  if (headers.empty())
    throw MessageGone("message " + std::to_string(messageId) + " is gone from " + box->name);
  return WithoutBlankLine(std::move(headers.front().header));
}

bool ImapMailStore::Holds(int32_t folderId, int32_t messageId) {
  if (headers_.contains(messageId))
    return true;  // fetched a moment ago, and announced
  const std::optional<MessageLocation> at = ids_.Find(messageId);
  Mailbox* box = Find(folderId);
  if (!at || at->folderId != folderId || at->uid == 0 || box == nullptr ||
      at->uidValidity != box->uidValidity)
    return false;
  Use(*box, kFresh);
  return !session_->SearchUids(at->uid, at->uid).empty();
}

bool ImapMailStore::MessageExists(int32_t folderId, int32_t messageId) {
  try {
    return Run([&] { return Holds(folderId, messageId); });
  } catch (const ImapError&) {
    return false;
  }
}

std::string ImapMailStore::Headers(int32_t folderId, int32_t messageId) {
  const std::optional<MessageLocation> at = ids_.Find(messageId);
  if (!at || at->folderId != folderId)
    throw MessageGone("message " + std::to_string(messageId) + " is not in folder " +
                      std::to_string(folderId));
  try {
    return Run([&] { return FetchHeader(messageId); });
  } catch (const ImapError& error) {
    throw MessageUnreadable("could not read message " + std::to_string(messageId) + ": " +
                            error.what());
  }
}

std::string ImapMailStore::Content(int32_t folderId, int32_t messageId) {
  const std::optional<MessageLocation> at = ids_.Find(messageId);
  Mailbox* box = Find(folderId);
  if (!at || at->folderId != folderId || at->uid == 0 || box == nullptr ||
      at->uidValidity != box->uidValidity)
    throw MessageGone("message " + std::to_string(messageId) + " is gone from the account");
  std::optional<std::string> text;
  try {
    text = Run([&] {
      Use(*box);
      return session_->FetchText(at->uid);
    });
  } catch (const ImapError& error) {
    throw MessageUnreadable("could not read message " + std::to_string(messageId) + ": " +
                            error.what());
  }
  if (!text)
    throw MessageGone("message " + std::to_string(messageId) + " is gone from " + box->name);
  return std::move(*text);
}

std::vector<uint32_t> ImapMailStore::WalkUids(int32_t folderId) {
  Mailbox* box = Find(folderId);
  if (box == nullptr)
    return {};
  try {
    return Run([&] {
      Use(*box, kFresh);
      return session_->SearchUids(1);
    });
  } catch (const ImapError&) {
    return {};
  }
}

std::vector<ImapMailStore::WalkedMessage> ImapMailStore::WalkSlice(
    int32_t folderId, const std::vector<uint32_t>& uids) {
  Mailbox* box = Find(folderId);
  if (box == nullptr || uids.empty())
    return {};
  try {
    return Run([&] {
      Use(*box);
      std::vector<WalkedMessage> messages;
      for (FetchedHeader& header : session_->FetchHeaders(uids.front(), uids.back())) {
        if (std::binary_search(uids.begin(), uids.end(), header.uid))
          messages.push_back({ids_.MessageId(folderId, box->uidValidity, header.uid),
                              WithoutBlankLine(std::move(header.header))});
      }
      return messages;
    });
  } catch (const ImapError&) {
    return {};
  }
}

// What the mail client's user sees.

bool ImapMailStore::HasFolder(int32_t folderId) {
  return Find(folderId) != nullptr;
}

std::vector<FolderSummary> ImapMailStore::Folders() {
  return Run([&] {
    ListMailboxes();
    std::vector<FolderSummary> folders;
    for (Mailbox& box : mailboxes_) {
      const MailboxState state = Look(box);
      folders.push_back({box.folderId, *FolderName(box.folderId),
                         static_cast<int32_t>(state.messages), std::string()});
    }
    if (active_)
      ScheduleSync();
    return folders;
  });
}

std::optional<std::vector<MessageSummary>> ImapMailStore::Messages(int32_t folderId) {
  Mailbox* box = Find(folderId);
  if (box == nullptr)
    return std::nullopt;
  return Run([&] {
    Use(*box, kFresh);
    const std::vector<uint32_t> uids = session_->SearchUids(1);
    ids_.KeepOnly(folderId, box->uidValidity, uids);
    std::vector<MessageSummary> messages;
    for (size_t i = 0; i < uids.size(); i += options_.batch) {
      const size_t end = std::min(uids.size(), i + options_.batch);
      for (const FetchedHeader& header : session_->FetchHeaders(uids[i], uids[end - 1])) {
        messages.push_back({ids_.MessageId(folderId, box->uidValidity, header.uid),
                            FirstMailboxAddress(HeaderFieldValue(header.header, "From")),
                            DecodeHeaderText(HeaderFieldValue(header.header, "Subject"))});
      }
    }
    return messages;
  });
}

bool ImapMailStore::HasMessage(int32_t folderId, int32_t messageId) {
  return Run([&] { return Holds(folderId, messageId); });
}

std::optional<int32_t> ImapMailStore::FindMessageId(int32_t folderId, std::string_view messageId) {
  Mailbox* box = Find(folderId);
  if (box == nullptr || messageId.empty())
    return std::nullopt;
  return Run([&]() -> std::optional<int32_t> {
    Use(*box, kFresh);
    for (const uint32_t uid : session_->SearchHeader("Message-ID", messageId)) {
      const std::vector<FetchedHeader> headers = session_->FetchHeaders(uid, uid);
      if (!headers.empty() && MessageIdField(headers.front().header) == messageId)
        return ids_.MessageId(folderId, box->uidValidity, uid);
    }
    return std::nullopt;
  });
}

}  // namespace tervane::imap
