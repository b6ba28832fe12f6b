#pragma once

namespace vornix {

// True when the program runs on Qt's offscreen platform, where nobody sees its windows: a
// message box then writes its text to standard error instead of waiting for a click.
bool RunningOffscreen();

// Offscreen, Qt's own notes about what the platform cannot do (raise a window, size hints)
// and about the session (no runtime folder) say nothing to anyone: they are dropped. Qt's
// critical and fatal messages still go to standard error. Call before the QApplication is made.
void QuietenOffscreenPlatform();

}  // namespace vornix
