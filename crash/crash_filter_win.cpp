#include "crash/crash_filter_win.h"

#include "crash/crash_file_name.h"
#include "crash/crash_filter.h"
#include "crash/crash_filter_guard.h"
#include "crash/crash_settings.h"
#include "crash/minidump_writer.h"
#include "crash/snapshot_win.h"

namespace tarvish {

namespace {

class Win32CrashPlatform final : public CrashPlatform {
 public:
  void DebugOutput(const char* text) override { OutputDebugStringA(text); }
  std::uint32_t CurrentThreadId() override { return GetCurrentThreadId(); }
  void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                          bool allowTempDirectory) override {
    tarvish::BuildCrashFileName(prefix, buffer, size, allowTempDirectory);
  }
  std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path, std::uint32_t threadId,
                             void* exceptionPointers) override {
    return tarvish::WriteMiniDump(dumpType, path, threadId,
                                  static_cast<EXCEPTION_POINTERS*>(exceptionPointers));
  }
  void WriteSnapshot(void* exceptionPointers) override {
    tarvish::WriteSnapshot(static_cast<EXCEPTION_POINTERS*>(exceptionPointers));
  }
  bool RunGuarded(void (*body)(void*), void* context) override {
    return tarvish::RunGuarded(body, context);
  }
  void Pause() override { Sleep(20); }
  bool IsDumpWorker(std::uint32_t threadId) override {
    const std::uint32_t worker = DumpWorkerThreadId.load(std::memory_order_acquire);
    return worker != 0 && worker == threadId;
  }
};

// Module storage, not the faulting thread's stack; it has no state.
Win32CrashPlatform gPlatform;

}  // namespace

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exceptionPointers) {
  return HandleCrash(gPlatform, gCrashSettings, CrashNamePrefix,
                     exceptionPointers->ExceptionRecord->ExceptionCode, exceptionPointers);
}

}  // namespace tarvish
