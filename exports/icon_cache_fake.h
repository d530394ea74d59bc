#pragma once
// A recording stand-in for the current user's WindowMetrics key and the
// broadcasts. The key holds at most the one value the export touches.

#include <optional>
#include <string>
#include <vector>

#include "exports/icon_cache.h"

namespace tarvish {

class FakeIconCachePlatform final : public IconCachePlatform {
 public:
  struct Value {
    std::uint32_t type;
    std::vector<unsigned char> bytes;
    bool operator==(const Value& o) const { return type == o.type && bytes == o.bytes; }
  };

  bool keyExists = true;
  // Opens after the first this many fail as well, a negative count meaning
  // never: by answering null, or when `failedOpenThrows`, by throwing
  // std::bad_alloc as an allocation failure in the binding would.
  int workingOpens = -1;
  bool failedOpenThrows = false;
  bool readFails = false;   // every read answers Failed (access denied, say)
  std::optional<Value> value;  // "Shell Icon Size"; nullopt when missing

  // "RegOpenKey(sub)", "RegQueryValueEx(name,room)", "RegSetValueEx(name,type,size)",
  // "RegDeleteValue(name)", "RegCloseKey", "SendMessage(action,area)".
  std::vector<std::string> calls;
  // The value as each broadcast found it.
  std::vector<std::optional<Value>> valueAtBroadcast;

  std::unique_ptr<RegistryKey> OpenCurrentUserKey(const char* subKey) override;
  void BroadcastSettingChange(std::uint32_t action, const char* area) override;
};

FakeIconCachePlatform::Value TextValue(const std::string& text);  // REG_SZ with its NUL

}  // namespace tarvish
