#pragma once
// Installation and removal of the crash filter in the process.
//
// Windows builds only.

namespace tarvish {

// Reads the settings and registers the filter. Runs once, as a static
// initialiser of the module, before DllMain: the filter is in place before
// any export can be called.
void InstallCrashHandler();

// The library is unloaded by FreeLibrary while the process goes on: puts
// the earlier filter back if ours is still the current one, so that no
// later crash calls into the unloaded module.
void UninstallCrashHandler();

}  // namespace tarvish
