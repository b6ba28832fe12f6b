#pragma once

#include <QDialog>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "service/core/service_controller.h"
#include "service/ui/notice_window.h"
#include "service/ui/qt_message_boxes.h"
#include "service/ui/window_listener.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace vornix {

inline constexpr int kTrayIconId = 202;  // also the tray menu's resource id
inline constexpr const char* kTrayTip = "Vornix Update Service";

// Dialog 129, the service's main window: the client id, the server settings, the buttons, the
// tray icon and the window socket. Every command, from a button, the tray menu or another
// process, goes through OnCommand.
class ServiceWindow : public QDialog, private CheckTimerPort {
  Q_OBJECT
 public:
  struct Options {
    MessageBoxes* boxes = nullptr;  // default: Qt message boxes owned by the window
    Notices* notices = nullptr;     // default: sliding notices
    std::function<long(const std::string&)> askServerTime;
    std::function<CheckOutcome(ServiceState&)> runPass;
    std::function<ClientIdentity()> readClientName;
    bool listen = true;  // open the window socket
  };

  explicit ServiceWindow(std::string serviceVersion);
  ServiceWindow(std::string serviceVersion, Options options);
  ~ServiceWindow() override;

  // Window initialisation: tray icon, identity, settings, the first check; then edits count.
  void Initialise();

  long OnCommand(int id);

  ServiceController& controller() { return *controller_; }
  const ServiceState& state() const { return controller_->state(); }
  QMenu* trayMenu() const { return trayMenu_; }
  bool trayIconAdded() const { return trayAdded_; }
  const QTimer& checkTimer() const { return checkTimer_; }
  WindowListener* listener() const { return listener_.get(); }
  // The About box of command 57664, while it is open.
  QDialog* aboutDialog() const { return about_; }

 signals:
  // The shutdown was confirmed: the window is gone and the loop should end with this code.
  void shutdownConfirmed(int exitCode);

 protected:
  void reject() override;  // Escape
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void StopCheckTimer() override;
  void StartCheckTimer(int periodMs) override;

  void BuildControls();
  void AddTrayIcon();
  void ShowSettings();
  void ShowAndRaise();
  void OpenAbout();
  void Apply();
  void Shutdown(std::optional<int> exitCode);
  void EditChanged();

  std::string serviceVersion_;
  Options options_;
  QtMessageBoxes qtBoxes_;
  NoticeLauncher noticeLauncher_;
  std::unique_ptr<ServiceController> controller_;
  QTimer checkTimer_;

  QLabel* clientId_ = nullptr;
  QLineEdit* url_ = nullptr;
  QCheckBox* useLocal_ = nullptr;
  QPushButton* apply_ = nullptr;

  QSystemTrayIcon* tray_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  bool trayAdded_ = false;
  std::unique_ptr<WindowListener> listener_;
  QPointer<QDialog> about_;
};

}  // namespace vornix
