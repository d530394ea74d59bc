#include "crash/crash_settings_fake.h"

#include <utility>
#include <cstring>

namespace tarvish {

FakeRegistry::Value FakeRegistry::Dword(std::uint32_t v) {
  return {kRegDword,
          {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
           static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)}};
}

FakeRegistry::Value FakeRegistry::Sz(const std::string& text) {
  Value v{1, std::vector<unsigned char>(text.begin(), text.end())};
  v.data.push_back(0);
  return v;
}

std::int32_t FakeRegistry::OpenKey(const char* subkey, std::uint32_t access, Key* key) {
  calls.push_back("open " + std::string(subkey) + " " + std::to_string(access));
  if (!keyExists) return 2;  // ERROR_FILE_NOT_FOUND
  ++openKeys_;
  *key = kOpenKey;
  return kErrorSuccess;
}

// As RegQueryValueExA does: the type and the needed size are reported even
// when the data does not fit, and then the buffer is left alone.
std::int32_t FakeRegistry::QueryValue(Key key, const char* name, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) {
  calls.push_back("query " + std::string(name) + " " + std::to_string(*size));
  if (key != kOpenKey || openKeys_ == 0) return 6;  // ERROR_INVALID_HANDLE
  auto it = values.find(name);
  if (it == values.end()) return 2;
  *type = it->second.type;
  const auto needed = static_cast<std::uint32_t>(it->second.data.size());
  if (needed > *size) {
    *size = needed;
    return kErrorMoreData;
  }
  std::memcpy(data, it->second.data.data(), needed);
  *size = needed;
  return kErrorSuccess;
}

void FakeRegistry::CloseKey(Key key) {
  calls.push_back(key == kOpenKey && openKeys_ > 0 ? "close" : "close of a key never opened");
  if (openKeys_ > 0) --openKeys_;
}

FilterSlot::Filter FakeFilterSlot::Exchange(Filter filter) {
  exchanges.push_back(filter);
  return std::exchange(current, filter);
}

}  // namespace tarvish
