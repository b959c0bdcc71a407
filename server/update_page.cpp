#include "server/update_page.h"

#include <QLocale>
#include <QString>

namespace tervane {
namespace {

std::string Grouped(int64_t number) {
  return QLocale(QLocale::English).toString(static_cast<qlonglong>(number)).toStdString();
}

}  // namespace

std::string UpdatePageHtml(const std::optional<ReleaseManifest>& latest, int64_t reportCount) {
  std::string html =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
      "<title>Tervane Anti-Spam: Live Update</title></head>\n<body>\n"
      "<h1>Tervane Anti-Spam: the reference list</h1>\n";
  if (latest) {
    html += "<p>The newest reference list is version " + std::to_string(latest->version) +
            ", with " + Grouped(latest->addressCount) + " addresses of known spam senders.</p>\n";
  } else {
    html += "<p>No reference list has been published yet.</p>\n";
  }
  html += "<p>" + Grouped(reportCount) + " spam reports have been received.</p>\n";
  html +=
      "<h2>How to update</h2>\n"
      "<p>Click <b>Live Update</b> on the mail client's toolbar, or run <code>update</code> from "
      "the program folder. It fetches the newest list, checks its signature and its SHA-256, and "
      "puts it in place only when every check passed; your own white and black lists are not "
      "touched.</p>\n"
      "<p>Every message you mark as Spam is reported here: the sender's address and an MD5 digest "
      "of the message's text, never the text itself. An address joins the list once enough "
      "different people reported it with different messages; a whole domain joins once many "
      "different addresses of it were reported by several people, unless unrelated people have "
      "their mail there (free mail, Internet providers).</p>\n"
      "</body></html>\n";
  return html;
}

}  // namespace tervane
