#ifndef TERVANE_IMAPSTORE_IMAP_MAIL_STORE_H_
#define TERVANE_IMAPSTORE_IMAP_MAIL_STORE_H_

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "imapstore/imap_ids.h"
#include "imapstore/imap_session.h"
#include "imapstore/mailbox_states.h"
#include "imapstore/password_source.h"
#include "imapstore/recent_keys.h"
#include "imapstore/secret.h"
#include "imapstore/spam_snapshot.h"
#include "mailapi/mail_store.h"

namespace tervane::imap {

class IdleWatcher;

struct ImapStoreOptions {
  std::string url;  // imaps://user@host[:port] or imap://user@host[:port] (STARTTLS)
  PasswordSource password;
  std::filesystem::path caFile;      // trusted besides the system's CAs; empty: the system's only
  std::filesystem::path stateFile;   // the mailboxes' progress (MailboxStatesFile)
  std::chrono::seconds timeout{20};  // connecting, and every command
  // How often other mailboxes are asked for news (STATUS) where the server offers no NOTIFY, and
  // the Inbox too where it offers no IDLE; with NOTIFY the longer interval keeps the connection
  // alive and finds new mailboxes.
  std::chrono::milliseconds pollInterval = std::chrono::seconds(30);
  std::chrono::milliseconds notifyPollInterval = std::chrono::minutes(5);
  // Reconnecting: the first wait, doubled at each failure up to the last; a refused login waits
  // at least loginRetry, since providers lock accounts that keep trying.
  std::chrono::milliseconds firstRetry = std::chrono::seconds(1);
  std::chrono::milliseconds lastRetry = std::chrono::minutes(5);
  std::chrono::milliseconds loginRetry = std::chrono::minutes(1);
  uint32_t batch = 500;  // headers fetched in one round trip
};

// What the store tells of its connection, for the user.
// An IMAP account as the extension server's mail store. Folders are the account's mailboxes,
// the Inbox ("INBOX", named "Inbox") first; ids are the program's own (ImapIds). Two
// connections: one for every command, one in IDLE on the Inbox (IdleWatcher), which with NOTIFY
// also wakes for the other mailboxes; without NOTIFY they are asked with STATUS now and then.
//
// New mail is what arrives with a UID above the last one judged in the Inbox or in a mailbox
// without a special use; per mailbox that UID and its UIDVALIDITY are kept in the state file, so
// mail that arrived while the program was away is new at the next connect, and a mailbox whose
// UIDVALIDITY changed starts afresh with nothing new. Headers come in batches (BODY.PEEK, so
// nothing becomes \Seen). The store's own moves are never new mail nor the user's moves: what
// the user moves into "spam" with another client is a UserMove (from the folder where it was
// judged when it has left it, else 0), and what leaves "spam" and turns up in another watched
// mailbox (by its Message-ID) is a UserMove out of spam; neither is judged.
//
// The spam of a batch of new mail is moved in one command once the batch has been announced: a
// MOVE costs the server about as much for 250 messages as for 5. The move the handler asked for
// is taken as done (the id handed out is the message's in "spam"); should the server refuse the
// batch, each message is moved alone, and one that is refused again is reported and judged again
// at the next activation.
//
// A failed connection is dropped and made again after a wait that doubles from seconds to
// minutes; each new cause is one line for the notice handler, and Status() tells it. A message
// whose move was cut off is judged again after the reconnect if it is still where it was.
// Lives on the main thread; every server call blocks it for at most the timeout.
class ImapMailStore : public QObject, public IMailStore {
  Q_OBJECT

 public:
  // Reads the password (keeping the process out of core dumps first) and the state file. Throws
  // PasswordError or ImapError (an unusable url) with a line for the user; connects only at Start.
  explicit ImapMailStore(ImapStoreOptions options);
  ~ImapMailStore() override;

  // Connects now; on failure tries again later, as after any failure.
  void Start();
  MailStoreStatus Status() const override;

