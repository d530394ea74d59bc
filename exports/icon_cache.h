#pragma once
// The sequence behind ForceIconCacheRebuild, apart from the registry and
// the broadcasts.

#include <cstdint>
#include <memory>

namespace tarvish {

// An open registry key. Destruction closes it.
class RegistryKey {
 public:
  enum class ReadStatus { Read, Missing, MoreData, Failed };

  virtual ~RegistryKey() = default;
  // Reads value `name` into data[0, *size). On entry *size is the room in
  // `data`; on Read and MoreData it becomes the value's stored size.
  virtual ReadStatus Read(const char* name, std::uint32_t* type, unsigned char* data,
                          std::uint32_t* size) = 0;
  virtual void Write(const char* name, std::uint32_t type, const unsigned char* data,
                     std::uint32_t size) = 0;
  virtual void Delete(const char* name) = 0;
};

class IconCachePlatform {
 public:
  virtual ~IconCachePlatform() = default;
  // Opens `subKey` under HKEY_CURRENT_USER; null when it cannot be opened.
  virtual std::unique_ptr<RegistryKey> OpenCurrentUserKey(const char* subKey) = 0;
  // Sends WM_SETTINGCHANGE with `action` and the text `area` to every
  // top-level window and returns when all have handled it. A window that
  // does not answer holds the call up.
  virtual void BroadcastSettingChange(std::uint32_t action, const char* area) = 0;
};

inline constexpr const char kWindowMetricsKey[] = "Control Panel\\desktop\\WindowMetrics";
inline constexpr const char kShellIconSize[] = "Shell Icon Size";
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kSpiSetIconMetrics = 0x2E;
inline constexpr std::uint32_t kSavedValueRoom = 512;

// Sets the current user's shell icon size to "100", announces the change,
// puts the setting back as it was found and announces it again; the shell
// rebuilds its icon cache on the way. Returns 0.
//
// "As it was found": a text of up to 512 bytes is written back as REG_SZ up
// to its first NUL; a missing value is deleted again; a longer value, or one
// of another type, is written back byte for byte with its own type. When the
// setting cannot be read at all it is not changed (the broadcasts still go).
int RebuildIconCache(IconCachePlatform& platform);

}  // namespace tarvish
