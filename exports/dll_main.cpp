#include <windows.h>

#include "exports/installer_exports.h"

// The crash handler is installed by a static initialiser (crash/), which the
// runtime runs before this function is first called.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) {
    // A null reserved pointer means FreeLibrary; non-null, process exit.
    tarvish::OnModuleDetach(reserved != nullptr);
  }
  return TRUE;
}
