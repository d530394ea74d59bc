#include "crash/crash_settings.h"

namespace tarvish {

CrashSettings gCrashSettings;

namespace {

// Closes a key opened through SettingsRegistry on every path out.
class OpenedKey {
 public:
  OpenedKey(SettingsRegistry& registry, SettingsRegistry::Key key) : registry_(registry), key_(key) {}
  ~OpenedKey() { registry_.CloseKey(key_); }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  SettingsRegistry::Key get() const { return key_; }

 private:
  SettingsRegistry& registry_;
  SettingsRegistry::Key key_;
};

}  // namespace

bool ReadCrashSetting(SettingsRegistry& registry, const char* name, std::uint32_t* setting) {
  SettingsRegistry::Key raw = 0;
  if (registry.OpenKey(kCrashSettingsKey, kKeyQueryValue, &raw) != kErrorSuccess) return false;
  OpenedKey key(registry, raw);

  // The value lands in a local first: a value of another type must not
  // scribble over the setting before its type is known.
  unsigned char data[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  if (registry.QueryValue(key.get(), name, &type, data, &size) != kErrorSuccess) return false;
  if (type != kRegDword || size != sizeof data) return false;
  *setting = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
             static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  return true;
}

bool ShouldInstallFilter(const CrashSettings& settings) {
  return settings.writeDump != 0 || settings.writeQvd != 0;
}

bool InstallCrashHandler(SettingsRegistry& registry, FilterSlot& slot, FilterSlot::Filter ours,
                         CrashSettings& settings, char* namePrefix, FilterBinding& binding) {
  ReadCrashSetting(registry, "WriteDump", &settings.writeDump);
  ReadCrashSetting(registry, "WriteQvd", &settings.writeQvd);
  ReadCrashSetting(registry, "ForceQvd", &settings.forceQvd);
  ReadCrashSetting(registry, "DumpType", &settings.dumpType);
  if (!ShouldInstallFilter(settings)) return false;

  // Crash files are named from the temp directory from now on; the startup
  // prefix only ever marks files written before the filter existed.
  namePrefix[0] = '\0';
  binding.ours = ours;
  binding.previous = slot.Exchange(ours);
  binding.installed = true;
  return true;
}

void RestoreFilterOnUnload(FilterSlot& slot, FilterBinding& binding) {
  if (!binding.installed) return;
  binding.installed = false;
  // There is no way to read the slot without writing it: put the old filter
  // in, and if what came out was not ours, someone registered over us after
  // installation; theirs goes straight back.
  const FilterSlot::Filter current = slot.Exchange(binding.previous);
  if (current != binding.ours) slot.Exchange(current);
}

}  // namespace tarvish
