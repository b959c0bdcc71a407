#include "updater/reference_update.h"

#include <openssl/crypto.h>
#include <QFutureWatcher>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <climits>
#include <cstdio>
#include <exception>
#include <type_traits>
#include <variant>

#include "control/control_client.h"
#include "reflist/address_list.h"
#include "reflist/ed25519_keys.h"
#include "store/data_folder.h"
#include "store/filter_database.h"
#include "updater/installed_list.h"

namespace tervane {
namespace {

// A manifest is some 300 bytes; a longer answer is cut off as soon as it passes this.
constexpr qint64 kLongestManifest = 4 * 1024;
constexpr std::chrono::seconds kReopenTimeout(5);

std::string Megabytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

std::string ProgressText(const UpdateProgress& progress) {
  const std::string version = std::to_string(progress.version);
  switch (progress.stage) {
    case UpdateProgress::Stage::kAsking:
      return "Asking the maker's server for the newest reference list";
    case UpdateProgress::Stage::kDownloading:
      return "Downloading version " + version + ": " + Megabytes(progress.bytesReceived) +
             (progress.bytesTotal > 0 ? " of " + Megabytes(progress.bytesTotal) : "") + " MB";
    case UpdateProgress::Stage::kComparing:
      return "Comparing version " + version + " with your list";
    case UpdateProgress::Stage::kChecking:
      return "Checking version " + version + ": " + GroupedNumber(progress.addresses) +
             " addresses";
    case UpdateProgress::Stage::kWriting:
      return "Writing version " + version + ": " + GroupedNumber(progress.addresses) + " addresses";
    case UpdateProgress::Stage::kReopening:
      return "Asking the running filter to use version " + version;
  }
  return {};
}

ReferenceUpdate::ReferenceUpdate(UpdateSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {}

ReferenceUpdate::~ReferenceUpdate() = default;

void ReferenceUpdate::Start() {
  try {
    VerifyingKey::Load(settings_.publicKeyFile);
  } catch (const KeyError& e) {
    // Reported from the event loop, like every other end.
    QMetaObject::invokeMethod(
        this,
        [this, reason = std::string(e.what())] {
          Fail("no key to check the list with: " + reason);
        },
        Qt::QueuedConnection);
    return;
  }
  current_ = ReadReferenceListInfo(settings_.databaseFolder / kReferenceDatabaseFile);
  emit Progress(progress_);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    GiveUp("the maker's server " + settings_.server + " did not send the list within " +
           std::to_string(settings_.deadline.count()) + " seconds");
  });
  deadline_.start(settings_.deadline);
  QNetworkReply* reply = Get("/reference/latest");
  // Qt reads no more than this ahead, so a longer answer costs no memory before it is cut off.
  reply->setReadBufferSize(kLongestManifest + 1);
  connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
    if (reply->bytesAvailable() > kLongestManifest)
      GiveUp("the server's answer is too long to describe a reference list");
  });
  connect(reply, &QNetworkReply::finished, this, &ReferenceUpdate::ManifestArrived);
}

QNetworkReply* ReferenceUpdate::Get(const std::string& path) {
  QNetworkRequest request(QUrl(QString::fromStdString("http://" + settings_.server + path)));
  request.setTransferTimeout(static_cast<int>(settings_.timeout.count()));
  QNetworkReply* reply = network_.get(request);
  connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
  transfer_ = reply;
  return reply;
}

void ReferenceUpdate::GiveUp(const std::string& reason) {
  Fail(reason);
  if (transfer_) {
    transfer_->disconnect(this);
    transfer_->abort();
  }
}

std::optional<std::string> ReferenceUpdate::ReplyFailure(QNetworkReply* reply) const {
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  if (status.isValid() && status.toInt() != 200) {
    return "the maker's server answered " + std::to_string(status.toInt()) + " " +
           reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
  }
  const QNetworkReply::NetworkError error = reply->error();
  if (error == QNetworkReply::NoError)
    return std::nullopt;
  if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
    return "the maker's server " + settings_.server + " did not answer within " +
           std::to_string(
               std::chrono::duration_cast<std::chrono::seconds>(settings_.timeout).count()) +
           " seconds";
  }
  // The server closed a connection it had taken, or an answer that had begun stopped short.
  if (error == QNetworkReply::RemoteHostClosedError || status.isValid()) {
    return "the maker's server " + settings_.server + " broke off the transfer (" +
           reply->errorString().toStdString() + ")";
  }
  return "cannot reach the maker's server " + settings_.server + " (" +
         reply->errorString().toStdString() + ")";
}

