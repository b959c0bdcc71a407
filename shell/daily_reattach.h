#ifndef TERVANE_SHELL_DAILY_REATTACH_H_
#define TERVANE_SHELL_DAILY_REATTACH_H_

#include <QObject>
#include <QTimer>
#include <chrono>

namespace tervane {

class ExtensionServer;

// How often a program that stays connected to its mail store detaches and attaches again.
inline constexpr std::chrono::milliseconds kReattachInterval = std::chrono::hours(24);

// For a mail store the program stays connected to (an IMAP account), whose mail client never
// ends: once every interval while the mail client runs, ends it and starts it again, so that the
// detach's work (the harvest of sent mail into the white list, the compaction) is done without a
// restart. Runs on the main thread's event loop.
class DailyReattach : public QObject {
  Q_OBJECT

 public:
  // REQUIRES: server outlives this.
  explicit DailyReattach(ExtensionServer& server,
                         std::chrono::milliseconds interval = kReattachInterval,
                         QObject* parent = nullptr);

 private:
  void Reattach();

  ExtensionServer& server_;
  QTimer timer_;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_DAILY_REATTACH_H_
