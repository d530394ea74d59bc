#include <windows.h>

#include "crash/dbghelp.h"

namespace tarvish {

namespace {

class SystemLoader final : public DbgHelpLoader {
 public:
  void* LoadedModule(const char* name) override { return GetModuleHandleA(name); }
  // Never freed: the bound entry point must stay valid for later crashes.
  void* LoadModule(const char* name) override { return LoadLibraryA(name); }
  DbgHelpProc FindProc(void* module, const char* name) override {
    return reinterpret_cast<DbgHelpProc>(GetProcAddress(static_cast<HMODULE>(module), name));
  }
};

}  // namespace

DbgHelpBinding& ProcessDbgHelp() {
  // Constant-initialised: usable from the crash filter at any time.
  static DbgHelpBinding binding;
  return binding;
}

DbgHelpLoader& SystemDbgHelpLoader() {
  static SystemLoader loader;
  return loader;
}

bool BindDbgHelp() { return ProcessDbgHelp().EnsureBound(SystemDbgHelpLoader()); }

}  // namespace tarvish
