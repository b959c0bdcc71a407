#ifndef TERVANE_MAILAPI_EXTENSION_INTERFACE_H_
#define TERVANE_MAILAPI_EXTENSION_INTERFACE_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tervane {

// The mail client's extension server as the program calls it: its message store, toolbar and
// selection. Ids are the server's; "no object" is a null pointer and "no id" is -1. Texts are
// UTF-8. Objects handed out are owned by the caller and are held for one operation.

// Raised by an operation that the server refuses outright (a failing CreateButton).
class ExtensionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by a message's getters when the store no longer has the message: it was removed or
// moved away since it was handed out.
class MessageGone : public ExtensionError {
 public:
  using ExtensionError::ExtensionError;
};

// Raised by a message's getters when the store has the message but cannot read it now (out of
// file descriptors, no permission, an I/O error, a lost connection); what() is the store's
// reason, naming the message. Nothing may be concluded from such a message. New mail that could
// not be read is announced again as new, at the latest at the next ActivateNotifications.
class MessageUnreadable : public ExtensionError {
 public:
  using ExtensionError::ExtensionError;
};

// A message's text as the store holds it. Every getter throws MessageGone or MessageUnreadable
// rather than hand out a text it could not read: an empty text is an empty message.
class IOEMessage {
 public:
  virtual ~IOEMessage() = default;
  // The display name of the first To address, or empty.
  virtual std::string GetRecipientName() = 0;
  // The display name of the From address, or empty.
  virtual std::string GetSenderName() = 0;
  // All header lines, each with its line break, without the blank line that ends them.
  virtual std::string GetHeaders() = 0;
  // The body after the header section.
  virtual std::string GetContent() = 0;
};

class IOEFolder {
 public:
  virtual ~IOEFolder() = default;
  virtual int32_t GetID() = 0;
  // Walks the folder's messages; null at the end.
  virtual std::unique_ptr<IOEMessage> GetFirstMessage() = 0;
  virtual std::unique_ptr<IOEMessage> GetNextMessage() = 0;
  // The message with that id in this folder, or null.
  virtual std::unique_ptr<IOEMessage> GetMessage(int32_t messageId) = 0;
  virtual std::string GetName() = 0;
};

class IOEFolderManager {
 public:
  virtual ~IOEFolderManager() = default;
  // From now on every new message raises a new-message event.
  virtual void ActivateNotifications() = 0;
  virtual std::unique_ptr<IOEFolder> GetInboxFolder() = 0;
  // The folder of sent mail, or null when the store has none.
  virtual std::unique_ptr<IOEFolder> GetSentFolder() = 0;
  virtual std::unique_ptr<IOEFolder> GetFolder(int32_t folderId) = 0;
  // Walks every folder, the inbox first; null at the end.
  virtual std::unique_ptr<IOEFolder> GetFirstFolder() = 0;
  virtual std::unique_ptr<IOEFolder> GetNextFolder() = 0;
  // Creates a folder named name under parentId (0: the top level); returns its id or -1.
  virtual int32_t CreateFolder(int32_t parentId, const std::string& name) = 0;
  // Moves a message between folders; returns its id in the destination folder, or -1 when
  // nothing was moved.
  virtual int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) = 0;
};

class IOEButton {
 public:
  virtual ~IOEButton() = default;
  virtual int32_t GetID() = 0;
};

class IOEToolbar {
 public:
  virtual ~IOEToolbar() = default;
  virtual int32_t GetID() = 0;
  // Adds a button; throws ExtensionError when the server refuses it (an empty caption).
  virtual std::unique_ptr<IOEButton> CreateButton(const std::string& caption,
                                                  const std::string& bitmapNormal,
                                                  const std::string& bitmapOver) = 0;
};

class IOEAPIObj {
 public:
  virtual ~IOEAPIObj() = default;
  // The mail client's toolbar, or null.
  virtual std::unique_ptr<IOEToolbar> GetToolbar() = 0;
  // Removes every toolbar and button this client added.
  virtual void RemoveToolbars() = 0;
  // The folder the user is looking at, or -1.
  virtual int32_t GetSelectedFolderID() = 0;
  // Walks the selected messages; -1 when there is none or no more.
  virtual int32_t GetFirstSelectedMessageID() = 0;
  virtual int32_t GetNextSelectedMessageID() = 0;
};

}  // namespace tervane

#endif  // TERVANE_MAILAPI_EXTENSION_INTERFACE_H_
