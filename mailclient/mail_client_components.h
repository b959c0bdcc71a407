#ifndef TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_
#define TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "mailclient/extension_interface.h"

namespace tervane {

class ExtensionServer;

// The client components of the mail client's extension server, as the main window holds them.
// Connecting takes the process's running server, else a new one (ExtensionServer::RunningOrNew,
// which throws ExtensionError), and subscribes to its events; binding subscribes to the events
// of an object the server handed out. A disconnected or unbound component delivers no events.
// Events are Qt signals raised on the main thread's event loop.

// Announces the mail client's start and end.
class TOEAPIInit : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TOEAPIInit() override;

  // Nothing happens when already connected. When the mail client already runs, OnInitOEAPI
  // follows from the event loop.
  void Connect();
  void Disconnect();
  bool IsConnected() const { return server_ != nullptr; }

 signals:
  void OnInitOEAPI();
  void OnShutdownOEAPI();

 private:
  ExtensionServer* server_ = nullptr;
  QMetaObject::Connection init_;
  QMetaObject::Connection shutdown_;
};

// The message store. Every operation connects the component first when it is not connected.
class TOEFolderManager : public QObject, public IOEFolderManager {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TOEFolderManager() override;

  // Nothing happens when already connected.
  void Connect();
  // No new-message event arrives after this.
  void Disconnect();
  bool IsConnected() const { return server_ != nullptr; }

  void ActivateNotifications() override;
  std::unique_ptr<IOEFolder> GetInboxFolder() override;
  std::unique_ptr<IOEFolder> GetSentFolder() override;
  std::unique_ptr<IOEFolder> GetFolder(int32_t folderId) override;
  std::unique_ptr<IOEFolder> GetFirstFolder() override;
  std::unique_ptr<IOEFolder> GetNextFolder() override;
  int32_t CreateFolder(int32_t parentId, const std::string& name) override;
  int32_t MoveMessage(int32_t sourceFolderId, int32_t destFolderId, int32_t messageId) override;

 signals:
  void OnNewMessage(int32_t folderId, int32_t newMsgId);

 private:
  IOEFolderManager& Store();

  ExtensionServer* server_ = nullptr;
  std::unique_ptr<IOEFolderManager> store_;
  QMetaObject::Connection newMessage_;
};

// The mail client's toolbar and selection. Connects at its first call; raises no events.
class TOEAPIObj : public QObject, public IOEAPIObj {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TOEAPIObj() override;

  bool IsConnected() const { return api_ != nullptr; }

  std::unique_ptr<IOEToolbar> GetToolbar() override;
  void RemoveToolbars() override;
  int32_t GetSelectedFolderID() override;
  int32_t GetFirstSelectedMessageID() override;
  int32_t GetNextSelectedMessageID() override;

 private:
  IOEAPIObj& Api();

  std::unique_ptr<IOEAPIObj> api_;
};

// A toolbar the server handed out; raises OnButtonClicked for clicks on its buttons.
class TOEToolbar : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TOEToolbar() override;

  // Binds to toolbar, replacing any earlier binding; null unbinds.
  void Bind(std::unique_ptr<IOEToolbar> toolbar);
  void Disconnect() { Bind(nullptr); }
  bool IsBound() const { return toolbar_ != nullptr; }
  // Adds a button to the bound toolbar. Throws ExtensionError when unbound or refused.
  std::unique_ptr<IOEButton> CreateButton(const std::string& caption,
                                          const std::string& bitmapNormal,
                                          const std::string& bitmapOver);

 signals:
  void OnButtonClicked(int32_t buttonId);

 private:
  std::unique_ptr<IOEToolbar> toolbar_;
  QMetaObject::Connection clicked_;
};

// A toolbar button the server handed out; raises OnClick when it is clicked.
class TOEButton : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~TOEButton() override;

  // Binds to button, replacing any earlier binding; null unbinds.
  void Bind(std::unique_ptr<IOEButton> button);
  bool IsBound() const { return button_ != nullptr; }

 signals:
  void OnClick();

 private:
  std::unique_ptr<IOEButton> button_;
  QMetaObject::Connection clicked_;
};

}  // namespace tervane

#endif  // TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_
