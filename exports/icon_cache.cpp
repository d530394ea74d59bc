#include "exports/icon_cache.h"

#include <cstring>
#include <vector>

namespace tarvish {

namespace {

// What the first read found, and so what the restore must do.
struct SavedSetting {
  enum class Kind { Text, Exact, Absent, Unknown } kind = Kind::Unknown;
  std::uint32_t type = kRegSz;
  std::vector<unsigned char> bytes;  // Text: up to and with its NUL; Exact: as stored
};

// A value that grows between the size query and the read is asked for again,
// a few times at most.
constexpr int kFullReadAttempts = 4;

SavedSetting ReadSetting(RegistryKey& key) {
  SavedSetting saved;
  // 512 bytes offered to the read, and one more that always stays zero, so
  // that the saved text ends within 513 bytes.
  unsigned char buffer[kSavedValueRoom + 1] = {};
  std::uint32_t size = kSavedValueRoom;
  std::uint32_t type = 0;
  switch (key.Read(kShellIconSize, &type, buffer, &size)) {
    case RegistryKey::ReadStatus::Missing:
      saved.kind = SavedSetting::Kind::Absent;
      return saved;
    case RegistryKey::ReadStatus::Failed:
      return saved;
    case RegistryKey::ReadStatus::Read:
      buffer[kSavedValueRoom] = 0;
      if (type == kRegSz) {
        saved.kind = SavedSetting::Kind::Text;
        const std::size_t length = std::strlen(reinterpret_cast<const char*>(buffer));
        saved.bytes.assign(buffer, buffer + length + 1);
      } else {
        saved.kind = SavedSetting::Kind::Exact;
        saved.type = type;
        saved.bytes.assign(buffer, buffer + (size < kSavedValueRoom ? size : kSavedValueRoom));
      }
      return saved;
    case RegistryKey::ReadStatus::MoreData:
      break;
  }
  for (int attempt = 0; attempt < kFullReadAttempts; ++attempt) {
    std::vector<unsigned char> full(size);
    std::uint32_t fullSize = size;
    const RegistryKey::ReadStatus status = key.Read(kShellIconSize, &type, full.data(), &fullSize);
    if (status == RegistryKey::ReadStatus::Read) {
      full.resize(fullSize < full.size() ? fullSize : full.size());
      saved.kind = SavedSetting::Kind::Exact;
      saved.type = type;
      saved.bytes = std::move(full);
      return saved;
    }
    if (status != RegistryKey::ReadStatus::MoreData) break;
    size = fullSize;
  }
  return saved;
}

void RestoreSetting(RegistryKey& key, const SavedSetting& saved) {
  switch (saved.kind) {
    case SavedSetting::Kind::Text:
      key.Write(kShellIconSize, kRegSz, saved.bytes.data(),
                static_cast<std::uint32_t>(saved.bytes.size()));
      break;
    case SavedSetting::Kind::Exact:
      key.Write(kShellIconSize, saved.type, saved.bytes.data(),
                static_cast<std::uint32_t>(saved.bytes.size()));
      break;
    case SavedSetting::Kind::Absent:
      key.Delete(kShellIconSize);
      break;
    case SavedSetting::Kind::Unknown:
      break;
  }
}

// The key for the restore, opened afresh; null when it cannot be opened,
// allocation failures included, so that the caller can fall back on the key
// it kept.
std::unique_ptr<RegistryKey> ReopenForRestore(IconCachePlatform& platform) {
  try {
    return platform.OpenCurrentUserKey(kWindowMetricsKey);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

int RebuildIconCache(IconCachePlatform& platform) {
  static const unsigned char kPreset[] = "100";
  SavedSetting saved;
  // The key the preset went through stays open until the setting is back, so
  // that a restore never depends on an open that can fail after "100" was
  // written.
  std::unique_ptr<RegistryKey> presetKey = platform.OpenCurrentUserKey(kWindowMetricsKey);
  if (presetKey) {
    saved = ReadSetting(*presetKey);
    // Without a saved setting to put back, the user's own is not replaced.
    if (saved.kind != SavedSetting::Kind::Unknown) {
      presetKey->Write(kShellIconSize, kRegSz, kPreset, sizeof kPreset);
    } else {
      presetKey.reset();
    }
  }
  platform.BroadcastSettingChange(kSpiSetIconMetrics, "WindowMetrics");
  if (saved.kind != SavedSetting::Kind::Unknown) {
    std::unique_ptr<RegistryKey> restoreKey = ReopenForRestore(platform);
    RestoreSetting(restoreKey ? *restoreKey : *presetKey, saved);
    restoreKey.reset();
    presetKey.reset();
  }
  platform.BroadcastSettingChange(kSpiSetIconMetrics, "WindowMetrics");
  return 0;
}

}  // namespace tarvish
