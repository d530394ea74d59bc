#include <windows.h>

#include "crash/reporter_handoff.h"

namespace tarvish {

static_assert(kExceptionPointersCheckSize == sizeof(EXCEPTION_POINTERS),
              "the readability check covers the whole EXCEPTION_POINTERS record");

namespace {

class SystemReporterPlatform final : public ReporterPlatform {
 public:
  void* CreateParamsMapping() override {
    return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                              kMiniDumperParamsSize, kMiniDumperParamsName);
  }

  unsigned char* MapParams(void* mapping) override {
    return static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  }

  void UnmapParams(unsigned char* block) override { UnmapViewOfFile(block); }
  void CloseHandle(void* handle) override { ::CloseHandle(handle); }
  std::uint32_t CurrentProcessId() override { return GetCurrentProcessId(); }
  std::uint32_t CurrentThreadId() override { return GetCurrentThreadId(); }

  bool MemoryUnreadable(const void* address, std::uint32_t size) override {
    return ::IsBadReadPtr(address, size) != FALSE;
  }

  bool StartReporter(char* commandLine, void** process, void** thread) override {
    // The reporter gets the crashing process's own startup information, so
    // it appears where the application would (same desktop, same window
    // placement) and nothing new is invented on the crash path.
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
      return false;
    }
    *process = started.hProcess;
    *thread = started.hThread;
    return true;
  }

  void WaitForProcess(void* process) override { WaitForSingleObject(process, INFINITE); }
};

}  // namespace

std::int32_t HandOffToReporter(DumpRequest* request) {
  SystemReporterPlatform platform;
  return HandOffWith(*request, platform);
}

}  // namespace tarvish
