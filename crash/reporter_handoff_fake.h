#pragma once
// Recording fake of the reporter handoff's platform. The block is a heap
// buffer of exactly the block's size, so the sanitizer catches any access
// beyond it; a "reporter" can be made to store a result when it is waited
// for, as a real one does before it ends.

#include <cstdint>
#include <string>
#include <vector>

#include "crash/reporter_handoff.h"

namespace tarvish {

class FakeReporterPlatform final : public ReporterPlatform {
 public:
  static constexpr std::uint32_t kProcessId = 0x1234;
  static constexpr std::uint32_t kThreadId = 0x5678;

  // Configuration.
  bool mappingFails = false;
  bool viewFails = false;
  bool reporterStarts = true;
  bool badExceptionPointers = false;
  bool reporterStoresResult = false;
  std::uint32_t reporterResult = 1;

  // Record.
  std::vector<unsigned char> block = std::vector<unsigned char>(kMiniDumperParamsSize, 0);
  std::vector<std::string> calls;
  std::string commandLine;
  std::uint8_t flagWhileReporterRuns = 0xFF;

  void* CreateParamsMapping() override;
  unsigned char* MapParams(void* mapping) override;
  void UnmapParams(unsigned char* block) override;
  void CloseHandle(void* handle) override;
  std::uint32_t CurrentProcessId() override;
  std::uint32_t CurrentThreadId() override;
  bool MemoryUnreadable(const void* address, std::uint32_t size) override;
  bool StartReporter(char* commandLine, void** process, void** thread) override;
  void WaitForProcess(void* process) override;

 private:
  const char* Name(void* handle) const;

  int mapping_ = 0, process_ = 0, thread_ = 0;
};

}  // namespace tarvish
