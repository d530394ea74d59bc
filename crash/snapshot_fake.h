#pragma once
// Recording fakes of the snapshot encoder's memory test and byte sink.

#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "crash/snapshot.h"

namespace tarvish {

// Readable: exactly the blocks it was told about (any part of one).
class FakeMemory : public SnapshotMemory {
 public:
  void Allow(const void* address, std::size_t size);
  bool Readable(const void* address, std::size_t size) override;
  std::vector<std::pair<const void*, std::size_t>> queries;

 private:
  std::vector<std::pair<std::uintptr_t, std::size_t>> blocks_;
};

class FakeSink : public SnapshotSink {
 public:
  std::vector<unsigned char> bytes;
  std::vector<const void*> sources;  // where each write took its bytes from
  std::set<int> failingWrites;       // 1-based numbers of writes that fail
  bool Write(const void* data, std::uint32_t size) override;

 private:
  int writes_ = 0;
};

}  // namespace tarvish
