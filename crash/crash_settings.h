#pragma once
// The crash handler's four machine-wide settings and the decision, taken
// once at load, whether to register the crash filter.
//
// Platform-free: the registry and the process's top-level filter slot are
// reached through the interfaces below, bound to Win32 in
// crash_settings_win.cpp and faked in the host tests.

#include <cstdint>

namespace tarvish {

// Read once at load, read-only afterwards. Switches: zero is off.
struct CrashSettings {
  std::uint32_t writeDump = 1;  // install the filter
  std::uint32_t writeQvd = 1;   // install the filter; snapshot when no dump was written
  std::uint32_t forceQvd = 0;   // snapshot first, whatever writeQvd says
  std::uint32_t dumpType = 0;   // MINIDUMP_TYPE flags, handed to the writer unchanged
};

// The settings the crash filter acts on; defaults until InstallCrashHandler.
extern CrashSettings gCrashSettings;

// HKEY_LOCAL_MACHINE subkey of the settings. The trailing backslash is part
// of the name as administrators have always deployed it.
inline constexpr char kCrashSettingsKey[] =
    "Software\\Quillvex Software\\QuillvexDiagnostics\\CrashHandler\\";
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;  // KEY_QUERY_VALUE
inline constexpr std::uint32_t kRegDword = 4;            // REG_DWORD
inline constexpr std::int32_t kErrorSuccess = 0;
inline constexpr std::int32_t kErrorMoreData = 234;

// HKEY_LOCAL_MACHINE, reached through the calls the settings need.
class SettingsRegistry {
 public:
  using Key = std::uintptr_t;
  virtual ~SettingsRegistry() = default;
  // RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, access, key): a status.
  virtual std::int32_t OpenKey(const char* subkey, std::uint32_t access, Key* key) = 0;
  // RegQueryValueExA(key, name, nullptr, type, data, size): a status.
  virtual std::int32_t QueryValue(Key key, const char* name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) = 0;
  virtual void CloseKey(Key key) = 0;
};

// The process-wide unhandled-exception filter slot. Filters are opaque
// addresses here; 0 is "none".
class FilterSlot {
 public:
  using Filter = std::uintptr_t;
  virtual ~FilterSlot() = default;
  // SetUnhandledExceptionFilter: registers `filter`, returns the one before.
  virtual Filter Exchange(Filter filter) = 0;
};

// What installation left behind, for the unload.
struct FilterBinding {
  bool installed = false;
  FilterSlot::Filter ours = 0;
  FilterSlot::Filter previous = 0;
};

// Reads one REG_DWORD setting (its own open, query and close of the key).
// Only a 4-byte REG_DWORD changes `setting`; a missing key or value, another
// type or another size leave it as it was. True when it was changed.
bool ReadCrashSetting(SettingsRegistry& registry, const char* name, std::uint32_t* setting);

// The installation decision: WriteDump or WriteQvd on.
bool ShouldInstallFilter(const CrashSettings& settings);

// Reads the four settings into `settings`, in the order WriteDump, WriteQvd,
// ForceQvd, DumpType, and when ShouldInstallFilter says so empties
// `namePrefix` and registers `ours`, keeping the filter it replaced in
// `binding`. Returns whether the filter was registered.
bool InstallCrashHandler(SettingsRegistry& registry, FilterSlot& slot, FilterSlot::Filter ours,
                         CrashSettings& settings, char* namePrefix, FilterBinding& binding);

// The library is being unloaded while the process goes on: puts back the
// filter that was registered before ours, provided ours is still the
// current one. A filter registered over ours stays where it is.
void RestoreFilterOnUnload(FilterSlot& slot, FilterBinding& binding);

}  // namespace tarvish
