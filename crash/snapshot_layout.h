#pragma once
// The sizes of the platform structures a snapshot file carries, for each
// build. These are the only architecture-dependent facts of the format;
// snapshot_win.cpp asserts them against the platform's own headers, and a
// reader tells the two builds apart by the exception record's length.

#include <cstdint>

namespace tarvish {

struct SnapshotLayout {
  std::uint16_t exceptionRecord;  // EXCEPTION_RECORD
  std::uint16_t context;          // CONTEXT, extended registers included
  // The thread environment block up to and including its process
  // environment block pointer: NT_TIB, then the environment pointer, the
  // client id (process, thread), the RPC handle, the TLS pointer and the PEB.
  std::uint16_t threadBlockHead;
};

inline constexpr SnapshotLayout kSnapshotLayoutX86{80, 716, 52};
inline constexpr SnapshotLayout kSnapshotLayoutX64{152, 1232, 104};

// The layout of the build this file is compiled into.
inline constexpr SnapshotLayout kNativeSnapshotLayout =
    sizeof(void*) == 4 ? kSnapshotLayoutX86 : kSnapshotLayoutX64;

}  // namespace tarvish
