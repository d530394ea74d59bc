#include "crash/dbghelp.h"

namespace tarvish {

bool DbgHelpBinding::EnsureBound(DbgHelpLoader& loader) {
  if (entry_ != nullptr) return true;
  if (state_ != kDbgHelpNotTried) return false;

  static const char kLibrary[] = "DBGHELP.DLL";
  void* module = loader.LoadedModule(kLibrary);
  if (module == nullptr) module = loader.LoadModule(kLibrary);
  if (module == nullptr) {
    state_ = kDbgHelpNotLoadable;
    return false;
  }
  entry_ = loader.FindProc(module, "MiniDumpWriteDump");
  state_ = entry_ != nullptr ? kDbgHelpBound : kDbgHelpNoEntryPoint;
  return entry_ != nullptr;
}

}  // namespace tarvish
