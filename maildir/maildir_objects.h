#ifndef TERVANE_MAILDIR_MAILDIR_OBJECTS_H_
#define TERVANE_MAILDIR_MAILDIR_OBJECTS_H_

#include <memory>

#include "mailapi/extension_interface.h"

namespace tervane {

class MaildirStore;
class NewMailWatcher;

// A folder manager over store whose ActivateNotifications switches watcher on. It has its own
// folder walk. REQUIRES: store and watcher outlive it.
std::unique_ptr<IOEFolderManager> MakeFolderManager(MaildirStore& store, NewMailWatcher& watcher);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_OBJECTS_H_
