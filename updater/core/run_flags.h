#pragma once

namespace vornix {

// Process-wide results of the run: set by setups and updates, never reset during the run.
extern bool g_qoraxSetupStarted;
extern bool g_vornetSetupStarted;
extern bool g_changesMade;

// Clears the three flags; a process runs one pass, tests run many.
void ResetRunFlags();

}  // namespace vornix
