#pragma once
// The library's side of the installer exports. Tarvish.cpp defines the
// exported stdcall entry points and forwards to these; each is specified by
// the header of the subsystem that implements it.
//
// None of them lets a C++ exception escape: the exports are called by an
// installer engine that cannot catch one.

namespace tarvish {

const char* GetFileDescription(const char* path);
int CheckShortCutAndUpdateIfNecessary(const char* oldShortcutPath, char* expectedTarget,
                                      const char* newTarget, const char* newShortcutPath);
int ForceIconCacheRebuild();
int UpdateFont(const char* faceName, const char* fileName, const char* sourceDir,
               const char* fontsDir);

// Called from the module entry function at process detach; `processEnding`
// is true when the process is exiting rather than unloading the library.
void OnModuleDetach(bool processEnding);

}  // namespace tarvish
