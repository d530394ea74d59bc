#pragma once
// The minidump writer: writes a minidump of the running process on a worker
// thread of its own (or through the external reporter program).

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

// Windows builds only. `path` must outlive the call; `exceptionPointers` may
// be null (the dump then carries no exception information). Not reentrant:
// the crash filter admits one caller at a time.
std::int32_t WriteMiniDump(std::uint32_t dumpType, const char* path, std::uint32_t threadId,
                           _EXCEPTION_POINTERS* exceptionPointers);

}  // namespace tarvish
