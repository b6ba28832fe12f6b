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

void DropNotesOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  const bool note = type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg;
  if (note && OffscreenPlatform()) return;
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
