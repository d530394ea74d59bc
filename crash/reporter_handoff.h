#pragma once
// Reporter handoff: offers a dump request to the external reporter program
// before the minidump writer writes the dump itself.
//
// The request goes into the named shared block "MiniDumperParams"; the
// reporter is started as "Report -d" (found by the system's program search,
// so a Report.exe beside the application or in the current directory is
// used) and waited for without a time limit. Runs on the writer's worker
// thread, never on the faulting thread.
//
// The block's name, size and layout, and the command line, are those of
// crash/minidumper_params.h, which Report.exe shares.
// Fields this side does not write keep what the block held: an existing
// block of that name is opened and not cleared.

#include <cstdint>

#include "crash/minidump_writer.h"
#include "crash/minidumper_params.h"

namespace tarvish {

// Windows builds only. Returns the block's result field as the reporter
// left it, or 0 when the block could not be set up or no reporter was
// started. Lowers DumpInProgress before it returns.
std::int32_t HandOffToReporter(DumpRequest* request);

// What the block says about the process besides the request.
struct MiniDumperCaller {
  std::uint32_t processId;
  std::uint32_t waitingThreadId;
  // kExceptionPointersCheckSize bytes (the whole EXCEPTION_POINTERS record)
  // at the request's pointers are readable.
  bool exceptionPointersReadable;
};

// Writes the request into a mapped block of kMiniDumperParamsSize bytes.
// `pointerBytes` is the width of an address in the crashing process (4 or
// 8); only 8 writes the high half at offset 288. Returns 1.
int FillMiniDumperParams(unsigned char* block, const DumpRequest& request,
                         const MiniDumperCaller& caller,
                         std::uint32_t pointerBytes = sizeof(void*));

// The platform services of the handoff.
class ReporterPlatform {
 public:
  // CreateFileMappingA of the paging file, kMiniDumperParamsSize bytes,
  // named kMiniDumperParamsName: creates it or opens the existing one.
  // Null on failure.
  virtual void* CreateParamsMapping() = 0;
  // The whole mapping, for all access; null on failure.
  virtual unsigned char* MapParams(void* mapping) = 0;
  virtual void UnmapParams(unsigned char* block) = 0;
  virtual void CloseHandle(void* handle) = 0;
  virtual std::uint32_t CurrentProcessId() = 0;
  virtual std::uint32_t CurrentThreadId() = 0;
  virtual bool MemoryUnreadable(const void* address, std::uint32_t size) = 0;
  // Starts `commandLine` (writable; the system may change it) with no
  // application name, this process's own startup information and no
  // inherited handles. False when no process was started.
  virtual bool StartReporter(char* commandLine, void** process, void** thread) = 0;
  // Waits without a time limit until the process has ended.
  virtual void WaitForProcess(void* process) = 0;

 protected:
  ~ReporterPlatform() = default;
};

// HandOffToReporter over an explicit platform.
std::int32_t HandOffWith(DumpRequest& request, ReporterPlatform& platform);

}  // namespace tarvish