  void SetNewMessageHandler(NewMessageHandler handler) override;
  void SetNoticeHandler(NoticeHandler handler) override;
  void SetUserMoveHandler(UserMoveHandler handler) override;
  std::unique_ptr<IOEFolderManager> NewFolderManager() override;
  void DeactivateNotifications() override;
  // A folder known now (the server is not asked).
  bool HasFolder(int32_t folderId) override;
  // These three ask the server; they throw ImapError when not connected or when it fails.
  std::vector<FolderSummary> Folders() override;
  std::optional<std::vector<MessageSummary>> Messages(int32_t folderId) override;
  bool HasMessage(int32_t folderId, int32_t messageId) override;
  // Asks the server to search (SEARCH HEADER), then checks the field of what it found.
  std::optional<int32_t> FindMessageId(int32_t folderId, std::string_view messageId) override;

  // For the folder views (imap_objects.h). None of these throws: what cannot be done while
  // disconnected or because the server failed gives nothing, -1 or an empty text.
  void ActivateNotifications();
  int32_t InboxId();
  // The mailbox marked \Sent, else the first of "Sent", "Sent Items", "Sent Messages"; -1 when
  // there is none, or while disconnected.
  int32_t SentId() const;
  // Every known folder, the Inbox first, then by name.
  std::vector<int32_t> FolderIds() const;
  // The folder's name for the user ("Inbox" for INBOX), or nothing for an unknown id.
  std::optional<std::string> FolderName(int32_t folderId) const;
  // Makes mailbox name (and subscribes it) unless it exists; while disconnected it is made at the
  // next connect. Returns its id, or -1 when the server refused.
  int32_t CreateFolder(const std::string& name);
  // Moves a message (see ImapSession::Move); returns its id in the destination or -1.
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId);
  // True iff the folder holds the message now (no question to the server for one just fetched).
  bool MessageExists(int32_t folderId, int32_t messageId);
  // The message's header section (its lines, without the blank line that ends it), its body as
  // the server returns it; empty when it cannot be had.
  std::string Headers(int32_t folderId, int32_t messageId);
  std::string Content(int32_t folderId, int32_t messageId);
  // A folder's messages in UID order, each with its header section, for a walk.
  struct WalkedMessage {
    int32_t id;
    std::string headers;
  };
  // The UIDs of the folder's messages now; empty when it cannot be had.
  std::vector<uint32_t> WalkUids(int32_t folderId);
  // The messages of the folder among uids (a slice of WalkUids), with their headers.
  std::vector<WalkedMessage> WalkSlice(int32_t folderId, const std::vector<uint32_t>& uids);

 private:
  enum class Role { kInbox, kPlain, kSpam, kUnwatched };
  struct Mailbox {
    std::string name;  // as the server names it (UTF-8)
    int32_t folderId = 0;
    Role role = Role::kUnwatched;
    bool sent = false;
    uint32_t uidValidity = 0;
    uint32_t lastUid = 0;
    bool dirty = false;            // may hold new mail
    std::vector<uint32_t> queued;  // new mail found and not taken yet, ascending
  };
  // How a message that turned up in a watched mailbox is taken.
  enum class Arrival { kOwnMove, kNew, kMovedIntoSpam, kMovedOutOfSpam, kFiled, kWait };
  struct DeleteLater {
    void operator()(QObject* object) const;
  };

  // Connecting and failing.
  void Connect();
  void Fail(const std::string& reason, bool loginRefused = false);
  void Notice(const std::string& text);
  // Runs call on the connection; a failure of the connection itself is Fail()ed before the
  // ImapError goes on. Throws ImapError when not connected.
  template <typename Call>
  auto Run(Call call) -> decltype(call());

  // The mailboxes.
  void ListMailboxes();
  // Brings box's UIDVALIDITY in line with state (STATUS or SELECT): a changed one starts afresh.
  void Reconcile(Mailbox& box, const MailboxState& state);
  // Takes what arrived in box below uidNext as the store's own moves when every UID of it is
  // one the server told for them; false, and nothing taken, when anything else came.
  bool TakeOwnArrivals(Mailbox& box, uint32_t uidNext);
  Mailbox* Find(int32_t folderId);
  const Mailbox* Find(int32_t folderId) const;
  Mailbox* SpamBox();
  // Selects box on the connection unless it is selected; fresh: with what other clients did
  // since the connection last looked.
  void Use(Mailbox& box, bool fresh = false);
  // What box holds now (STATUS, or SELECT again for the selected one), reconciled.
  MailboxState Look(Mailbox& box);
  void SaveStates();
  void LoadSpamSnapshot();

