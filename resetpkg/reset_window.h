#pragma once

#include <QMainWindow>

namespace vornix {

// The reset tool's window: title "VornixResetPkg", "Hello World!" centred on the top line, and
// the menus "&File" and "&Help", which are never in use because the tool has no message loop.
class ResetWindow : public QMainWindow {
  Q_OBJECT
 public:
  ResetWindow();
};

}  // namespace vornix
