#include "imapstore/imap_session.h"

#include <arpa/inet.h>
#include <libetpan/libetpan.h>
#include <openssl/crypto.h>
#include <strings.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "base/c_owned.h"
#include "imapstore/certificate_check.h"
#include "imapstore/imap_address.h"
#include "imapstore/loopback_address.h"
#include "imapstore/mailbox_name.h"
#include "imapstore/sigpipe_guard.h"

namespace tervane::imap {
namespace {

// libetpan's results and arguments, freed by their own functions.
using Set = COwned<mailimap_set, mailimap_set_free>;
using FetchList = COwned<clist, mailimap_fetch_list_free>;

template <typename T, typename Function>
void ForEach(clist* list, Function function) {
  if (list == nullptr)
    return;
  for (clistiter* it = clist_begin(list); it != nullptr; it = clist_next(it))
    function(static_cast<T*>(clist_content(it)));
}

constexpr std::pair<Capability, const char*> kCapabilityNames[] = {
    {Capability::kMove, "MOVE"},     {Capability::kUidPlus, "UIDPLUS"},
    {Capability::kNotify, "NOTIFY"}, {Capability::kSpecialUse, "SPECIAL-USE"},
    {Capability::kIdle, "IDLE"},     {Capability::kCondStore, "CONDSTORE"}};

bool Succeeded(int r) {
  return r == MAILIMAP_NO_ERROR || r == MAILIMAP_NO_ERROR_AUTHENTICATED ||
         r == MAILIMAP_NO_ERROR_NON_AUTHENTICATED;
}

// What a libetpan result that is not the server's refusal means, or nullptr for a refusal.
const char* ConnectionFault(int r) {
  switch (r) {
    case MAILIMAP_ERROR_CONNECTION_REFUSED:
      return "cannot connect (refused, unreachable or no such host)";
    case MAILIMAP_ERROR_SSL:
      return "TLS handshake failed";
    case MAILIMAP_ERROR_STREAM:
      return "connection cut, or no answer within the timeout";
    case MAILIMAP_ERROR_PARSE:
      return "unreadable answer";
    case MAILIMAP_ERROR_FATAL:
      return "the server closed the connection";
    case MAILIMAP_ERROR_MEMORY:
      return "out of memory";
    default:
      return nullptr;
  }
}

std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

std::string Quoted(std::string_view mailbox) {
  return "\"" + std::string(mailbox) + "\"";
}

// The UIDs of a COPYUID or APPENDUID set, in its order; the set is freed.
std::vector<uint32_t> UidsOf(mailimap_set* set) {
  Set owned(set);
  std::vector<uint32_t> uids;
  ForEach<mailimap_set_item>(
      set == nullptr ? nullptr : set->set_list, [&](mailimap_set_item* item) {
        for (uint32_t uid = item->set_first; uid <= item->set_last && uid != 0; ++uid)
          uids.push_back(uid);
      });
  return uids;
}

// The set of uids, one item per run of consecutive ones.
Set SetOf(const std::vector<uint32_t>& uids) {
  Set set(mailimap_set_new_empty());
  for (size_t i = 0; i < uids.size();) {
    size_t end = i + 1;
    while (end < uids.size() && uids[end] == uids[end - 1] + 1)
      ++end;
    mailimap_set_add_interval(set.get(), uids[i], uids[end - 1]);
    i = end;
  }
  return set;
}

// One message of a FETCH answer.
struct FetchedItem {
  uint32_t uid = 0;
  uint32_t size = 0;
  bool seen = false;
  bool deleted = false;
  std::optional<std::string> body;
};

FetchedItem ReadFetched(mailimap_msg_att* attributes) {
  FetchedItem fetched;
  ForEach<mailimap_msg_att_item>(attributes->att_list, [&](mailimap_msg_att_item* item) {
    if (item->att_type == MAILIMAP_MSG_ATT_ITEM_DYNAMIC && item->att_data.att_dyn != nullptr) {
      ForEach<mailimap_flag_fetch>(item->att_data.att_dyn->att_list, [&](mailimap_flag_fetch* f) {
        if (f->fl_type != MAILIMAP_FLAG_FETCH_OTHER || f->fl_flag == nullptr)
          return;
        fetched.seen |= f->fl_flag->fl_type == MAILIMAP_FLAG_SEEN;
        fetched.deleted |= f->fl_flag->fl_type == MAILIMAP_FLAG_DELETED;
      });
      return;
    }
    if (item->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC || item->att_data.att_static == nullptr)
      return;
    const mailimap_msg_att_static* value = item->att_data.att_static;
    if (value->att_type == MAILIMAP_MSG_ATT_UID) {
      fetched.uid = value->att_data.att_uid;
    } else if (value->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE) {
      fetched.size = value->att_data.att_rfc822_size;
    } else if (value->att_type == MAILIMAP_MSG_ATT_BODY_SECTION) {
      const mailimap_msg_att_body_section* section = value->att_data.att_body_section;
      fetched.body = section->sec_body_part == nullptr
                         ? std::string()
                         : std::string(section->sec_body_part, section->sec_length);
    }
  });
  return fetched;
}

mailimap_flag* NewFlag(const std::string& name) {
  if (strcasecmp(name.c_str(), "\\Seen") == 0)
    return mailimap_flag_new_seen();
  if (strcasecmp(name.c_str(), "\\Deleted") == 0)
    return mailimap_flag_new_deleted();
  if (strcasecmp(name.c_str(), "\\Flagged") == 0)
    return mailimap_flag_new_flagged();
  if (strcasecmp(name.c_str(), "\\Answered") == 0)
    return mailimap_flag_new_answered();
  if (strcasecmp(name.c_str(), "\\Draft") == 0)
    return mailimap_flag_new_draft();
  return mailimap_flag_new_flag_keyword(::strdup(name.c_str()));
}

COwned<mailimap_flag_list, mailimap_flag_list_free> NewFlagList(
    const std::vector<std::string>& flags) {
  COwned<mailimap_flag_list, mailimap_flag_list_free> list(mailimap_flag_list_new_empty());
  for (const std::string& flag : flags)
    mailimap_flag_list_add(list.get(), NewFlag(flag));
  return list;
}

// Sets the TLS server name (SNI) to the host name passed as data.
void SetServerName(mailstream_ssl_context* context, void* hostName) {
  mailstream_ssl_set_server_name(context, static_cast<char*>(hostName));
}

bool IsIpAddress(const std::string& host) {
  unsigned char address[16];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

}  // namespace

bool MailboxEntry::Has(std::string_view attribute) const {
  return std::any_of(attributes.begin(), attributes.end(), [&](const std::string& a) {
    return a.size() == attribute.size() &&
           strncasecmp(a.data(), attribute.data(), attribute.size()) == 0;
  });
}

void ImapSession::Free::operator()(mailimap* imap) const {
  const SigpipeGuard guard;
  // Closed without a LOGOUT, which a server that stopped answering would hold up for the whole
  // timeout; the server ends the session all the same.
  if (imap->imap_stream != nullptr) {
    mailstream_close(imap->imap_stream);
    imap->imap_stream = nullptr;
  }
  mailimap_free(imap);
}

ImapSession::ImapSession(std::string_view url, std::string_view password,
                         const ConnectOptions& options)
    : imap_(mailimap_new(0, nullptr)) {
  const SigpipeGuard guard;
  const ImapAddress address = ParseImapAddress(url);
  host_ = address.host;
  if (!imap_)
    throw ImapError(host_ + ": out of memory");
  mailimap_set_timeout(imap_.get(), options.timeout.count());
  // SNI carries host names only.
  auto* setServerName = IsIpAddress(host_) ? nullptr : &SetServerName;
  if (address.implicitTls) {
    Check(mailimap_ssl_connect_with_callback(imap_.get(), host_.c_str(), address.port,
                                             setServerName, host_.data()),
          "connect to port " + std::to_string(address.port));
    VerifyCertificate(options.caFile);
  } else {
    Check(mailimap_socket_connect(imap_.get(), host_.c_str(), address.port),
          "connect to port " + std::to_string(address.port));
    ReadCapabilities();
    if (capabilities_.contains("STARTTLS")) {
      Check(mailimap_socket_starttls_with_callback(imap_.get(), setServerName, host_.data()),
            "STARTTLS");
      VerifyCertificate(options.caFile);
    } else {
      sockaddr_storage peer{};
      socklen_t length = sizeof peer;
      const int fd = mailstream_low_get_fd(mailstream_get_low(imap_->imap_stream));
      if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
          !IsLoopbackAddress(reinterpret_cast<sockaddr*>(&peer)))
        throw ImapError(host_ +
                        ": offers no STARTTLS, and a password goes without TLS only to this "
                        "machine (use imaps://)");
    }
  }
  std::string secret(password);
  const int r = mailimap_login(imap_.get(), address.user.c_str(), secret.c_str());
  OPENSSL_cleanse(secret.data(), secret.size());
  if (!Succeeded(r)) {
    const bool refused = ConnectionFault(r) == nullptr;
    const std::string message = Failure(r, "LOGIN as " + address.user);
    if (refused)
      throw ImapLoginRefused(message);
    throw ImapError(message);
  }
  ReadCapabilities();
}

ImapSession::~ImapSession() = default;

void ImapSession::VerifyCertificate(const std::string& caFile) {
  carray* chain = mailstream_get_certificate_chain(imap_->imap_stream);
  std::vector<std::string> der;
  for (unsigned i = 0; chain != nullptr && i < carray_count(chain); ++i) {
    const auto* certificate = static_cast<MMAPString*>(carray_get(chain, i));
    der.emplace_back(certificate->str, certificate->len);
  }
  if (chain != nullptr)
    mailstream_certificate_chain_free(chain);
  try {
    VerifyCertificateChain(der, host_, caFile);
  } catch (const ImapError&) {
    broken_ = true;
    throw;
  }
}

void ImapSession::ReadCapabilities() {
  mailimap_capability_data* data = nullptr;
  Check(mailimap_capability(imap_.get(), &data), "CAPABILITY");
  COwned<mailimap_capability_data, mailimap_capability_data_free> owned(data);
  capabilities_.clear();
  ForEach<struct mailimap_capability>(
      data->cap_list, [this](struct mailimap_capability* capability) {
        std::string name = capability->cap_type == MAILIMAP_CAPABILITY_AUTH_TYPE
                               ? std::string("AUTH=") + capability->cap_data.cap_auth_type
                               : std::string(capability->cap_data.cap_name);
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        capabilities_.insert(std::move(name));
      });
}

bool ImapSession::Has(Capability capability) const {
  for (const auto& [known, name] : kCapabilityNames) {
    if (known == capability)
      return capabilities_.contains(name);
  }
  return false;
}

void ImapSession::Check(int r, std::string_view command) {
  if (!Succeeded(r))
    throw ImapError(Failure(r, command));
}

std::string ImapSession::Failure(int r, std::string_view command) {
  std::string reason;
  if (const char* fault = ConnectionFault(r)) {
    broken_ = true;
    reason = fault;
  } else {
    reason = imap_->imap_response != nullptr ? OneLine(imap_->imap_response) : "refused";
  }
  return host_ + ": " + std::string(command) + ": " + reason;
}

SigpipeGuard ImapSession::Enter() const {
  if (broken_)
    throw ImapError(host_ + ": the connection failed earlier; connect again");
  if (idling_)
    throw ImapError(host_ + ": in IDLE; FinishIdle first");
  return {};
}

std::vector<MailboxEntry> ImapSession::List() {
  const SigpipeGuard guard = Enter();
  clist* result = nullptr;
  Check(mailimap_list(imap_.get(), "", "*", &result), "LIST");
  COwned<clist, mailimap_list_result_free> owned(result);
  std::vector<MailboxEntry> entries;
  ForEach<mailimap_mailbox_list>(result, [&entries](mailimap_mailbox_list* mailbox) {
    MailboxEntry entry{DecodeMailboxName(mailbox->mb_name), {}};
    const mailimap_mbx_list_flags* flags = mailbox->mb_flag;
    if (flags != nullptr && flags->mbf_type == MAILIMAP_MBX_LIST_FLAGS_SFLAG) {
      static constexpr const char* kSelectFlags[] = {nullptr, "\\Marked", "\\Noselect",
                                                     "\\Unmarked"};
      if (flags->mbf_sflag >= MAILIMAP_MBX_LIST_SFLAG_MARKED &&
          flags->mbf_sflag <= MAILIMAP_MBX_LIST_SFLAG_UNMARKED)
        entry.attributes.push_back(kSelectFlags[flags->mbf_sflag]);
    }
    if (flags != nullptr) {
      ForEach<mailimap_mbx_list_oflag>(flags->mbf_oflags, [&entry](mailimap_mbx_list_oflag* f) {
        entry.attributes.push_back(f->of_type == MAILIMAP_MBX_LIST_OFLAG_NOINFERIORS
                                       ? std::string("\\Noinferiors")
                                       : "\\" + std::string(f->of_flag_ext));
      });
    }
    entries.push_back(std::move(entry));
  });
  return entries;
}

void ImapSession::Create(std::string_view mailbox) {
  const SigpipeGuard guard = Enter();
  Check(mailimap_create(imap_.get(), EncodeMailboxName(mailbox).c_str()),
        "CREATE " + Quoted(mailbox));
}

void ImapSession::Subscribe(std::string_view mailbox) {
  const SigpipeGuard guard = Enter();
  Check(mailimap_subscribe(imap_.get(), EncodeMailboxName(mailbox).c_str()),
        "SUBSCRIBE " + Quoted(mailbox));
}

MailboxState ImapSession::Select(std::string_view mailbox) {
  const SigpipeGuard guard = Enter();
  Check(mailimap_select(imap_.get(), EncodeMailboxName(mailbox).c_str()),
        "SELECT " + Quoted(mailbox));
  const mailimap_selection_info* info = imap_->imap_selection_info;
  return {info->sel_uidvalidity, info->sel_uidnext, info->sel_exists};
}

MailboxState ImapSession::Status(std::string_view mailbox) {
  const SigpipeGuard guard = Enter();
  COwned<mailimap_status_att_list, mailimap_status_att_list_free> attributes(
      mailimap_status_att_list_new_empty());
  for (int attribute :
       {MAILIMAP_STATUS_ATT_MESSAGES, MAILIMAP_STATUS_ATT_UIDNEXT, MAILIMAP_STATUS_ATT_UIDVALIDITY})
    mailimap_status_att_list_add(attributes.get(), attribute);
  mailimap_mailbox_data_status* status = nullptr;
  Check(mailimap_status(imap_.get(), EncodeMailboxName(mailbox).c_str(), attributes.get(), &status),
        "STATUS " + Quoted(mailbox));
  COwned<mailimap_mailbox_data_status, mailimap_mailbox_data_status_free> owned(status);
  MailboxState state;
  ForEach<mailimap_status_info>(status->st_info_list, [&state](mailimap_status_info* info) {
    if (info->st_att == MAILIMAP_STATUS_ATT_MESSAGES)
      state.messages = info->st_value;
    else if (info->st_att == MAILIMAP_STATUS_ATT_UIDNEXT)
      state.uidNext = info->st_value;
    else if (info->st_att == MAILIMAP_STATUS_ATT_UIDVALIDITY)
      state.uidValidity = info->st_value;
  });
  return state;
}

std::vector<uint32_t> ImapSession::SearchUids(uint32_t first, uint32_t last, bool undeletedOnly) {
  const SigpipeGuard guard = Enter();
  COwned<mailimap_search_key, mailimap_search_key_free> key(
      mailimap_search_key_new_multiple_empty());
  mailimap_search_key_multiple_add(
      key.get(), mailimap_search_key_new_uid(mailimap_set_new_interval(first, last)));
  if (undeletedOnly)
    mailimap_search_key_multiple_add(
        key.get(),
        mailimap_search_key_new(MAILIMAP_SEARCH_KEY_UNDELETED, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, 0, nullptr, nullptr, nullptr));
  clist* result = nullptr;
  Check(mailimap_uid_search(imap_.get(), nullptr, key.get(), &result), "UID SEARCH");
  COwned<clist, mailimap_search_result_free> owned(result);
  std::vector<uint32_t> uids;
  ForEach<uint32_t>(result, [&](uint32_t* uid) {
    // "n:*" holds the highest UID even when that is below n.
    if (*uid >= first && (last == 0 || *uid <= last))
      uids.push_back(*uid);
  });
  std::sort(uids.begin(), uids.end());
  return uids;
}

std::vector<uint32_t> ImapSession::SearchHeader(std::string_view field, std::string_view value) {
  const SigpipeGuard guard = Enter();
  COwned<mailimap_search_key, mailimap_search_key_free> key(mailimap_search_key_new_header(
      ::strdup(std::string(field).c_str()), ::strdup(std::string(value).c_str())));
  clist* result = nullptr;
  Check(mailimap_uid_search(imap_.get(), "UTF-8", key.get(), &result), "UID SEARCH HEADER");
  COwned<clist, mailimap_search_result_free> owned(result);
  std::vector<uint32_t> uids;
  ForEach<uint32_t>(result, [&](uint32_t* uid) { uids.push_back(*uid); });
  std::sort(uids.begin(), uids.end());
  return uids;
}

std::vector<FetchedHeader> ImapSession::FetchHeaders(uint32_t first, uint32_t last) {
  const SigpipeGuard guard = Enter();
  COwned<mailimap_fetch_type, mailimap_fetch_type_free> type(
      mailimap_fetch_type_new_fetch_att_list_empty());
  for (mailimap_fetch_att* attribute :
       {mailimap_fetch_att_new_uid(), mailimap_fetch_att_new_rfc822_size(),
        mailimap_fetch_att_new_flags(),
        mailimap_fetch_att_new_body_peek_section(mailimap_section_new_header())})
    mailimap_fetch_type_new_fetch_att_list_add(type.get(), attribute);
  const Set set(mailimap_set_new_interval(first, last));
  clist* result = nullptr;
  Check(mailimap_uid_fetch(imap_.get(), set.get(), type.get(), &result), "UID FETCH");
  const FetchList owned(result);
  std::vector<FetchedHeader> headers;
  ForEach<mailimap_msg_att>(result, [&](mailimap_msg_att* attributes) {
    FetchedItem item = ReadFetched(attributes);
    // Skips flag news of other messages, and the highest UID that "n:*" holds below n.
    if (!item.body || item.uid < first || (last != 0 && item.uid > last))
      return;
    headers.push_back({item.uid, item.size, item.seen, item.deleted, std::move(*item.body)});
  });
  std::sort(headers.begin(), headers.end(),
            [](const FetchedHeader& a, const FetchedHeader& b) { return a.uid < b.uid; });
  return headers;
}

std::optional<std::string> ImapSession::FetchSection(uint32_t uid, bool wholeMessage) {
  const SigpipeGuard guard = Enter();
  COwned<mailimap_fetch_type, mailimap_fetch_type_free> type(
      mailimap_fetch_type_new_fetch_att_list_empty());
  mailimap_fetch_type_new_fetch_att_list_add(type.get(), mailimap_fetch_att_new_uid());
  mailimap_fetch_type_new_fetch_att_list_add(
      type.get(), mailimap_fetch_att_new_body_peek_section(
                      wholeMessage ? mailimap_section_new(nullptr) : mailimap_section_new_text()));
  const Set set(mailimap_set_new_single(uid));
  clist* result = nullptr;
  Check(mailimap_uid_fetch(imap_.get(), set.get(), type.get(), &result), "UID FETCH");
  const FetchList owned(result);
  std::optional<std::string> body;
  ForEach<mailimap_msg_att>(result, [&](mailimap_msg_att* attributes) {
    FetchedItem item = ReadFetched(attributes);
    if (item.uid == uid && item.body)
      body = std::move(item.body);
  });
  return body;
}

std::optional<std::string> ImapSession::FetchText(uint32_t uid) {
  return FetchSection(uid, false);
}

std::optional<std::string> ImapSession::FetchMessage(uint32_t uid) {
  return FetchSection(uid, true);
}

std::vector<std::pair<uint32_t, uint32_t>> ImapSession::Move(const std::vector<uint32_t>& uids,
                                                             std::string_view target) {
  const SigpipeGuard guard = Enter();
  const std::string mailbox = EncodeMailboxName(target);
  const Set set = SetOf(uids);
  uint32_t uidValidity = 0;
  mailimap_set* source = nullptr;
  mailimap_set* destination = nullptr;
  if (Has(Capability::kMove)) {
    Check(mailimap_uidplus_uid_move(imap_.get(), set.get(), mailbox.c_str(), &uidValidity, &source,
                                    &destination),
          "UID MOVE to " + Quoted(target));
  } else {
    Check(mailimap_uidplus_uid_copy(imap_.get(), set.get(), mailbox.c_str(), &uidValidity, &source,
                                    &destination),
          "UID COPY to " + Quoted(target));
  }
  const std::vector<uint32_t> from = UidsOf(source);
  const std::vector<uint32_t> to = UidsOf(destination);
  if (!Has(Capability::kMove)) {
    COwned<mailimap_store_att_flags, mailimap_store_att_flags_free> deleted(
        mailimap_store_att_flags_new_add_flags_silent(NewFlagList({"\\Deleted"}).release()));
    Check(mailimap_uid_store(imap_.get(), set.get(), deleted.get()),
          "UID STORE +FLAGS (\\Deleted)");
    if (Has(Capability::kUidPlus))
      Check(mailimap_uid_expunge(imap_.get(), set.get()), "UID EXPUNGE");
  }
  std::vector<std::pair<uint32_t, uint32_t>> moved;
  for (size_t i = 0; i < from.size() && i < to.size(); ++i)
    moved.emplace_back(from[i], to[i]);
  return moved;
}

std::optional<uint32_t> ImapSession::Move(uint32_t uid, std::string_view target) {
  const std::vector<std::pair<uint32_t, uint32_t>> moved = Move(std::vector<uint32_t>{uid}, target);
  if (moved.empty())
    return std::nullopt;
  return moved.front().second;
}

std::optional<uint32_t> ImapSession::Append(std::string_view mailbox, std::string_view message,
                                            const std::vector<std::string>& flags) {
  const SigpipeGuard guard = Enter();
  auto flagList = NewFlagList(flags);
  uint32_t uidValidity = 0;
  uint32_t uid = 0;
  Check(mailimap_uidplus_append(imap_.get(), EncodeMailboxName(mailbox).c_str(), flagList.get(),
                                nullptr, message.data(), message.size(), &uidValidity, &uid),
        "APPEND to " + Quoted(mailbox));
  return uid != 0 ? std::optional<uint32_t>(uid) : std::nullopt;
}

bool ImapSession::StartIdle() {
  const SigpipeGuard guard = Enter();
  if (!Has(Capability::kIdle))
    throw ImapError(host_ + ": IDLE: not offered by the server");
  Check(mailimap_idle(imap_.get()), "IDLE");
  idling_ = true;
  return imap_->imap_stream->read_buffer_len > 0;
}

int ImapSession::IdleDescriptor() const {
  return mailimap_idle_get_fd(imap_.get());
}

MailboxEvents ImapSession::FinishIdle() {
  if (!idling_)
    throw ImapError(host_ + ": DONE: not in IDLE");
  idling_ = false;
  const SigpipeGuard guard = Enter();
  Check(mailimap_idle_done(imap_.get()), "DONE");
  return TakeEvents();
}

MailboxEvents ImapSession::Noop() {
  const SigpipeGuard guard = Enter();
  if (imap_->imap_selection_info != nullptr)
    imap_->imap_selection_info->sel_has_exists = 0;
  Check(mailimap_noop(imap_.get()), "NOOP");
  return TakeEvents();
}

void ImapSession::NotifyNewAndExpunged() {
  const SigpipeGuard guard = Enter();
  if (!Has(Capability::kNotify))
    throw ImapError(host_ + ": NOTIFY: not offered by the server");
  // libetpan has no NOTIFY of its own; the events it brings are the untagged EXISTS, EXPUNGE and
  // STATUS answers it reads anyway.
  Check(mailimap_custom_command(imap_.get(),
                                "NOTIFY SET (selected (MessageNew MessageExpunge)) "
                                "(personal (MessageNew MessageExpunge))"),
        "NOTIFY SET");
}

MailboxEvents ImapSession::TakeEvents() {
  MailboxEvents events;
  const mailimap_selection_info* selection = imap_->imap_selection_info;
  if (selection != nullptr && selection->sel_has_exists)
    events.exists = selection->sel_exists;
  if (const mailimap_response_info* response = imap_->imap_response_info) {
    ForEach<uint32_t>(response->rsp_expunged,
                      [&events](uint32_t* number) { events.expunged.push_back(*number); });
    ForEach<mailimap_msg_att>(response->rsp_fetch_list, [&events](mailimap_msg_att* attributes) {
      events.flagsChanged.push_back(attributes->att_number);
    });
  }
  return events;
}

}  // namespace tervane::imap
