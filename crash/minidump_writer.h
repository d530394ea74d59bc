#pragma once
// The minidump writer: writes a minidump of the running process on a worker
// thread of its own (or through the external reporter program).
//
// The calling thread, which inside the crash filter is the faulting thread
// and may have an exhausted stack, only checks the arguments, binds
// DBGHELP.DLL, starts the worker and waits for it. All dump work runs on the
// worker's own stack.

#include <atomic>
#include <cstdint>

struct _EXCEPTION_POINTERS;

namespace tarvish {

// Result codes of WriteMiniDump.
enum MiniDumpResult : std::int32_t {
  kDumpWritten = 0,
  kDbgHelpMissing = 1,
  kMiniDumpWriteDumpMissing = 2,
  kDumpBadArgument = 3,
  kDumpFileNotCreated = 4,
  kDumpWriteFailed = 5,
  kWorkerNotCreated = 6,
  kWorkerStoredNoResult = 7,
};

// Windows builds only. `path` must outlive the call and end within 260
// characters (259 and its NUL), else the result is 3; `exceptionPointers`
// may be null (the dump then carries no exception information). Not
// reentrant: the crash filter admits one caller at a time.
//
// On return the calling thread's last-error value is the worker's final one
// when a worker was started (results 0, 4, 5, 7), that of the failed thread
// creation for 6, and untouched for 1, 2 and 3.
std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path, std::uint32_t threadId,
                           _EXCEPTION_POINTERS* exceptionPointers);

// --- What the caller hands to the worker ----------------------------------

// Lives in the caller's frame for exactly one WriteMiniDump call. The caller
// reads result and lastError only after the worker has ended.
struct DumpRequest {
  std::uint32_t dumpType;
  const char* path;
  std::uint32_t threadId;
  _EXCEPTION_POINTERS* exceptionPointers;
  std::int32_t result;
  std::uint32_t lastError;
};

// Caller/worker handshake: the caller spins until the worker (or the
// reporter handoff on the worker) lowers it, or until the worker thread has
// ended without lowering it. A plain volatile byte, no lock.
extern volatile std::uint8_t DumpInProgress;

// The id of the dump worker thread while it runs, else 0. The worker stores
// its own id before anything else; the caller clears it once the worker has
// ended. The crash filter reads it to recognise a fault on the worker: the
// crash owner is waiting for that very thread, so the filter must answer
// such a fault at once instead of waiting for the owner.
extern std::atomic<std::uint32_t> DumpWorkerThreadId;

// How many times MiniDumpWriteDump is called before the writer gives up.
constexpr int kMiniDumpWriteDumpCalls = 20;

// Limits of the argument checks. EXCEPTION_POINTERS is two native pointers
// (ExceptionRecord, ContextRecord): 8 bytes on 32-bit builds and 16 on
// 64-bit ones, where checking 8 would leave ContextRecord unchecked. minidump_writer_win.cpp pins
// it to sizeof(EXCEPTION_POINTERS).
constexpr std::uint32_t kDumpPathCheckLength = 260;
constexpr std::uint32_t kExceptionPointersCheckSize = 2 * sizeof(void*);

// The faulting thread's exception as the dump records it.
struct DumpException {
  std::uint32_t threadId;
  _EXCEPTION_POINTERS* pointers;
};

// The platform services of the writer. Caller-side calls run on the calling
// thread, worker-side calls on the worker; GetLastError and SetLastError act
// on the thread they are called from.
class MiniDumpPlatform {
 public:
  // Caller side.
  virtual bool StringUnreadable(const char* text, std::uint32_t maxLength) = 0;
  virtual bool MemoryUnreadable(const void* address, std::uint32_t size) = 0;
  // Starts a thread that runs RunDumpWorker(*request, <this platform>).
  // Returns its handle, or null with the thread's last error set.
  virtual void* CreateWorkerThread(DumpRequest* request) = 0;
  // True once the thread has ended (or can no longer be waited on): polled
  // in the caller's spin, so it must not block. Win32: WaitForSingleObject
  // with a zero timeout gives anything but WAIT_TIMEOUT.
  virtual bool ThreadEnded(void* thread) = 0;
  // Waits without a time limit until the thread has ended.
  virtual void WaitForThread(void* thread) = 0;
  virtual void CloseHandle(void* handle) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual void SetLastError(std::uint32_t error) = 0;

  // Worker side.
  // Offers the request to the reporter; nonzero when it wrote the dump.
  virtual std::int32_t HandOffToReporter(DumpRequest* request) = 0;
  // Creates (or replaces) the dump file; false when it could not.
  virtual bool CreateDumpFile(const char* path, void** file) = 0;
  // Empties the dump file and moves its file pointer back to its start
  // (Win32: SetFilePointer to 0, SetEndOfFile), so that a retry starts from
  // an empty file and a failed partial write leaves no stale bytes behind.
  virtual void RewindDumpFile(void* file) = 0;
  virtual void CloseDumpFile(void* file) = 0;
  virtual std::uint32_t CurrentThreadId() = 0;
  // One MiniDumpWriteDump call of the current process into `file`.
  // `exception` is null for a dump without exception information; the
  // thread whose id `excludedThreadId` points to is left out of the dump.
  virtual bool MiniDumpWriteDump(void* file, std::uint32_t dumpType,
                                 const DumpException* exception,
                                 const std::uint32_t* excludedThreadId) = 0;

 protected:
  ~MiniDumpPlatform() = default;
};

class DbgHelpBinding;
class DbgHelpLoader;

// WriteMiniDump over explicit platform and binding.
std::int32_t WriteMiniDumpWith(MiniDumpPlatform& platform, DbgHelpBinding& binding,
                               DbgHelpLoader& loader, std::uint32_t dumpType, const char* path,
                               std::uint32_t threadId, _EXCEPTION_POINTERS* exceptionPointers);

// The worker thread's whole job: records its thread id in
// DumpWorkerThreadId, stores the request's result and last error and lowers
// DumpInProgress before it returns.
void RunDumpWorker(DumpRequest& request, MiniDumpPlatform& platform);

// The verdict of the dump callback: false only for the include-thread
// callback (type 3) about the worker thread itself.
bool KeepInDump(std::uint32_t callbackType, std::uint32_t threadId,
                std::uint32_t workerThreadId);

// MINIDUMP_CALLBACK_TYPE's IncludeThreadCallback.
constexpr std::uint32_t kIncludeThreadCallback = 3;

}  // namespace tarvish
