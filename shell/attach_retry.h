#ifndef TERVANE_SHELL_ATTACH_RETRY_H_
#define TERVANE_SHELL_ATTACH_RETRY_H_

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace tervane {

// How often a program that stays detached after a failed attach tries again.
inline constexpr std::chrono::milliseconds kAttachRetryInterval = std::chrono::seconds(60);

// Tries a failed attach again while the program stays detached: every interval, and at once
// when asked (a click on the toolbar). The first attempt that succeeds ends the retrying; one
// that fails waits quietly for the next. Everything runs on the main thread's event loop.
class AttachRetry : public QObject {
  Q_OBJECT

 public:
  // attempt tries the attach and returns true on success; on failure it leaves the program
  // detached, as it found it, and reports nothing.
  AttachRetry(std::chrono::milliseconds interval, std::function<bool()> attempt,
              QObject* parent = nullptr);

  // Starts retrying (again, from a full interval).
  void Start();
  // Stops retrying: the mail client went away, or a new attach takes over.
  void Stop();
  bool active() const { return timer_.isActive(); }
  // While retrying, makes an attempt now. Returns true iff an attempt was made and succeeded.
  bool TryNow();

 private:
  QTimer timer_;
  std::function<bool()> attempt_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_ATTACH_RETRY_H_
