#pragma once
// The snapshot (.qvd) encoder: a 24-byte header, then tagged records
// holding the crash's exception record, processor context, thread block
// head and the top of the faulting thread's stack.
//
// Platform-free: the memory is the process's own, reached through native
// pointers, but every block is tested with SnapshotMemory before it is
// touched, and bytes leave only through SnapshotSink. The payloads are
// handed to the sink where they lie; nothing is copied, so this is safe on
// an exhausted stack.

#include <cstddef>
#include <cstdint>

#include "crash/snapshot_layout.h"

namespace tarvish {

// The file format, shared with the decoder in tools/qvd.
//
// The header: the signature with its NUL, then four fixed bytes.
inline constexpr char kSnapshotSignature[20] = "QuillvexDiagnostics";
inline constexpr unsigned char kSnapshotHeaderTail[4] = {0x01, 0x01, 0x01, 0x00};
inline constexpr std::size_t kSnapshotHeaderSize = 24;
static_assert(sizeof kSnapshotSignature + sizeof kSnapshotHeaderTail == kSnapshotHeaderSize);
// Record tags, in file order; each record occurs at most once.
inline constexpr std::uint16_t kTagExceptionRecord = 0xC000;
inline constexpr std::uint16_t kTagContext = 0xC001;
inline constexpr std::uint16_t kTagThreadBlock = 0xC002;
inline constexpr std::uint16_t kTagStack = 0xC003;
// Largest stack payload: the record length is 16-bit, and the cap keeps it
// a multiple of four.
inline constexpr std::uintptr_t kSnapshotStackCap = 0xFFFC;
inline constexpr char kSnapshotExtension[] = ".qvd";

class SnapshotMemory {
 public:
  virtual ~SnapshotMemory() = default;
  // False when any of the `size` bytes at `address` cannot be read.
  virtual bool Readable(const void* address, std::size_t size) = 0;
};

class SnapshotSink {
 public:
  virtual ~SnapshotSink() = default;
  // Appends `size` bytes; false when the write failed.
  virtual bool Write(const void* data, std::uint32_t size) = 0;
};

// The signature and the four bytes 01 01 01 00, as five writes whose
// results are ignored.
void WriteSnapshotHeader(SnapshotSink& sink);

// Appends the records. `exceptionPointers` is an EXCEPTION_POINTERS (two
// native pointers: exception record, context); `threadBlock` the current
// thread's environment block (NT_TIB first: StackBase and StackLimit are
// its second and third pointers). Neither needs to be readable.
//
// An unreadable exception record is skipped; unreadable exception
// pointers, context, thread block or stack end the records there. A failed
// write abandons the rest of that record only.
void WriteSnapshotRecords(SnapshotSink& sink, SnapshotMemory& memory, const SnapshotLayout& layout,
                          const void* exceptionPointers, const void* threadBlock);

}  // namespace tarvish
