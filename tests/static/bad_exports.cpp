// Stand-ins for the module's exports, linked into deliberately wrong DLLs
// that the binary checker must reject.
#include <windows.h>

extern "C" {
int WINAPI ViseEntry(int, int, int) { return 0; }
int WINAPI IsAfter(int, int, int) { return 0; }
UINT WINAPI GetActiveCP() { return 0; }
const char* WINAPI GetFileDescription(const char*) { return ""; }
int WINAPI CheckShortCutAndUpdateIfNecessary(const char*, char*, const char*, const char*) {
  return 0;
}
int WINAPI ForceIconCacheRebuild() { return 0; }
int WINAPI UpdateFont(const char*, const char*, const char*, const char*) { return 0; }
// Leaves its arguments on the stack for the caller to remove.
int __cdecl IsAfterCdecl(int, int, int) { return 0; }
UINT WINAPI OwnGetACP() { return 1252; }
}
