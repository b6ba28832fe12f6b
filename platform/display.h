#pragma once

namespace vornix {

// Where nobody can see windows the programs run on Qt's offscreen platform: windows exist but
// nobody sees them. That is so when no display is named (neither DISPLAY nor WAYLAND_DISPLAY)
// and when the display named does not answer, for a program that cannot open its display
// must still do its work; a display that takes longer than `probeTimeoutMs` to answer counts as
// one that does not. A platform chosen with QT_QPA_PLATFORM is kept. Call before the
// QApplication is made (and before any thread starts). True when the offscreen platform was
// chosen.
inline constexpr int kDisplayProbeTimeoutMs = 3000;
bool ChooseOffscreenWithoutDisplay(int probeTimeoutMs = kDisplayProbeTimeoutMs);

}  // namespace vornix
