#ifndef TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_
#define TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "mailapi/oe_server.h"

namespace tervane {

// The client components of the mail client's extension server, as the main window holds them.
// Each is made with the server it talks to; connecting subscribes to the server's events,
// binding to the events of an object the server handed out. A disconnected or unbound component
// delivers no events. Events are Qt signals raised on the main thread.
// REQUIRES: the server outlives the components.

// Announces the mail client's start and end.
class TOEAPIInit : public QObject, private IOEEvents {
  Q_OBJECT

 public:
  explicit TOEAPIInit(IOEServer& server, QObject* parent = nullptr)
      : QObject(parent), server_(server) {}
  ~TOEAPIInit() override;

  // Nothing happens when already connected. When the mail client already runs, OnInitOEAPI
  // follows from the event loop.
  void Connect();
  void Disconnect();
  bool IsConnected() const { return connected_; }

 signals:
  void OnInitOEAPI();
  void OnShutdownOEAPI();

 private:
  void InitOEAPI() override;
  void ShutdownOEAPI() override { emit OnShutdownOEAPI(); }

  IOEServer& server_;
  bool connected_ = false;
};

// The message store. Every operation connects the component first when it is not connected.
class TOEFolderManager : public QObject, public IOEFolderManager, private IOEEvents {
  Q_OBJECT

 public:
  explicit TOEFolderManager(IOEServer& server, QObject* parent = nullptr)
      : QObject(parent), server_(server) {}
  ~TOEFolderManager() override;

  // Nothing happens when already connected.
  void Connect();
  // No new-message event arrives after this.
  void Disconnect();
  bool IsConnected() const { return connected_; }

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
  // The user moved a message into or out of the spam folder with a mail client of their own.
  void OnMessageMoved(int32_t fromFolderId, int32_t toFolderId, int32_t messageId);

 private:
  void NewMessage(int32_t folderId, int32_t newMsgId) override {
    emit OnNewMessage(folderId, newMsgId);
  }
  void MessageMoved(int32_t fromFolderId, int32_t toFolderId, int32_t messageId) override {
    emit OnMessageMoved(fromFolderId, toFolderId, messageId);
  }
  IOEFolderManager& Store();

  IOEServer& server_;
  std::unique_ptr<IOEFolderManager> store_;
  bool connected_ = false;
};

// The mail client's toolbar and selection. Connects at its first call; raises no events.
class TOEAPIObj : public QObject, public IOEAPIObj {
  Q_OBJECT

 public:
  explicit TOEAPIObj(IOEServer& server, QObject* parent = nullptr)
      : QObject(parent), server_(server) {}
  ~TOEAPIObj() override;

  bool IsConnected() const { return api_ != nullptr; }

  std::unique_ptr<IOEToolbar> GetToolbar() override;
  void RemoveToolbars() override;
  int32_t GetSelectedFolderID() override;
  int32_t GetFirstSelectedMessageID() override;
  int32_t GetNextSelectedMessageID() override;

 private:
  IOEAPIObj& Api();

  IOEServer& server_;
  std::unique_ptr<IOEAPIObj> api_;
};

// A toolbar the server handed out; raises OnButtonClicked for clicks on its buttons.
class TOEToolbar : public QObject, private IOEEvents {
  Q_OBJECT

 public:
  explicit TOEToolbar(IOEServer& server, QObject* parent = nullptr)
      : QObject(parent), server_(server) {}
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
  void ButtonClicked(int32_t toolbarId, int32_t buttonId) override;

  IOEServer& server_;
  std::unique_ptr<IOEToolbar> toolbar_;
  int32_t toolbarId_ = 0;
};

// A toolbar button the server handed out; raises OnClick when it is clicked.
class TOEButton : public QObject, private IOEEvents {
  Q_OBJECT

 public:
  explicit TOEButton(IOEServer& server, QObject* parent = nullptr)
      : QObject(parent), server_(server) {}
  ~TOEButton() override;

  // Binds to button, replacing any earlier binding; null unbinds.
  void Bind(std::unique_ptr<IOEButton> button);
  bool IsBound() const { return button_ != nullptr; }

 signals:
  void OnClick();

 private:
  void ButtonClicked(int32_t toolbarId, int32_t buttonId) override;

  IOEServer& server_;
  std::unique_ptr<IOEButton> button_;
  int32_t buttonId_ = 0;
};

}  // namespace tervane

#endif  // TERVANE_MAILCLIENT_MAIL_CLIENT_COMPONENTS_H_
