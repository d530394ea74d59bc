// Tarvish.dll: the exports the installer engine calls by name.
//
// Every export uses the stdcall convention with 32-bit arguments and is
// exported undecorated through the module definition file, except
// _GetActiveCP@0, which keeps its decorated name. GetACP has no code here:
// its export entry forwards to KERNEL32.GetACP.

#include <windows.h>

#include "exports/date_query.h"
#include "exports/installer_exports.h"

extern "C" {

int WINAPI ViseEntry(int, int, int) { return 0; }

int WINAPI IsAfter(int day, int month, int year) {
  return tarvish::IsOnOrAfter(tarvish::LocalToday(), day, month, year);
}

UINT WINAPI GetActiveCP() { return ::GetACP(); }

const char* WINAPI GetFileDescription(const char* path) {
  return tarvish::GetFileDescription(path);
}

int WINAPI CheckShortCutAndUpdateIfNecessary(
    const char* oldShortcutPath, char* expectedTarget, const char* newTarget,
    const char* newShortcutPath) {
  return tarvish::CheckShortCutAndUpdateIfNecessary(oldShortcutPath, expectedTarget,
                                                    newTarget, newShortcutPath);
}

int WINAPI ForceIconCacheRebuild() {
  return tarvish::ForceIconCacheRebuild();
}

int WINAPI UpdateFont(const char* faceName, const char* fileName,
                                            const char* sourceDir, const char* fontsDir) {
  return tarvish::UpdateFont(faceName, fileName, sourceDir, fontsDir);
}

}  // extern "C"
