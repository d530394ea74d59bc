#include <windows.h>

#include "exports/icon_cache.h"
#include "exports/installer_exports.h"
#include "util/scoped_hkey.h"

namespace tarvish {

namespace {

class Win32RegistryKey final : public RegistryKey {
 public:
  HKEY* Receive() { return key_.receive(); }
  bool IsOpen() const { return static_cast<bool>(key_); }

  ReadStatus Read(const char* name, std::uint32_t* type, unsigned char* data,
                  std::uint32_t* size) override {
    DWORD valueType = 0;
    DWORD valueSize = *size;
    const LONG status = RegQueryValueExA(key_.get(), name, nullptr, &valueType, data, &valueSize);
    *type = valueType;
    *size = valueSize;
    switch (status) {
      case ERROR_SUCCESS: return ReadStatus::Read;
      case ERROR_FILE_NOT_FOUND: return ReadStatus::Missing;
      case ERROR_MORE_DATA: return ReadStatus::MoreData;
      default: return ReadStatus::Failed;
    }
  }
  void Write(const char* name, std::uint32_t type, const unsigned char* data,
             std::uint32_t size) override {
    RegSetValueExA(key_.get(), name, 0, type, data, size);
  }
  void Delete(const char* name) override { RegDeleteValueA(key_.get(), name); }

 private:
  ScopedHKey key_;
};

class Win32IconCachePlatform final : public IconCachePlatform {
 public:
  std::unique_ptr<RegistryKey> OpenCurrentUserKey(const char* subKey) override {
    auto key = std::make_unique<Win32RegistryKey>();
    if (RegOpenKeyA(HKEY_CURRENT_USER, subKey, key->Receive()) != ERROR_SUCCESS ||
        !key->IsOpen()) {
      return nullptr;
    }
    return key;
  }
  void BroadcastSettingChange(std::uint32_t action, const char* area) override {
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, action, reinterpret_cast<LPARAM>(area));
  }
};

}  // namespace

int ForceIconCacheRebuild() {
  try {
    Win32IconCachePlatform platform;
    return RebuildIconCache(platform);
  } catch (...) {
    // Only an allocation failure gets here; the engine is told 0 as always.
    return 0;
  }
}

}  // namespace tarvish
