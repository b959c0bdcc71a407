#include "shell/daily_reattach.h"

#include "extserver/extension_server.h"

namespace tervane {

DailyReattach::DailyReattach(ExtensionServer& server, std::chrono::milliseconds interval,
                             QObject* parent)
    : QObject(parent), server_(server) {
  timer_.setInterval(interval);
  connect(&timer_, &QTimer::timeout, this, &DailyReattach::Reattach);
  timer_.start();
}

void DailyReattach::Reattach() {
  // A mail client the user stopped stays stopped.
  if (!server_.IsMailClientRunning())
    return;
  server_.StopMailClient();
  server_.StartMailClient();
}

}  // namespace tervane
