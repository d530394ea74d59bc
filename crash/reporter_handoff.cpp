#include "crash/reporter_handoff.h"

namespace tarvish {

int FillMiniDumperParams(unsigned char* block, const DumpRequest& request,
                         const MiniDumperCaller& caller, std::uint32_t pointerBytes) {
  StoreParams32(block, kParamsProcessId, caller.processId);
  StoreParams32(block, kParamsWaitingThreadId, caller.waitingThreadId);
  StoreParams32(block, kParamsDumpType, request.dumpType);

  // As lstrcpynA does it: at most 259 characters and a NUL, the rest of the
  // field left as it was.
  char* path = reinterpret_cast<char*>(block + kParamsPath);
  std::uint32_t n = 0;
  if (request.path != nullptr) {
    for (; n + 1 < kParamsPathSize && request.path[n] != '\0'; ++n) path[n] = request.path[n];
  }
  path[n] = '\0';

  if (request.exceptionPointers != nullptr && caller.exceptionPointersReadable) {
    const auto address =
        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(request.exceptionPointers));
    StoreParams32(block, kParamsFaultingThreadId, request.threadId);
    StoreParams32(block, kParamsExceptionPointers, static_cast<std::uint32_t>(address));
    // An address does not fit 4 bytes in a 64-bit process; its high half
    // goes into the otherwise reserved last field.
    if (pointerBytes == 8) {
      StoreParams32(block, kParamsExceptionPointersHigh, static_cast<std::uint32_t>(address >> 32));
    }
  }
  return 1;
}

std::int32_t HandOffWith(DumpRequest& request, ReporterPlatform& platform) {
  std::int32_t result = 0;
  if (void* mapping = platform.CreateParamsMapping()) {
    if (unsigned char* block = platform.MapParams(mapping)) {
      const MiniDumperCaller caller{
          platform.CurrentProcessId(), platform.CurrentThreadId(),
          request.exceptionPointers != nullptr &&
              !platform.MemoryUnreadable(request.exceptionPointers, kExceptionPointersCheckSize)};
      FillMiniDumperParams(block, request, caller);

      char commandLine[sizeof kReporterCommandLine];
      for (std::uint32_t i = 0; i < sizeof commandLine; ++i) commandLine[i] = kReporterCommandLine[i];
      void* process = nullptr;
      void* thread = nullptr;
      if (platform.StartReporter(commandLine, &process, &thread)) {
        platform.WaitForProcess(process);
        DumpInProgress = 0;
        platform.CloseHandle(process);
        platform.CloseHandle(thread);
        // The reporter has ended: nobody writes the block any more.
        result = static_cast<std::int32_t>(LoadParams32(block, kParamsResult));
      }
      platform.UnmapParams(block);
    }
    platform.CloseHandle(mapping);
  }
  DumpInProgress = 0;
  return result;
}

}  // namespace tarvish
