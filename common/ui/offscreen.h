#pragma once

namespace vornix {

// True when the program runs on Qt's offscreen platform, where nobody sees its windows: a
// message box then writes its text to standard error instead of waiting for a click.
bool RunningOffscreen();

// Offscreen, Qt's debug notes and its notes about what the platform cannot do (raise a window,
// size hints) say nothing to anyone: they are dropped. Every other warning, and Qt's critical
// and fatal messages, go to standard error (the journal, under systemd). Call before the
// QApplication is made.
void QuietenOffscreenPlatform();

}  // namespace vornix
