#include "shell/settings_command.h"

#include <stdexcept>

#include "shell/frmmain.h"

namespace tervane {

ProgramCommand SettingsCommand(TFrmmain& mainWindow) {
  return [&mainWindow](const QJsonObject&) {
    if (!mainWindow.IsAttached())
      throw std::runtime_error(
          "Tervane Anti-Spam is not attached to the mail client; its settings open while the "
          "mail client runs");
    mainWindow.Config1Click();
    return QJsonObject();
  };
}

}  // namespace tervane
