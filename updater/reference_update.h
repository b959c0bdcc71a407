#ifndef TERVANE_UPDATER_REFERENCE_UPDATE_H_
#define TERVANE_UPDATER_REFERENCE_UPDATE_H_

// One run of update: brings the maker's newest signed reference list into ospam.mdb.
//  1. GET http://<server>/reference/latest: the manifest (reflist/release_manifest.h), a few
//     KiB at most; its signature is checked with the public key file before anything else is
//     fetched. The same version as the one in place ends the run: "Already up to date." when
//     the list in place is that version's list, a failure when it is not; an older one is
//     refused.
//  2. GET the version's list text; its SHA-256 must be the signed one, every line a listable
//     address in order, and the count the announced one. A list that would remove more than
//     maxShrinkPercent of the addresses in place is refused unless acceptShrink: a signed list
//     can still be the maker's mistake.
//  3. A new ospam.mdb is built beside the old one and renamed over it, only when every step
//     passed. Reading the list in place and writing the new one run on the update's own thread,
//     so a window stays responsive.
//  4. A program running on the control socket is asked to reopen its reference database.
// Steps 1 and 2 must end within the deadline, and every wait for the server's next bytes within
// the timeout. Every failure ends the run with ospam.mdb as it was and no temporary file left.
// REQUIRES: a running Qt event loop on the thread that calls Start.

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "reflist/release_manifest.h"
#include "store/reference_version.h"
#include "updater/update_result.h"

class QNetworkReply;

namespace tervane {

struct UpdateSettings {
  std::string server;                        // host[:port] of the maker's web server
  std::filesystem::path publicKeyFile;       // the program folder's update.pub
  std::filesystem::path databaseFolder;      // the folder that holds ospam.mdb
  std::filesystem::path controlSocket;       // the mail client's control socket (may be absent)
  std::chrono::milliseconds timeout{30000};  // the longest wait for the server's next bytes
  std::chrono::seconds deadline{300};        // the longest the server may take for everything
  int maxShrinkPercent = 50;  // the share of the addresses in place a version may remove
  bool acceptShrink = false;  // take a version that removes more all the same
};

// Where a run is, for a progress line or window.
struct UpdateProgress {
  enum class Stage { kAsking, kDownloading, kChecking, kComparing, kWriting, kReopening };
  Stage stage = Stage::kAsking;
  int64_t version = 0;        // known from kDownloading on
  int64_t bytesReceived = 0;  // kDownloading
  int64_t bytesTotal = 0;     // kDownloading: 0 while unknown
  int64_t addresses = 0;      // from kChecking on: the list's addresses
};

// The progress as one line of text, e.g. "Downloading version 42: 1.2 of 3.4 MB".
std::string ProgressText(const UpdateProgress& progress);

class ReferenceUpdate : public QObject {
  Q_OBJECT

 public:
  explicit ReferenceUpdate(UpdateSettings settings, QObject* parent = nullptr);
  ~ReferenceUpdate() override;

  // Starts the run; Finished comes exactly once, later, from the event loop.
  void Start();

 signals:
  void Progress(const tervane::UpdateProgress& progress);
  void Finished(const tervane::UpdateResult& result);
  // A step after the list was in place went wrong (the running program could not reopen it);
  // the update itself stands.
  void Warning(const QString& text);

 private:
  // Starts fetching path from the server; the reply is the transfer under way.
  QNetworkReply* Get(const std::string& path);
  // Fails with reason and stops the transfer under way.
  void GiveUp(const std::string& reason);
  void ManifestArrived();
  void ListArrived();
  // The server offers the version in place: up to date only if its list is the one in place.
  void CompareSameVersion();
  // Puts next_ in place.
  void Install();
  // Runs job on the update's own thread, then done(its result) on this one; when job throws,
  // fails with "<what> (<the error>)" instead.
  template <typename Job, typename Done>
  void Background(Job job, Done done, std::string what);
  void AskProgramToReopen();
  // The reason a reply failed, or nothing when it brought a 200 answer.
  std::optional<std::string> ReplyFailure(QNetworkReply* reply) const;
  void Fail(const std::string& reason);
  void Finish(UpdateResult result);

  UpdateSettings settings_;
  QNetworkAccessManager network_;
  std::optional<ReferenceListInfo> current_;
  ReleaseManifest manifest_;
  std::vector<std::string> next_;  // the checked list of manifest_
  UpdateProgress progress_;
  bool finished_ = false;
  QTimer deadline_;
  QPointer<QNetworkReply> transfer_;
  // The update's own thread: it has ended once the update is destroyed (last, so first).
  QThreadPool pool_;
};

}  // namespace tervane

#endif  // TERVANE_UPDATER_REFERENCE_UPDATE_H_
