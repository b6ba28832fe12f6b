#include "service/ui/service_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "common/activity_log.h"
#include "common/ui/answered_wait.h"
#include "common/ui/dialog_units.h"
#include "common/ui/qt_text.h"
#include "service/ui/about_dialog.h"
#include "service/ui/artwork.h"

namespace vornix {

namespace {
constexpr DialogRect kWindowSize{0, 0, 293, 84};
constexpr int kUrlEditLimit = 511;

template <typename W>
W* Place(W* widget, const char* id, const DialogRect& r, const DialogBaseUnits& base) {
  if (id) widget->setObjectName(id);
  widget->setGeometry(DialogToPixels(r, base));
  return widget;
}
}  // namespace

ServiceWindow::ServiceWindow(std::string serviceVersion)
    : ServiceWindow(std::move(serviceVersion), Options()) {}

ServiceWindow::ServiceWindow(std::string serviceVersion, Options options)
    : serviceVersion_(std::move(serviceVersion)), options_(std::move(options)), qtBoxes_(this) {
  ServiceController::Ports ports;
  ports.timer = this;
  ports.notices = options_.notices ? options_.notices : &noticeLauncher_;
  ports.boxes = options_.boxes ? options_.boxes : &qtBoxes_;
  ports.askServerTime = options_.askServerTime;
  ports.runPass = options_.runPass;
  ports.readClientName = options_.readClientName;
  ports.runTransfer = RunWhileAnswering;
  controller_ = std::make_unique<ServiceController>(std::move(ports));

  checkTimer_.setTimerType(Qt::PreciseTimer);
  connect(&checkTimer_, &QTimer::timeout, this, [this] { controller_->OnCheckTimerTick(); });

  setObjectName(QStringLiteral("129"));
  setWindowTitle(ToQString(kServiceWindowTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  setWindowIcon(ProgramIcon());
  BuildControls();
}

ServiceWindow::~ServiceWindow() {
  if (tray_) tray_->hide();  // the tray icon goes with the window
}

void ServiceWindow::BuildControls() {
  const DialogBaseUnits base = BaseUnitsOf(font());
  setFixedSize(DialogToPixels(kWindowSize, base).size());

  Place(new QLabel(QStringLiteral("Client ID:"), this), nullptr, {9, 7, 30, 8}, base);
  clientId_ = Place(new QLabel(QStringLiteral("LOCALHOST  127.0.0.1"), this), "1003",
                    {44, 7, 242, 10}, base);
  auto* urlLabel =
      Place(new QLabel(QStringLiteral("Local Server &URL"), this), nullptr, {9, 27, 81, 8}, base);
  url_ = Place(new QLineEdit(this), "1002", {93, 24, 193, 14}, base);
  url_->setMaxLength(kUrlEditLimit);
  urlLabel->setBuddy(url_);
  useLocal_ =
      Place(new QCheckBox(
                QStringLiteral(
                    "&Check to use Local Server for Updates (unchecked will use Vornix Server)"),
                this),
            "1001", {9, 44, 277, 10}, base);
  apply_ =
      Place(new QPushButton(QStringLiteral("&Apply Changes"), this), "1000", {9, 63, 63, 16}, base);
  apply_->setEnabled(false);
  auto* updateNow =
      Place(new QPushButton(QStringLiteral("Update &Now"), this), "1015", {115, 63, 63, 16}, base);
  auto* about =
      Place(new QPushButton(QStringLiteral("A&bout..."), this), "57664", {223, 63, 63, 16}, base);
  for (QPushButton* b : {apply_, updateNow, about}) b->setAutoDefault(false);

  connect(apply_, &QPushButton::clicked, this, [this] { OnCommand(kCommandApply); });
  connect(updateNow, &QPushButton::clicked, this, [this] { OnCommand(kCommandUpdateNow); });
  connect(about, &QPushButton::clicked, this, [this] { OnCommand(kCommandAbout); });
  connect(url_, &QLineEdit::textChanged, this, &ServiceWindow::EditChanged);
  connect(useLocal_, &QCheckBox::clicked, this, &ServiceWindow::EditChanged);
}

void ServiceWindow::Initialise() {
  // Centred in the work area, not shown.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  AddTrayIcon();
  if (options_.listen) {
    listener_ = std::make_unique<WindowListener>(kServiceWindowTitle,
                                                 [this](int id) { return OnCommand(id); });
    // Without it neither the utility nor vornixctl reaches the service: said, and it runs on.
    if (std::string why; !listener_->Listen(&why)) {
      SayProblem("Vornix takes no commands: " + why);
    }
  }
  clientId_->setText(ToQString(controller_->Identify()));
  controller_->LoadAndSaveSettings();
  ShowSettings();
  controller_->ArmStartupCheck();
  controller_->state().Initialising = false;
}

void ServiceWindow::AddTrayIcon() {
  trayMenu_ = new QMenu(this);
  trayMenu_->setObjectName(QStringLiteral("202"));
  const struct {
    const char* text;
    int id;
  } items[] = {{"&Open...", kCommandOpen},
               {"&About...", kCommandAbout},
               {nullptr, 0},
               {"E&xit", kCommandExit}};
  for (const auto& item : items) {
    if (!item.text) {
      trayMenu_->addSeparator();
      continue;
    }
    QAction* action = trayMenu_->addAction(ToQString(item.text));
    action->setData(item.id);
    const int id = item.id;
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  }
  // No default item is named, so the first one by position is the default.
  trayMenu_->setDefaultAction(trayMenu_->actions().first());

  // Where no notification area exists the icon is not added, and nothing is said.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  tray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tray_->setToolTip(ToQString(kTrayTip));
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) {
      OnCommand(trayMenu_->defaultAction()->data().toInt());
    }
  });
  tray_->show();
  trayAdded_ = true;
}

