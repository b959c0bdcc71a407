#include "tests/support/imap_test_mail.h"

#include <fstream>

namespace tervane::testing {
namespace {

std::string SubjectOf(const std::string& header) {
  const size_t start = header.find("Subject: ");
  if (start == std::string::npos)
    return {};
  return header.substr(start + 9, header.find('\r', start) - start - 9);
}

}  // namespace

std::string MailText(const std::string& sender, const std::string& subject,
                     const std::string& extraHeaders, const std::string& body) {
  static int count = 0;
  return "From: <" + sender + ">\r\nTo: <alice@home.example>\r\nSubject: " + subject +
         "\r\nMessage-ID: <" + std::to_string(++count) + "." + subject + "@test.example>\r\n" +
         extraHeaders + "\r\n" + body;
}

std::unique_ptr<imap::ImapSession> ConnectAs(const DovecotInstance& server,
                                             const DovecotInstance::User& user) {
  return std::make_unique<imap::ImapSession>(server.ImapsUrl(user), user.password,
                                             imap::ConnectOptions{server.caFile().string()});
}

std::vector<std::string> Subjects(imap::ImapSession& session, const std::string& mailbox) {
  session.Select(mailbox);
  std::vector<std::string> subjects;
  for (const imap::FetchedHeader& header : session.FetchHeaders(1)) {
    if (!header.deleted)
      subjects.push_back(SubjectOf(header.header));
  }
  return subjects;
}

bool MoveBySubject(imap::ImapSession& session, const std::string& from, const std::string& to,
                   const std::string& subject) {
  session.Select(from);
  for (const imap::FetchedHeader& header : session.FetchHeaders(1)) {
    if (SubjectOf(header.header) == subject) {
      session.Move(header.uid, to);
      return true;
    }
  }
  return false;
}

void WritePasswordFile(const std::filesystem::path& file, const std::string& password) {
  std::filesystem::remove(file);
  std::ofstream(file) << password << "\n";
  std::filesystem::permissions(
      file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace tervane::testing
