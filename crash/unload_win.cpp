#include "crash/crash_settings_win.h"
#include "exports/installer_exports.h"

namespace tarvish {

void OnModuleDetach(bool processEnding) {
  // At process exit the filter dies with the process; only an unload that
  // leaves the process running must take it back out.
  if (!processEnding) UninstallCrashHandler();
}

}  // namespace tarvish
