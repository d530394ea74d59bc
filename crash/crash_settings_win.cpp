#include "crash/crash_settings_win.h"

#include <windows.h>

#include "crash/crash_file_name.h"
#include "crash/crash_filter_win.h"
#include "crash/crash_settings.h"

namespace tarvish {

namespace {

class Win32SettingsRegistry final : public SettingsRegistry {
 public:
  std::int32_t OpenKey(const char* subkey, std::uint32_t access, Key* key) override {
    HKEY opened = nullptr;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, access, &opened);
    *key = reinterpret_cast<Key>(opened);
    return status;
  }
  std::int32_t QueryValue(Key key, const char* name, std::uint32_t* type, unsigned char* data,
                          std::uint32_t* size) override {
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LONG status =
        RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    return status;
  }
  void CloseKey(Key key) override { RegCloseKey(reinterpret_cast<HKEY>(key)); }
};

class Win32FilterSlot final : public FilterSlot {
 public:
  Filter Exchange(Filter filter) override {
    return reinterpret_cast<Filter>(
        SetUnhandledExceptionFilter(reinterpret_cast<LPTOP_LEVEL_EXCEPTION_FILTER>(filter)));
  }
};

FilterBinding gFilterBinding;

// The runtime runs this while the module attaches, before DllMain.
struct InstallAtLoad {
  InstallAtLoad() { InstallCrashHandler(); }
} gInstallAtLoad;

}  // namespace

void InstallCrashHandler() {
  Win32SettingsRegistry registry;
  Win32FilterSlot slot;
  InstallCrashHandler(registry, slot, reinterpret_cast<FilterSlot::Filter>(&CrashFilter),
                      gCrashSettings, CrashNamePrefix, gFilterBinding);
}

void UninstallCrashHandler() {
  Win32FilterSlot slot;
  RestoreFilterOnUnload(slot, gFilterBinding);
}

}  // namespace tarvish
