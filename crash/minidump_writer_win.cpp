#include "crash/minidump_writer_win.h"

#include "crash/dbghelp.h"
#include "crash/minidump_writer.h"
#include "crash/reporter_handoff.h"

namespace tarvish {

static_assert(kExceptionPointersCheckSize == sizeof(EXCEPTION_POINTERS),
              "the argument check covers the whole EXCEPTION_POINTERS record");

namespace {

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

class SystemDumpPlatform final : public MiniDumpPlatform {
 public:
  bool StringUnreadable(const char* text, std::uint32_t maxLength) override {
    return ::IsBadStringPtrA(text, maxLength) != FALSE;
  }

  bool MemoryUnreadable(const void* address, std::uint32_t size) override {
    return ::IsBadReadPtr(address, size) != FALSE;
  }

  void* CreateWorkerThread(DumpRequest* request) override {
    DWORD id = 0;
    return CreateThread(nullptr, 0, DumpWorkerProc, request, 0, &id);
  }

  bool ThreadEnded(void* thread) override {
    // WAIT_OBJECT_0 once it has ended; WAIT_FAILED for a handle that cannot
    // be waited on, which no spin should outlast either.
    return WaitForSingleObject(thread, 0) != WAIT_TIMEOUT;
  }

  void WaitForThread(void* thread) override { WaitForSingleObject(thread, INFINITE); }
  void CloseHandle(void* handle) override { ::CloseHandle(handle); }
  std::uint32_t GetLastError() override { return ::GetLastError(); }
  void SetLastError(std::uint32_t error) override { ::SetLastError(error); }

  std::int32_t HandOffToReporter(DumpRequest* request) override {
    return tarvish::HandOffToReporter(request);
  }

  bool CreateDumpFile(const char* path, void** file) override {
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    *file = h;
    return h != INVALID_HANDLE_VALUE;
  }

  void RewindDumpFile(void* file) override {
    // Nothing to do about a failure here: the retry that follows tells.
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
      SetEndOfFile(file);
    }
  }

  void CloseDumpFile(void* file) override { ::CloseHandle(file); }
  std::uint32_t CurrentThreadId() override { return GetCurrentThreadId(); }

  bool MiniDumpWriteDump(void* file, std::uint32_t dumpType, const DumpException* exception,
                         const std::uint32_t* excludedThreadId) override {
    // Only reached through a worker, which exists only once bound.
    const auto write = reinterpret_cast<MiniDumpWriteDumpFn>(ProcessDbgHelp().entry());
    MINIDUMP_EXCEPTION_INFORMATION info{};
    if (exception != nullptr) {
      info.ThreadId = exception->threadId;
      info.ExceptionPointers = exception->pointers;
      info.ClientPointers = FALSE;  // our own process: the pointers are ours
    }
    MINIDUMP_CALLBACK_INFORMATION callback{ExcludeWorkerCallback,
                                           const_cast<std::uint32_t*>(excludedThreadId)};
    return write(GetCurrentProcess(), GetCurrentProcessId(), file,
                 static_cast<MINIDUMP_TYPE>(dumpType), exception != nullptr ? &info : nullptr,
                 nullptr, &callback) != FALSE;
  }
};

}  // namespace

DWORD WINAPI DumpWorkerProc(LPVOID parameter) {
  SystemDumpPlatform platform;
  RunDumpWorker(*static_cast<DumpRequest*>(parameter), platform);
  return 0;
}

BOOL CALLBACK ExcludeWorkerCallback(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                    PMINIDUMP_CALLBACK_OUTPUT) {
  if (param == nullptr || input == nullptr) return TRUE;
  const std::uint32_t type = input->CallbackType;
  const std::uint32_t thread = type == IncludeThreadCallback ? input->IncludeThread.ThreadId : 0;
  return KeepInDump(type, thread, *static_cast<const std::uint32_t*>(param)) ? TRUE : FALSE;
}

std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path, std::uint32_t threadId,
                           _EXCEPTION_POINTERS* exceptionPointers) {
  SystemDumpPlatform platform;
  return WriteMiniDumpWith(platform, ProcessDbgHelp(), SystemDbgHelpLoader(), dumpType, path,
                           threadId, exceptionPointers);
}

}  // namespace tarvish
