#ifndef TERVANE_IMAPSTORE_IMAP_SESSION_H_
#define TERVANE_IMAPSTORE_IMAP_SESSION_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imapstore/imap_error.h"
#include "imapstore/sigpipe_guard.h"

struct mailimap;

namespace tervane::imap {

// The IMAP extensions the store cares about.
enum class Capability { kMove, kUidPlus, kNotify, kSpecialUse, kIdle, kCondStore };

struct ConnectOptions {
  std::string caFile;                // trusted CAs (PEM); empty: the system's store
  std::chrono::seconds timeout{30};  // for connecting and for every command
};

struct MailboxEntry {
  std::string name;                     // UTF-8
  std::vector<std::string> attributes;  // as the server spelled them: "\\Sent", "\\Noselect"
  // Returns true iff the entry has attribute (compared without regard to case).
  bool Has(std::string_view attribute) const;
};

// What SELECT or STATUS tells of a mailbox (0 where the server did not say).
struct MailboxState {
  uint32_t uidValidity = 0;
  uint32_t uidNext = 0;
  uint32_t messages = 0;
};

struct FetchedHeader {
  uint32_t uid = 0;
  uint32_t size = 0;  // of the whole message
  bool seen = false;
  bool deleted = false;
  std::string header;  // up to and with the empty line
};

// News about the selected mailbox the server sent unasked (during IDLE or with NOOP).
struct MailboxEvents {
  std::optional<uint32_t> exists;      // the new number of messages
  std::vector<uint32_t> expunged;      // sequence numbers, in the order the server sent them
  std::vector<uint32_t> flagsChanged;  // sequence numbers of messages whose flags changed
  bool Empty() const { return !exists && expunged.empty() && flagsChanged.empty(); }
};

// One connection to an IMAP account, logged in, over libetpan's mailimap.
// Mailbox names are UTF-8 throughout (coded to and from modified UTF-7 here). Every command
// waits at most the timeout for the server. Every failure throws ImapError; after a failure of
// the connection itself (cut, timed out, unreadable answer) every further call throws at once.
// Not for use by two threads at once.
class ImapSession {
 public:
  // Connects to url ("imaps://user@host[:port]" or "imap://user@host[:port]", see
  // ParseImapAddress), checks the server's certificate (the system's CAs or options.caFile, and
  // the host name), logs in with password and reads the capabilities. An imap:// server that
  // offers no STARTTLS gets the password in plain text only when it is a loopback address. A
  // refused login throws ImapLoginRefused.
  ImapSession(std::string_view url, std::string_view password, const ConnectOptions& options = {});
  ~ImapSession();
  ImapSession(const ImapSession&) = delete;
  ImapSession& operator=(const ImapSession&) = delete;

  const std::string& host() const { return host_; }
  // False once the connection itself has failed (see above).
  bool usable() const { return !broken_; }
  // Returns true iff the server offers capability after login.
  bool Has(Capability capability) const;

  // Mailboxes: LIST "" "*", CREATE, SUBSCRIBE.
  std::vector<MailboxEntry> List();
  void Create(std::string_view mailbox);
  void Subscribe(std::string_view mailbox);

  // SELECT makes mailbox the selected one, on which the commands below work.
  MailboxState Select(std::string_view mailbox);
  // STATUS (MESSAGES UIDNEXT UIDVALIDITY) of any mailbox, without selecting it.
  MailboxState Status(std::string_view mailbox);

  // The UIDs in first..last (last 0: to the end) of the selected mailbox, ascending, in one UID
  // SEARCH; with undeletedOnly, only those not flagged \Deleted (on their way out). None when
  // the range lies above the highest UID (unlike IMAP's "n:*").
  std::vector<uint32_t> SearchUids(uint32_t first, uint32_t last = 0, bool undeletedOnly = false);
  // The UIDs of the selected mailbox's messages whose header field holds value (letter case
  // ignored, as IMAP's SEARCH HEADER matches), ascending.
  std::vector<uint32_t> SearchHeader(std::string_view field, std::string_view value);
  // The headers, sizes and flags of the messages in first..last (last 0: to the end), in UID
  // order, in one UID FETCH of BODY.PEEK[HEADER]: no message becomes \Seen.
  std::vector<FetchedHeader> FetchHeaders(uint32_t first, uint32_t last = 0);
  // BODY.PEEK[TEXT] (the body) or BODY.PEEK[] (the whole message) of one message, without
  // setting \Seen; nothing when the mailbox has no message uid (any more).
  std::optional<std::string> FetchText(uint32_t uid);
  std::optional<std::string> FetchMessage(uint32_t uid);

  // Moves the messages uids of the selected mailbox to target in one command each: UID MOVE
  // where offered, else UID COPY, UID STORE +FLAGS.SILENT (\Deleted) and, where UIDPLUS is
  // offered, UID EXPUNGE of those UIDs only. Never a plain EXPUNGE: a server with neither MOVE
  // nor UIDPLUS keeps the originals, flagged \Deleted, for its user's next expunge. Returns each
  // moved message's (old UID, UID in target) when the server tells them (COPYUID). A failed COPY
  // leaves the messages where they were.
  std::vector<std::pair<uint32_t, uint32_t>> Move(const std::vector<uint32_t>& uids,
                                                  std::string_view target);
  // The same for one message: its UID in target when the server tells it.
  std::optional<uint32_t> Move(uint32_t uid, std::string_view target);

  // APPENDs message to mailbox with flags ("\\Seen", "\\Deleted", keywords). Returns its UID
  // when the server tells it (APPENDUID).
  std::optional<uint32_t> Append(std::string_view mailbox, std::string_view message,
                                 const std::vector<std::string>& flags = {});

  // IDLE on the selected mailbox. REQUIRES: Has(Capability::kIdle) and not idling already.
  // StartIdle returns true iff news came with the server's go-ahead; otherwise wait until
  // IdleDescriptor is readable (or as long as the caller likes, below 29 minutes) and call
  // FinishIdle, which ends the IDLE (DONE) and returns what arrived. Only FinishIdle may follow
  // StartIdle.
  bool StartIdle();
  int IdleDescriptor() const;
  MailboxEvents FinishIdle();
  // NOOP: keeps the connection alive and returns what arrived since the last command.
  MailboxEvents Noop();

  // NOTIFY SET (RFC 5465): from now on new and expunged messages of the selected mailbox and of
  // every personal mailbox are told unasked, so that an IDLE wakes for them too. REQUIRES:
  // Has(Capability::kNotify).
  void NotifyNewAndExpunged();

 private:
  void VerifyCertificate(const std::string& caFile);
  void ReadCapabilities();
  // Throws ImapError for libetpan's result r of command unless r tells success.
  void Check(int r, std::string_view command);
  // The one-line message of libetpan's failed result r of command; marks the connection broken
  // when r is a fault of the connection rather than the server's refusal.
  std::string Failure(int r, std::string_view command);
  // Throws unless the connection is usable; returns the guard every command runs under.
  SigpipeGuard Enter() const;
  MailboxEvents TakeEvents();
  std::optional<std::string> FetchSection(uint32_t uid, bool wholeMessage);

  struct Free {
    void operator()(mailimap* imap) const;
  };
  std::unique_ptr<mailimap, Free> imap_;
  std::string host_;
  std::set<std::string> capabilities_;  // upper case
  bool broken_ = false;
  bool idling_ = false;
};

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_IMAP_SESSION_H_
