#include "common/ui/offscreen.h"

#include <QGuiApplication>
#include <QtGlobal>

namespace vornix {

namespace {

QtMessageHandler g_previousHandler = nullptr;

// Before the platform is up its name is not known yet; the choice made for it is.
bool OffscreenPlatform() {
  const QString name = QGuiApplication::platformName();
  if (!name.isEmpty()) return name == QLatin1String("offscreen");
  return qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen");
}

// Offscreen, what the platform cannot do (raise a window, pass size hints) is no news; every
// other warning is, and goes on to standard error: the journal, under systemd.
void DropNotesOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (OffscreenPlatform()) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support")))
      return;
  }
  if (g_previousHandler) g_previousHandler(type, context, text);
}

}  // namespace

bool RunningOffscreen() {
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

void QuietenOffscreenPlatform() {
  g_previousHandler = qInstallMessageHandler(DropNotesOffscreen);
}

}  // namespace vornix
