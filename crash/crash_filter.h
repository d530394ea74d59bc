#pragma once
// The crash filter's decisions: one crash at a time, the stack-overflow
// lines, whether and when to write the snapshot, and the three minidump
// attempts with their names.
//
// Platform-free. crash_filter_win.cpp binds CrashPlatform to Win32 and
// registers the real filter; the host tests drive it with a recording fake.
//
// Everything here may run on a thread whose stack is exhausted: no large
// locals, the dump path lives in module storage.

#include <cstdint>

#include "crash/crash_settings.h"

namespace tarvish {

inline constexpr std::uint32_t kExceptionStackOverflow = 0xC00000FD;
inline constexpr std::int32_t kExceptionContinueSearch = 0;
inline constexpr char kDumpExtension[] = ".dmp";
inline constexpr char kOverflowBanner[] = "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!";
inline constexpr char kOverflowLine[] = "EXCEPTION_STACK_OVERFLOW occurred";
// How many pauses (CrashPlatform::Pause, 20 ms on Win32) a crash on another
// thread waits at most for the one being handled: a minute.
inline constexpr int kSecondCrashPauses = 3000;

// The dump file name of the current attempt. Owned by the thread that holds
// the crash gate.
extern char DumpPath[261];

// The crash filter's view of the platform. `exceptionPointers` is the
// platform's EXCEPTION_POINTERS, passed through untouched.
class CrashPlatform {
 public:
  virtual ~CrashPlatform() = default;
  virtual void DebugOutput(const char* text) = 0;
  virtual std::uint32_t CurrentThreadId() = 0;
  // As BuildCrashFileName (crash/crash_file_name.h).
  virtual void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                                  bool allowTempDirectory) = 0;
  // As WriteMiniDump (crash/minidump_writer.h): 0 is a written dump.
  virtual std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path,
                                     std::uint32_t threadId, void* exceptionPointers) = 0;
  // Writes a snapshot file; contains its own faults.
  virtual void WriteSnapshot(void* exceptionPointers) = 0;
  // Runs body(context) under a catch-all guard. False when a fault ended it
  // early: control comes back here and nothing after the fault runs.
  virtual bool RunGuarded(void (*body)(void*), void* context) = 0;
  // Lets other threads run for a moment (a short sleep).
  virtual void Pause() = 0;
  // True for the minidump writer's own worker thread while it runs
  // (DumpWorkerThreadId, crash/minidump_writer.h).
  virtual bool IsDumpWorker(std::uint32_t threadId) = 0;
};

// One crash at a time, across threads: an indivisible test-and-set, so two
// threads faulting at the same instant never share DumpPath or the
// snapshot's scratch. True when the caller now holds the gate.
bool TryEnterCrash();
void LeaveCrash();

// Up to three attempts, each with a freshly built name; true when one of
// them wrote a dump. A fault in any attempt ends the attempts with false.
bool WriteCrashDump(CrashPlatform& platform, const CrashSettings& settings,
                    const char* namePrefix, void* exceptionPointers);

// The whole filter. Always kExceptionContinueSearch: the platform's default
// handling of the exception follows.
//
// A crash on another thread while one is being handled writes nothing and
// waits until the first is done before it answers: the default handling
// that follows its answer ends the process, which would cut the first
// crash's files short. The wait is bounded (kSecondCrashPauses), since the
// second crash may be on a thread the first one is waiting for. A fault on
// the handling thread itself that escapes the guards answers at once, and so
// does a fault on the dump writer's own worker thread, whatever the gate
// says: the crash owner waits for that very thread, and the worker never
// handles a crash of its own.
std::int32_t HandleCrash(CrashPlatform& platform, const CrashSettings& settings,
                         const char* namePrefix, std::uint32_t exceptionCode,
                         void* exceptionPointers);

}  // namespace tarvish
