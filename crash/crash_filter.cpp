#include "crash/crash_filter.h"

#include <atomic>
#include <cstring>

#include "crash/crash_file_name.h"

namespace tarvish {

char DumpPath[261];

namespace {

// Lock-free on every target we build for: the exchange is one xchg, which
// is safe to run from a filter that interrupted anything.
std::atomic<bool> gCrashInProgress{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void* gCrashExceptionPointers = nullptr;
// The thread that holds the gate; read only by threads turned away.
std::atomic<std::uint32_t> gCrashOwner{0};

struct AttemptContext {
  CrashPlatform* platform;
  const CrashSettings* settings;
  const char* namePrefix;
  bool written;
};

// The attempts run as one guarded body, so that a fault in any of them
// abandons the rest.
void RunDumpAttempts(void* raw) {
  auto& c = *static_cast<AttemptContext*>(raw);
  struct Attempt {
    bool withPrefix;
    bool allowTemp;
  };
  static constexpr Attempt kAttempts[] = {{true, true}, {false, true}, {false, false}};
  for (const Attempt& attempt : kAttempts) {
    DumpPath[0] = '\0';
    c.platform->BuildCrashFileName(attempt.withPrefix ? c.namePrefix : nullptr, DumpPath,
                                   kCrashNameLimit, attempt.allowTemp);
    // The name builder honours the limit, which leaves room for the extension.
    std::strncat(DumpPath, kDumpExtension, sizeof DumpPath - std::strlen(DumpPath) - 1);
    if (c.platform->WriteMiniDump(c.settings->dumpType, DumpPath, c.platform->CurrentThreadId(),
                                  gCrashExceptionPointers) == 0) {
      c.written = true;
      return;
    }
  }
}

}  // namespace

bool TryEnterCrash() { return !gCrashInProgress.exchange(true, std::memory_order_acq_rel); }

void LeaveCrash() { gCrashInProgress.store(false, std::memory_order_release); }

bool WriteCrashDump(CrashPlatform& platform, const CrashSettings& settings,
                    const char* namePrefix, void* exceptionPointers) {
  gCrashExceptionPointers = exceptionPointers;
  AttemptContext context{&platform, &settings, namePrefix, false};
  if (!platform.RunGuarded(&RunDumpAttempts, &context)) return false;
  return context.written;
}

std::int32_t HandleCrash(CrashPlatform& platform, const CrashSettings& settings,
                         const char* namePrefix, std::uint32_t exceptionCode,
                         void* exceptionPointers) {
  const std::uint32_t self = platform.CurrentThreadId();
  // The dump worker: the crash owner is waiting for this thread, so waiting
  // here for the owner would only stall both for the full bound; and it
  // must not take the gate and start a dump from inside a dump.
  if (platform.IsDumpWorker(self)) return kExceptionContinueSearch;
  if (!TryEnterCrash()) {
    if (gCrashOwner.load(std::memory_order_acquire) != self) {
      for (int i = 0; i < kSecondCrashPauses && gCrashInProgress.load(std::memory_order_acquire);
           ++i) {
        platform.Pause();
      }
    }
    return kExceptionContinueSearch;
  }
  gCrashOwner.store(self, std::memory_order_release);
  gCrashExceptionPointers = exceptionPointers;

  if (exceptionCode == kExceptionStackOverflow) {
    platform.DebugOutput(kOverflowBanner);
    platform.DebugOutput(kOverflowLine);
    platform.DebugOutput(kOverflowBanner);
  }

  if (settings.forceQvd != 0) {
    platform.WriteSnapshot(exceptionPointers);
    WriteCrashDump(platform, settings, namePrefix, exceptionPointers);
  } else if (!WriteCrashDump(platform, settings, namePrefix, exceptionPointers) &&
             settings.writeQvd != 0) {
    platform.WriteSnapshot(exceptionPointers);
  }

  gCrashOwner.store(0, std::memory_order_release);
  LeaveCrash();
  return kExceptionContinueSearch;
}

}  // namespace tarvish
