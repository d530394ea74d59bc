#include "exports/icon_cache_fake.h"

#include <cstring>
#include <new>

namespace tarvish {

namespace {

class FakeKey final : public RegistryKey {
 public:
  explicit FakeKey(FakeIconCachePlatform& platform) : platform_(platform) {}
  ~FakeKey() override { platform_.calls.push_back("RegCloseKey"); }

  ReadStatus Read(const char* name, std::uint32_t* type, unsigned char* data,
                  std::uint32_t* size) override {
    platform_.calls.push_back(std::string("RegQueryValueEx(") + name + "," +
                              std::to_string(*size) + ")");
    if (platform_.readFails) return ReadStatus::Failed;
    if (!platform_.value) return ReadStatus::Missing;
    const auto& stored = platform_.value->bytes;
    *type = platform_.value->type;
    const std::uint32_t room = *size;
    *size = static_cast<std::uint32_t>(stored.size());
    if (stored.size() > room) return ReadStatus::MoreData;
    if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
    return ReadStatus::Read;
  }
  void Write(const char* name, std::uint32_t type, const unsigned char* data,
             std::uint32_t size) override {
    platform_.calls.push_back(std::string("RegSetValueEx(") + name + "," + std::to_string(type) +
                              "," + std::to_string(size) + ")");
    platform_.value = FakeIconCachePlatform::Value{type, {data, data + size}};
  }
  void Delete(const char* name) override {
    platform_.calls.push_back(std::string("RegDeleteValue(") + name + ")");
    platform_.value.reset();
  }

 private:
  FakeIconCachePlatform& platform_;
};

}  // namespace

std::unique_ptr<RegistryKey> FakeIconCachePlatform::OpenCurrentUserKey(const char* subKey) {
  calls.push_back(std::string("RegOpenKey(") + subKey + ")");
  if (!keyExists) return nullptr;
  if (workingOpens == 0) {
    if (failedOpenThrows) throw std::bad_alloc();
    return nullptr;
  }
  if (workingOpens > 0) --workingOpens;
  return std::make_unique<FakeKey>(*this);
}

void FakeIconCachePlatform::BroadcastSettingChange(std::uint32_t action, const char* area) {
  calls.push_back("SendMessage(" + std::to_string(action) + "," + area + ")");
  valueAtBroadcast.push_back(value);
}

FakeIconCachePlatform::Value TextValue(const std::string& text) {
  std::vector<unsigned char> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return {kRegSz, bytes};
}

}  // namespace tarvish
