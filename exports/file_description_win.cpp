#include <windows.h>

#include "exports/file_description.h"
#include "exports/installer_exports.h"

namespace tarvish {

namespace {

class Win32VersionResources final : public VersionResources {
 public:
  std::uint32_t InfoSize(const char* path) override {
    return GetFileVersionInfoSizeA(path, nullptr);
  }
  bool ReadInfo(const char* path, std::uint32_t size, void* block) override {
    return GetFileVersionInfoA(path, 0, size, block) != FALSE;
  }
  bool QueryValue(void* block, const char* valuePath, const void** value,
                  std::uint32_t* length) override {
    void* found = nullptr;
    UINT foundLength = 0;
    if (!VerQueryValueA(block, valuePath, &found, &foundLength)) return false;
    *value = found;
    *length = foundLength;
    return true;
  }
};

}  // namespace

const char* GetFileDescription(const char* path) {
  Win32VersionResources platform;
  return FileDescriptionForEngine(platform, path);
}

}  // namespace tarvish