void ServiceWindow::ShowSettings() {
  url_->setText(ToQString(controller_->state().ServerUrl));
  useLocal_->setChecked(controller_->state().UseLocalServer);
}

void ServiceWindow::EditChanged() {
  if (!controller_->state().Initialising) apply_->setEnabled(true);
}

long ServiceWindow::OnCommand(int id) {
  switch (id) {
    case kCommandCancel:
      Shutdown(controller_->RequestShutdown(kExitCodeClose));
      break;
    case kCommandAbout:
      OpenAbout();
      break;
    case kCommandUpdateNow:
      controller_->UpdateNow();
      break;
    case kCommandExit:
      Shutdown(controller_->RequestShutdown(kExitCodeExit));
      break;
    case kCommandOpen:
      ShowAndRaise();
      break;
    case kCommandSilentExit:
      Shutdown(controller_->SilentShutdown());
      break;
    case kCommandApply:
      Apply();
      break;
    default:
      break;
  }
  return 0;
}

void ServiceWindow::Apply() {
  controller_->ApplyChanges(FromQString(url_->text()), useLocal_->isChecked());
  ShowSettings();  // a declined change brings the stored settings back
  apply_->setEnabled(false);
}

void ServiceWindow::ShowAndRaise() {
  if (!isVisible()) show();
  if (isMinimized()) {
    showNormal();
  } else {
    raise();
  }
  activateWindow();
}

void ServiceWindow::OpenAbout() {
  AboutDialog dialog(QApplication::activeWindow(), serviceVersion_,
                     controller_->state().DetectedApplications);
  about_ = &dialog;
  dialog.exec();
  about_ = nullptr;
}

void ServiceWindow::Shutdown(std::optional<int> exitCode) {
  if (!exitCode) return;
  if (listener_) listener_->Close();
  if (tray_) tray_->hide();
  hide();
  emit shutdownConfirmed(*exitCode);
}

void ServiceWindow::reject() {
  OnCommand(kCommandCancel);
}

void ServiceWindow::closeEvent(QCloseEvent* event) {
  event->ignore();  // the close box asks to shut the service down, it never just hides
  OnCommand(kCommandCancel);
}

void ServiceWindow::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized()) hide();
}

void ServiceWindow::StopCheckTimer() {
  checkTimer_.stop();
}

void ServiceWindow::StartCheckTimer(int periodMs) {
  checkTimer_.start(periodMs);
}

}  // namespace vornix
