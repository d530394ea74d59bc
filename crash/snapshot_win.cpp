#include "crash/snapshot_win.h"

#include <cstddef>

#include "crash/crash_file_name.h"
#include "crash/crash_filter_guard.h"
#include "crash/snapshot.h"
#include "crash/snapshot_layout.h"

namespace tarvish {

// The encoder reads these structures by size and pointer position only.
static_assert(sizeof(EXCEPTION_RECORD) == kNativeSnapshotLayout.exceptionRecord);
static_assert(sizeof(CONTEXT) == kNativeSnapshotLayout.context);
static_assert(sizeof(NT_TIB) + 6 * sizeof(void*) == kNativeSnapshotLayout.threadBlockHead);
static_assert(offsetof(NT_TIB, StackBase) == sizeof(void*));
static_assert(offsetof(NT_TIB, StackLimit) == 2 * sizeof(void*));
static_assert(offsetof(EXCEPTION_POINTERS, ContextRecord) == sizeof(void*));
#if defined(__i386__)
static_assert(sizeof(EXCEPTION_RECORD) == 80 && sizeof(CONTEXT) == 716);
#endif

namespace {

// Module storage: the crash gate gives it to one thread at a time. The
// name is not taken from the heap: the heap may be the thing that is
// broken, and a fault inside HeapAlloc would leave its lock held for the
// dump that follows.
DWORD gBytesWritten;
char gSnapshotName[MAX_PATH + 1];
static_assert(sizeof gSnapshotName >= kCrashNameLimit + sizeof kSnapshotExtension - 1,
              "the longest name and its extension fit");

class FileSink final : public SnapshotSink {
 public:
  explicit FileSink(HANDLE file) : file_(file) {}
  bool Write(const void* data, std::uint32_t size) override {
    return WriteFile(file_, data, size, &gBytesWritten, nullptr) != 0;
  }

 private:
  HANDLE file_;
};

class ProcessMemory final : public SnapshotMemory {
 public:
  bool Readable(const void* address, std::size_t size) override {
    return IsBadReadPtr(address, size) == 0;
  }
};

// GCC 12 takes the segment-relative load inside NtCurrentTeb for an access
// outside a zero-length array; kept out of line so that the warning stays
// off here only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
__attribute__((noinline)) const void* CurrentThreadBlock() { return NtCurrentTeb(); }
#pragma GCC diagnostic pop

struct SnapshotJob {
  EXCEPTION_POINTERS* exceptionPointers;
  ScopedFileHandle* file;
};

void WriteSnapshotGuarded(void* raw) {
  auto& job = *static_cast<SnapshotJob*>(raw);
  if (OpenSnapshotFile(*job.file)) WriteSnapshotRecords(job.exceptionPointers, job.file->get());
}

}  // namespace

bool OpenSnapshotFile(ScopedFileHandle& file) {
  gSnapshotName[0] = '\0';
  BuildCrashFileName(CrashNamePrefix, gSnapshotName, kCrashNameLimit, true);
  lstrcatA(gSnapshotName, kSnapshotExtension);
  file.reset(CreateFileA(gSnapshotName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  FileSink sink(file.get());
  WriteSnapshotHeader(sink);
  return true;
}

void WriteSnapshotRecords(EXCEPTION_POINTERS* exceptionPointers, HANDLE file) {
  FileSink sink(file);
  ProcessMemory memory;
  WriteSnapshotRecords(sink, memory, kNativeSnapshotLayout, exceptionPointers, CurrentThreadBlock());
}

void WriteSnapshot(EXCEPTION_POINTERS* exceptionPointers) {
  // The handle lives out here, beyond the guard, so that a fault inside
  // leaves a closed file rather than an open handle.
  ScopedFileHandle file;
  SnapshotJob job{exceptionPointers, &file};
  RunGuarded(&WriteSnapshotGuarded, &job);
}

}  // namespace tarvish