  // New mail and moves.
  void ScheduleSync();
  void Sync();
  // Looks at the mailboxes other than the Inbox (STATUS); those with news become dirty.
  void LookEverywhere();
  // Takes the next batch of the folder's new messages; true when more wait. The spam among them
  // is moved in one command once the batch has been announced (CarryOutMoves).
  bool TakeNewMail(int32_t folderId);
  bool AnnounceNewMail(int32_t folderId);
  // Moves one message now; its id in the destination, or -1 (reported).
  int32_t MoveNow(const MessageLocation& at, int32_t messageId, int32_t destFolderId);
  // Moves uids of the selected mailbox, making a missing spam folder again. Throws ImapError.
  std::vector<std::pair<uint32_t, uint32_t>> MoveUids(const std::vector<uint32_t>& uids,
                                                      int32_t destFolderId);
  // Notes a message the store moved, with its new UID when the server told it; returns its id in
  // the destination (placeholder, when one was handed out already).
  int32_t Moved(int32_t messageId, const MessageLocation& at, int32_t destFolderId, MessageKey key,
                std::optional<uint32_t> newUid, int32_t placeholder = 0);
  // Carries out the moves into spam asked for while a batch was announced; those the server
  // refuses are reported and judged again at the next activation.
  void CarryOutMoves();
  // The store's own moves into folderId whose new UID is not known yet.
  RecentKeys<int32_t>& Expected(int32_t folderId);
  Arrival Classify(Mailbox& box, uint32_t uid, MessageKey key, int32_t* fromFolder);
  // Finds what left the spam mailbox since the snapshot.
  void CheckSpamDepartures();
  void JudgeAgainWhatWasCutOff();
  int32_t FromFolderOf(MessageKey key);
  // The header lines of a message (cached when just fetched); empty when it is gone.
  std::string FetchHeader(int32_t messageId);
  // True iff folderId holds messageId now.
  bool Holds(int32_t folderId, int32_t messageId);

  const ImapStoreOptions options_;
  Secret password_;
  MailboxStates states_;
  NewMessageHandler newMessage_;
  UserMoveHandler userMove_;
  NoticeHandler notice_;

  std::unique_ptr<ImapSession> session_;
  std::unique_ptr<IdleWatcher, DeleteLater> watcher_;
  std::string selected_;  // the mailbox selected on session_
  QTimer retry_;
  QTimer poll_;
  std::chrono::milliseconds nextRetry_;
  std::chrono::steady_clock::time_point connectedAt_;
  bool readPasswordAgain_ = false;
  std::string problem_;

  ImapIds ids_;
  std::vector<Mailbox> mailboxes_;  // the Inbox first, then by name
  std::set<std::string> wanted_;    // mailboxes to make at the next connect
  bool active_ = false;             // new-message and user-move events go out
  bool syncScheduled_ = false;
  bool syncing_ = false;
  std::string lastRefusal_;
  bool lookEverywhere_ = false;
  bool listAgain_ = false;
  std::unordered_map<int32_t, std::string> headers_;  // fetched headers, by message id
  SpamSnapshot spam_;
  uint32_t spamLoadedFor_ = 0;                   // the UIDVALIDITY of spam when spam_ was read
  RecentKeys<bool> leftSpam_{1000};              // left spam, not yet found elsewhere
  RecentKeys<MessageLocation> judged_{20000};    // where each was judged
  std::map<uint64_t, MessageKey> expectedUids_;  // own moves by (folder, UID)
  std::unordered_map<int32_t, RecentKeys<int32_t>> expectedKeys_;  // own moves whose UID is unknown
  std::map<uint64_t, int> waits_;        // arrivals waiting for spam to settle
  std::vector<MessageLocation> cutOff_;  // moves cut off with the connection
  // A move into spam asked for while new mail was announced, with the id handed out for it.
  struct PendingMove {
    int32_t messageId;
    MessageLocation from;
    MessageKey key;
    int32_t placeholder;
  };
  int32_t announcing_ = 0;  // the folder whose new mail is being announced, or 0
  std::vector<PendingMove> pendingMoves_;
  std::vector<MessageLocation> againAtActivation_;  // moves the server refused
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_MAIL_STORE_H_
