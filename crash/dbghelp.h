#pragma once
// Run-time binding of MiniDumpWriteDump. DBGHELP.DLL is looked up on the
// first dump request, not at load, so a process that never crashes never
// maps it; once bound it stays loaded for the life of the process. A failed
// binding is remembered and never retried: a crash handler that keeps
// probing for a missing library only spends time on every later crash.

#include <cstdint>

namespace tarvish {

enum DbgHelpState : std::int32_t {
  kDbgHelpBound = 0,
  kDbgHelpNotLoadable = 1,    // DBGHELP.DLL neither loaded nor loadable
  kDbgHelpNoEntryPoint = 2,   // DBGHELP.DLL has no MiniDumpWriteDump
  kDbgHelpNotTried = 7,
};

using DbgHelpProc = void (*)();

// The three loader services the binding needs (GetModuleHandleA,
// LoadLibraryA, GetProcAddress).
class DbgHelpLoader {
 public:
  virtual void* LoadedModule(const char* name) = 0;
  virtual void* LoadModule(const char* name) = 0;
  virtual DbgHelpProc FindProc(void* module, const char* name) = 0;

 protected:
  ~DbgHelpLoader() = default;
};

class DbgHelpBinding {
 public:
  // Binds on the first call; later calls answer from the remembered state.
  // True when MiniDumpWriteDump is bound.
  bool EnsureBound(DbgHelpLoader& loader);

  bool bound() const { return entry_ != nullptr; }
  std::int32_t state() const { return state_; }
  DbgHelpProc entry() const { return entry_; }

 private:
  DbgHelpProc entry_ = nullptr;
  std::int32_t state_ = kDbgHelpNotTried;
};

// Windows builds only: the process's one binding, the system loader, and
// binding the one through the other. Not thread-safe; the crash filter
// admits one caller.
DbgHelpBinding& ProcessDbgHelp();
DbgHelpLoader& SystemDbgHelpLoader();
bool BindDbgHelp();

}  // namespace tarvish
