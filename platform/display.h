#pragma once

namespace vornix {

// With no display (neither DISPLAY nor WAYLAND_DISPLAY) and no QT_QPA_PLATFORM chosen, the
// programs run on Qt's offscreen platform: windows exist but nobody sees them. Call before the
// QApplication is made. True when the offscreen platform was chosen.
bool ChooseOffscreenWithoutDisplay();

// True when the programs run where nobody sees their windows.
bool RunningOffscreen();

}  // namespace vornix
