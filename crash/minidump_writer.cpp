#include "crash/minidump_writer.h"

#include "crash/dbghelp.h"

namespace tarvish {

volatile std::uint8_t DumpInProgress = 0;
std::atomic<std::uint32_t> DumpWorkerThreadId{0};
// Read by the crash filter, which may run on a thread that interrupted
// anything: no lock may hide behind it.
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

namespace {

// True when `text` has its NUL among its first `limit` characters. Reads no
// further than that.
bool EndsWithin(const char* text, std::uint32_t limit) {
  for (std::uint32_t i = 0; i < limit; ++i) {
    if (text[i] == '\0') return true;
  }
  return false;
}

}  // namespace

std::int32_t WriteMiniDumpWith(MiniDumpPlatform& platform, DbgHelpBinding& binding,
                               DbgHelpLoader& loader, std::uint32_t dumpType, const char* path,
                               std::uint32_t threadId, _EXCEPTION_POINTERS* exceptionPointers) {
  // The checks come before the binding: a bad argument is reported as such
  // even where DBGHELP.DLL is missing.
  if (platform.StringUnreadable(path, kDumpPathCheckLength)) return kDumpBadArgument;
  // The check above stops after 260 characters; a path that goes on past
  // them would be read beyond what was checked when the file is created,
  // and reach the reporter cut short, so that it wrote to another name.
  if (!EndsWithin(path, kDumpPathCheckLength)) return kDumpBadArgument;
  if (exceptionPointers != nullptr &&
      platform.MemoryUnreadable(exceptionPointers, kExceptionPointersCheckSize)) {
    return kDumpBadArgument;
  }
  // Binding states 1 and 2 are the result codes 1 and 2.
  if (!binding.EnsureBound(loader)) return binding.state();

  DumpRequest request{dumpType, path, threadId, exceptionPointers, kWorkerStoredNoResult, 0};

  // Raised before the worker exists: a worker that finishes before this
  // thread gets here again must still find the flag raised, or the spin
  // below would never end.
  DumpInProgress = 1;
  void* thread = platform.CreateWorkerThread(&request);
  if (thread == nullptr) {
    DumpInProgress = 0;
    request.lastError = platform.GetLastError();
    request.result = kWorkerNotCreated;
  } else {
    // A tight spin, with no sleep or yield. It ends when the handoff is
    // over, or when the worker thread has ended without lowering the flag
    // (it ended before running its job, or was terminated): the flag alone
    // would then hold this thread forever. The poll is one non-blocking
    // call, less stack than the thread creation above. The wait covers the
    // worker's own dump; a worker that stored nothing leaves result 7 and
    // last error 0.
    while (DumpInProgress != 0 && !platform.ThreadEnded(thread)) {
    }
    platform.WaitForThread(thread);
    platform.CloseHandle(thread);
    // Lowered for the next call, should the worker have ended with it up.
    DumpInProgress = 0;
    DumpWorkerThreadId.store(0, std::memory_order_release);
  }
  platform.SetLastError(request.lastError);
  return request.result;
}

void RunDumpWorker(DumpRequest& request, MiniDumpPlatform& platform) {
  // First of all: from here on a fault on this thread is known to the crash
  // filter as one on the worker that the crash owner waits for.
  DumpWorkerThreadId.store(platform.CurrentThreadId(), std::memory_order_release);
  std::int32_t result = kDumpWritten;
  if (platform.HandOffToReporter(&request) == 0) {
    void* file = nullptr;
    if (!platform.CreateDumpFile(request.path, &file)) {
      result = kDumpFileNotCreated;
    } else {
      const DumpException exception{request.threadId, request.exceptionPointers};
      const DumpException* info = request.exceptionPointers != nullptr ? &exception : nullptr;
      const std::uint32_t self = platform.CurrentThreadId();
      bool written = false;
      for (int call = 0; call < kMiniDumpWriteDumpCalls && !written; ++call) {
        // A failed call may have written part of a dump: each retry starts
        // from an empty file. After the last failure the file keeps what
        // that call wrote, and the last error stays that call's.
        if (call > 0) platform.RewindDumpFile(file);
        written = platform.MiniDumpWriteDump(file, request.dumpType, info, &self);
      }
      DumpInProgress = 0;
      // A file that was not written stays on disk: what it holds may still
      // help, and deleting it could fail the same way.
      platform.CloseDumpFile(file);
      result = written ? kDumpWritten : kDumpWriteFailed;
    }
  }
  request.result = result;
  request.lastError = platform.GetLastError();
  DumpInProgress = 0;
}

bool KeepInDump(std::uint32_t callbackType, std::uint32_t threadId,
                std::uint32_t workerThreadId) {
  return !(callbackType == kIncludeThreadCallback && threadId == workerThreadId);
}

}  // namespace tarvish