void ReferenceUpdate::ManifestArrived() {
  auto* reply = qobject_cast<QNetworkReply*>(sender());
  if (const std::optional<std::string> failure = ReplyFailure(reply))
    return Fail(*failure);
  const QByteArray body = reply->read(kLongestManifest);
  const std::optional<ReleaseManifest> manifest =
      ParseManifestJson(std::string_view(body.constData(), static_cast<size_t>(body.size())));
  if (!manifest || manifest->version > INT32_MAX)
    return Fail("the server's answer does not describe a reference list");
  try {
    const VerifyingKey key = VerifyingKey::Load(settings_.publicKeyFile);
    if (!key.Verify(SignedBytes(manifest->version, manifest->sha256), manifest->signature))
      return Fail("signature does not match");
  } catch (const KeyError& e) {
    return Fail(std::string("no key to check the list with: ") + e.what());
  }
  manifest_ = *manifest;
  if (current_ && manifest_.version == current_->version)
    return CompareSameVersion();
  if (current_ && manifest_.version < current_->version) {
    return Fail("the server offers version " + std::to_string(manifest_.version) +
                ", older than your version " + std::to_string(current_->version));
  }

  progress_.stage = UpdateProgress::Stage::kDownloading;
  progress_.version = manifest_.version;
  emit Progress(progress_);
  // No list of the announced size can be longer than this; a longer answer is cut off early.
  const int64_t longest = manifest_.addressCount * static_cast<int64_t>(kMaxAddressBytes + 1);
  QNetworkReply* list = Get(ListPath(manifest_.version));
  connect(list, &QNetworkReply::downloadProgress, this,
          [this, longest](qint64 received, qint64 total) {
            if (received > longest)
              return GiveUp("the list is longer than announced");
            progress_.bytesReceived = received;
            progress_.bytesTotal = total > 0 ? total : 0;
            emit Progress(progress_);
          });
  connect(list, &QNetworkReply::finished, this, &ReferenceUpdate::ListArrived);
}

void ReferenceUpdate::ListArrived() {
  auto* reply = qobject_cast<QNetworkReply*>(sender());
  if (const std::optional<std::string> failure = ReplyFailure(reply))
    return Fail(*failure);
  deadline_.stop();  // the rest is this machine's own work
  const QByteArray body = reply->readAll();
  const std::string_view text(body.constData(), static_cast<size_t>(body.size()));
  if (Sha256Hex(text) != manifest_.sha256)
    return Fail("the list does not match its signed SHA-256 (forged or cut short)");
  size_t badLine = 0;
  std::optional<std::vector<std::string>> addresses = ParseAddressListText(text, &badLine);
  if (!addresses)
    return Fail("the list has an invalid line (line " + std::to_string(badLine) + ")");
  if (static_cast<int64_t>(addresses->size()) != manifest_.addressCount) {
    return Fail("the list holds " + GroupedNumber(static_cast<int64_t>(addresses->size())) +
                " addresses, not the " + GroupedNumber(manifest_.addressCount) + " announced");
  }
  progress_.stage = UpdateProgress::Stage::kChecking;
  progress_.addresses = static_cast<int64_t>(addresses->size());
  emit Progress(progress_);
  next_ = std::move(*addresses);
  if (settings_.acceptShrink || !current_ || current_->addresses == 0)
    return Install();
  progress_.stage = UpdateProgress::Stage::kComparing;
  emit Progress(progress_);
  // next_ is only read, on that thread, until the comparison is done.
  Background(
      [this, folder = settings_.databaseFolder] { return CompareWithInstalled(folder, next_); },
      [this](const ListChange& change) {
        if (!RemovesTooMany(change, settings_.maxShrinkPercent))
          return Install();
        Fail("version " + std::to_string(manifest_.version) + " would remove " +
             GroupedNumber(change.removed) + " of your " + GroupedNumber(change.installed) +
             " addresses, more than " + std::to_string(settings_.maxShrinkPercent) +
             " % (update --accept-shrink takes it all the same)");
      },
      "cannot read your list");
}

