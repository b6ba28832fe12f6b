#pragma once

#include <functional>

namespace vornix {

// Runs `work` on a thread of its own and waits for it while the calling (window) thread goes on
// answering its events: the tray menu opens and window commands are carried out meanwhile. It
// returns only once `work` has ended, also when the program was told to quit meanwhile (then
// without answering any more events).
void RunWhileAnswering(const std::function<void()>& work);

}  // namespace vornix
