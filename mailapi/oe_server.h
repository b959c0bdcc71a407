#ifndef TERVANE_MAILAPI_OE_SERVER_H_
#define TERVANE_MAILAPI_OE_SERVER_H_

#include <cstdint>
#include <memory>

#include "mailapi/extension_interface.h"

namespace tervane {

// What the mail client's extension server tells the clients subscribed to it (each client
// component raises it as its own On... event). Each client overrides the events it handles; the
// others do nothing. Raised on the thread that runs the server (the main thread).
class IOEEvents {
 public:
  virtual ~IOEEvents() = default;
  // The mail client has started.
  virtual void InitOEAPI() {}
  // The mail client is going away.
  virtual void ShutdownOEAPI() {}
  // A message arrived in a folder while notifications were active.
  virtual void NewMessage(int32_t /*folderId*/, int32_t /*newMsgId*/) {}
  // The user moved a message into or out of the spam folder with a mail client of their own
  // (see UserMove); fromFolderId is 0 when the store cannot tell where it came from.
  virtual void MessageMoved(int32_t /*fromFolderId*/, int32_t /*toFolderId*/,
                            int32_t /*messageId*/) {}
  // A button of one of the client's toolbars was clicked.
  virtual void ButtonClicked(int32_t /*toolbarId*/, int32_t /*buttonId*/) {}
};

// The mail client's extension server as its client components connect to it: fresh views of its
// store and of the mail client, its events, and whether the mail client runs.
class IOEServer {
 public:
  virtual ~IOEServer() = default;
  // A view of the store with its own folder walk. Valid while the server lives.
  virtual std::unique_ptr<IOEFolderManager> NewFolderManager() = 0;
  // The mail client's toolbar and selection, with its own selection walk.
  virtual std::unique_ptr<IOEAPIObj> NewAPIObj() = 0;
  virtual bool IsMailClientRunning() const = 0;
  // events hears every event from now until Unsubscribe; subscribing twice changes nothing. An
  // event handler may subscribe and unsubscribe clients: one unsubscribed during an event does
  // not hear it any more. REQUIRES: events outlives its subscription.
  virtual void Subscribe(IOEEvents& events) = 0;
  virtual void Unsubscribe(IOEEvents& events) = 0;
};

}  // namespace tervane

#endif  // TERVANE_MAILAPI_OE_SERVER_H_
