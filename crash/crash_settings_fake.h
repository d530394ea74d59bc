#pragma once
// Recording fakes of the registry and the filter slot for host tests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "crash/crash_settings.h"

namespace tarvish {

class FakeRegistry : public SettingsRegistry {
 public:
  struct Value {
    std::uint32_t type;
    std::vector<unsigned char> data;
  };
  static Value Dword(std::uint32_t v);
  static Value Sz(const std::string& text);  // REG_SZ with its NUL

  bool keyExists = true;
  std::map<std::string, Value> values;
  std::vector<std::string> calls;  // "open <subkey> <access>", "query <name> <size>", "close"

  std::int32_t OpenKey(const char* subkey, std::uint32_t access, Key* key) override;
  std::int32_t QueryValue(Key key, const char* name, std::uint32_t* type, unsigned char* data,
                          std::uint32_t* size) override;
  void CloseKey(Key key) override;

 private:
  static constexpr Key kOpenKey = 0x5eed;
  int openKeys_ = 0;
};

class FakeFilterSlot : public FilterSlot {
 public:
  Filter current = 0;
  std::vector<Filter> exchanges;  // every filter registered, in order
  Filter Exchange(Filter filter) override;
};

}  // namespace tarvish
