#ifndef TERVANE_EXTSERVER_CLIENT_OBJECTS_H_
#define TERVANE_EXTSERVER_CLIENT_OBJECTS_H_

#include <memory>

#include "mailapi/extension_interface.h"

namespace tervane {

class MailClientState;

// The mail client's toolbar and selection for one client component, with its own selection
// walk. REQUIRES: state outlives it.
std::unique_ptr<IOEAPIObj> MakeAPIObj(MailClientState& state);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_CLIENT_OBJECTS_H_
