#pragma once
// A recording fake of the crash filter's platform for host tests.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crash/crash_filter.h"

namespace tarvish {

// Thrown by the fake writer to stand for a fault; RunGuarded catches it.
struct FakeFault {};

class FakeCrashPlatform : public CrashPlatform {
 public:
  // Writer results in call order; once used up, every further call fails
  // with 5. kFault raises a fault instead of returning.
  static constexpr std::int32_t kFault = -1;
  std::deque<std::int32_t> writerResults;
  bool tempDirectoryAvailable = true;
  // The id of the thread that made the fake; any other thread is threadId + 1.
  std::uint32_t threadId = 0x1234;
  // Pause sleeps 1 ms unless this is off.
  bool pauseSleeps = true;
  // Runs inside the writer, before it answers (e.g. a second crash).
  std::function<void()> duringWrite;
  // The id that IsDumpWorker recognises; 0 recognises none.
  std::uint32_t dumpWorkerThreadId = 0;

  // "debug <text>", "name <prefix|null> temp=<0|1>",
  // "dump <type> <path> <thread> <pointers>", "snapshot <pointers>".
  std::vector<std::string> Events() const;

  void DebugOutput(const char* text) override;
  std::uint32_t CurrentThreadId() override;
  void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                          bool allowTempDirectory) override;
  std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path, std::uint32_t threadId,
                             void* exceptionPointers) override;
  void WriteSnapshot(void* exceptionPointers) override;
  bool RunGuarded(void (*body)(void*), void* context) override;
  void Pause() override;
  bool IsDumpWorker(std::uint32_t threadId) override;
  int Pauses() const;

 private:
  void Record(std::string event);
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  int names_ = 0;
  int pauses_ = 0;
  std::thread::id home_ = std::this_thread::get_id();
};

}  // namespace tarvish