void ReferenceUpdate::CompareSameVersion() {
  deadline_.stop();  // the rest is this machine's own work
  const auto differs = [this] {
    Fail("the server's list of version " + std::to_string(manifest_.version) +
         " differs from your list of the same version");
  };
  if (manifest_.addressCount != current_->addresses)
    return differs();
  progress_.stage = UpdateProgress::Stage::kComparing;
  progress_.version = manifest_.version;
  emit Progress(progress_);
  Background([folder = settings_.databaseFolder] { return InstalledListSha256(folder); },
             [this, differs](const std::string& sha256) {
               if (sha256 != manifest_.sha256)
                 return differs();
               UpdateResult result;
               result.outcome = UpdateResult::Outcome::kUpToDate;
               result.version = manifest_.version;
               Finish(result);
             },
             "cannot read your list");
}

void ReferenceUpdate::Install() {
  progress_.stage = UpdateProgress::Stage::kWriting;
  emit Progress(progress_);
  Background(
      [folder = settings_.databaseFolder, list = std::move(next_),
       version = static_cast<int32_t>(manifest_.version)] {
        ReplaceReferenceDatabase(folder, list, version);
        return true;
      },
      [this](bool) {
        AskProgramToReopen();
        UpdateResult result;
        result.outcome = UpdateResult::Outcome::kUpdated;
        result.version = manifest_.version;
        result.addresses = manifest_.addressCount;
        if (current_)
          result.previousAddresses = current_->addresses;
        Finish(result);
      },
      "cannot write the new list");
}

template <typename Job, typename Done>
void ReferenceUpdate::Background(Job job, Done done, std::string what) {
  struct Failure {
    std::string reason;
  };
  using Outcome = std::variant<std::invoke_result_t<Job>, Failure>;
  auto* watcher = new QFutureWatcher<Outcome>(this);
  connect(watcher, &QFutureWatcherBase::finished, this,
          [this, watcher, done = std::move(done), what = std::move(what)] {
            watcher->deleteLater();
            Outcome outcome = watcher->future().takeResult();
            if (const auto* failure = std::get_if<Failure>(&outcome))
              return Fail(what + " (" + failure->reason + ")");
            done(std::get<0>(outcome));
          });
  watcher->setFuture(QtConcurrent::run(&pool_, [job = std::move(job)]() mutable -> Outcome {
    Outcome outcome = Failure{};
    try {
      outcome.template emplace<0>(job());
    } catch (const std::exception& e) {
      outcome = Failure{e.what()};
    }
    // The database library's cipher left OpenSSL state (a random generator) with this thread;
    // it goes now rather than with the thread.
    OPENSSL_thread_stop();
    return outcome;
  }));
}

void ReferenceUpdate::AskProgramToReopen() {
  progress_.stage = UpdateProgress::Stage::kReopening;
  emit Progress(progress_);
  try {
    ControlRequest reopen;
    reopen.command = ControlCommand::kReopenReference;
    Exchange(settings_.controlSocket, reopen, kReopenTimeout);
  } catch (const ControlNotRunning&) {
    // No program runs: it opens the new list when it starts.
  } catch (const std::exception& e) {
    emit Warning(QString("The running filter could not switch to the new list (%1); it will use "
                         "it from the mail client's next start.")
                     .arg(QString::fromStdString(e.what())));
  }
}

void ReferenceUpdate::Fail(const std::string& reason) {
  UpdateResult result;
  result.outcome = UpdateResult::Outcome::kFailed;
  result.reason = reason;
  Finish(result);
}

void ReferenceUpdate::Finish(UpdateResult result) {
  if (finished_)
    return;
  finished_ = true;
  deadline_.stop();
  emit Finished(result);
}

}  // namespace tervane
