#include "updater/core/run_flags.h"

namespace vornix {

bool g_qoraxSetupStarted = false;
bool g_vornetSetupStarted = false;
bool g_changesMade = false;

void ResetRunFlags() {
  g_qoraxSetupStarted = false;
  g_vornetSetupStarted = false;
  g_changesMade = false;
}

}  // namespace vornix
