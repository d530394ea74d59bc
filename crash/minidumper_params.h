#pragma once
// The "MiniDumperParams" block: the one definition of its name, size and
// layout, and of the reporter's command line, shared by the library's
// reporter handoff (crash/reporter_handoff.*), which writes a request into
// it, and by Report.exe (tools/report), which reads it and answers at
// offset 0. Platform-free and header-only, so that Report builds it without
// linking the library's code and the host tests read it too.
//
// Layout, 292 bytes, 32-bit little-endian fields:
//     0  result: set nonzero by the reporter once it has written the dump;
//        never written by the library
//     4  process id of the crashing process
//     8  id of the thread that hands off and waits (the writer's worker)
//    12  id of the faulting thread           (only with exception information)
//    16  MINIDUMP_TYPE flags
//    20  dump file path, ANSI, NUL-terminated, at most 259 characters
//   280  reserved
//   284  address of the crashing process's EXCEPTION_POINTERS, low 32 bits
//                                             (only with exception information)
//   288  64-bit builds: the high 32 bits of that address (only with exception
//        information); 32-bit builds leave it reserved and unwritten
//
// A request is read at the width of the reader's own pointers, which is
// that of the library it serves: a 64-bit Report takes the high half at 288,
// a 32-bit one does not. Report refuses a crashing process of the other
// width (tools/report/Report.cpp).

#include <cstdint>

namespace tarvish {

inline constexpr char kMiniDumperParamsName[] = "MiniDumperParams";
inline constexpr char kReporterCommandLine[] = "Report -d";

inline constexpr std::uint32_t kMiniDumperParamsSize = 292;
inline constexpr std::uint32_t kParamsResult = 0;
inline constexpr std::uint32_t kParamsProcessId = 4;
inline constexpr std::uint32_t kParamsWaitingThreadId = 8;
inline constexpr std::uint32_t kParamsFaultingThreadId = 12;
inline constexpr std::uint32_t kParamsDumpType = 16;
inline constexpr std::uint32_t kParamsPath = 20;
inline constexpr std::uint32_t kParamsPathSize = 260;
inline constexpr std::uint32_t kParamsReserved = 280;
inline constexpr std::uint32_t kParamsExceptionPointers = 284;
inline constexpr std::uint32_t kParamsExceptionPointersHigh = 288;

static_assert(kParamsPath + kParamsPathSize == kParamsReserved);
static_assert(kParamsExceptionPointersHigh + 4 == kMiniDumperParamsSize);

// One 32-bit little-endian field of the block, byte by byte: no alignment
// or byte order of the host is assumed.
inline void StoreParams32(unsigned char* block, std::uint32_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) block[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

inline std::uint32_t LoadParams32(const unsigned char* block, std::uint32_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | block[offset + i];
  return value;
}

// A request as the reporter reads it.
struct MiniDumperRequest {
  std::uint32_t processId;
  std::uint32_t waitingThreadId;
  std::uint32_t faultingThreadId;
  std::uint32_t dumpType;
  // The crashing process's EXCEPTION_POINTERS address; 0 for none.
  std::uint64_t exceptionPointers;
  // The path field, ended within it whether or not the block holds a NUL:
  // the block is anyone's to write.
  char path[kParamsPathSize + 1];
};

// Reads the request out of a block of kMiniDumperParamsSize bytes.
// `pointerBytes` is the width of an address in the crashing process (4 or
// 8); only 8 takes the high half at offset 288.
inline MiniDumperRequest ReadMiniDumperParams(const unsigned char* block,
                                              std::uint32_t pointerBytes = sizeof(void*)) {
  MiniDumperRequest r{};
  r.processId = LoadParams32(block, kParamsProcessId);
  r.waitingThreadId = LoadParams32(block, kParamsWaitingThreadId);
  r.faultingThreadId = LoadParams32(block, kParamsFaultingThreadId);
  r.dumpType = LoadParams32(block, kParamsDumpType);
  for (std::uint32_t i = 0; i < kParamsPathSize; ++i) {
    r.path[i] = static_cast<char>(block[kParamsPath + i]);
  }
  r.path[kParamsPathSize] = '\0';
  r.exceptionPointers = LoadParams32(block, kParamsExceptionPointers);
  if (pointerBytes == 8) {
    r.exceptionPointers |= std::uint64_t{LoadParams32(block, kParamsExceptionPointersHigh)} << 32;
  }
  return r;
}

}  // namespace tarvish
