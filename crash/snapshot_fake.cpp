#include "crash/snapshot_fake.h"

namespace tarvish {

void FakeMemory::Allow(const void* address, std::size_t size) {
  blocks_.emplace_back(reinterpret_cast<std::uintptr_t>(address), size);
}

bool FakeMemory::Readable(const void* address, std::size_t size) {
  queries.emplace_back(address, size);
  const auto start = reinterpret_cast<std::uintptr_t>(address);
  for (const auto& [base, length] : blocks_) {
    if (start >= base && start - base <= length && size <= length - (start - base)) return true;
  }
  return false;
}

bool FakeSink::Write(const void* data, std::uint32_t size) {
  sources.push_back(data);
  if (failingWrites.count(++writes_) != 0) return false;
  const auto* p = static_cast<const unsigned char*>(data);
  bytes.insert(bytes.end(), p, p + size);
  return true;
}

}  // namespace tarvish
