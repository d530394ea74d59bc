// Report: writes the minidump that a crashing process asks for, from outside
// that process. Started by the crashing process as "Report -d"; it finds the
// request in the shared block "MiniDumperParams", dumps the process named
// there into the file named there, sets the block's result to 1 when the
// dump was written, and exits. Working from outside means no code of ours
// runs in a process whose state is already broken.
//
// Exit status: 0 dump written; 1 bad command line; 2 no request block;
// 3 the crashing process could not be opened; 4 the dump file could not be
// created; 5 MiniDumpWriteDump failed. Only 0 sets the block's result.
//
// Block layout (292 bytes, 32-bit little-endian fields):
//     0 result (ours to set)      4 process id      8 id of the thread that
//    waits for us                12 faulting thread id (with exception only)
//    16 MINIDUMP_TYPE            20 dump path, 260 bytes, NUL-terminated
//   284 EXCEPTION_POINTERS address in the crashing process, low 32 bits
//   288 64-bit builds: its high 32 bits
// A 64-bit Report serves the 64-bit library, a 32-bit Report the 32-bit one;
// each reads the address at the width of its own pointers.

#include <windows.h>

#include <dbghelp.h>

#include <cstdio>
#include <cstring>

#include "util/scoped_file_handle.h"
#include "util/scoped_handle.h"
#include "util/scoped_mapped_view.h"

namespace {

using tarvish::ScopedFileHandle;
using tarvish::ScopedHandle;
using tarvish::ScopedMappedView;

constexpr char kBlockName[] = "MiniDumperParams";
constexpr DWORD kBlockSize = 292;
constexpr DWORD kResult = 0, kProcessId = 4, kWaitingThreadId = 8, kFaultingThreadId = 12,
                kDumpType = 16, kPath = 20, kPathSize = 260, kPointersLow = 284,
                kPointersHigh = 288;

enum Exit { kWritten = 0, kUsage = 1, kNoRequest = 2, kNoProcess = 3, kNoFile = 4, kNotWritten = 5 };

struct Request {
  DWORD processId;
  DWORD waitingThreadId;
  DWORD faultingThreadId;
  DWORD dumpType;
  ULONG64 exceptionPointers;
  char path[kPathSize + 1];
};

DWORD Load32(const unsigned char* block, DWORD offset) {
  DWORD value;
  std::memcpy(&value, block + offset, sizeof value);
  return value;
}

Request ReadRequest(const unsigned char* block) {
  Request r{};
  r.processId = Load32(block, kProcessId);
  r.waitingThreadId = Load32(block, kWaitingThreadId);
  r.faultingThreadId = Load32(block, kFaultingThreadId);
  r.dumpType = Load32(block, kDumpType);
  // The block is anyone's to write: the path ends within its field whether
  // or not it holds a NUL.
  std::memcpy(r.path, block + kPath, kPathSize);
  r.path[kPathSize] = '\0';
  r.exceptionPointers = Load32(block, kPointersLow);
  if (sizeof(void*) == 8) r.exceptionPointers |= ULONG64{Load32(block, kPointersHigh)} << 32;
  return r;
}

// The thread that waits for us has nothing to show; leave it out, as the
// library leaves its own worker out when it writes the dump itself.
BOOL CALLBACK SkipWaitingThread(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                PMINIDUMP_CALLBACK_OUTPUT) {
  return !(input->CallbackType == IncludeThreadCallback &&
           input->IncludeThread.ThreadId == *static_cast<const DWORD*>(param));
}

int Fail(Exit status, const char* what, const char* detail = "") {
  std::fprintf(stderr, "Report: %s%s (error %lu)\n", what, detail, GetLastError());
  return status;
}

int WriteRequestedDump() {
  ScopedHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kBlockName));
  if (!mapping) return Fail(kNoRequest, "no dump request: cannot open ", kBlockName);
  ScopedMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, kBlockSize));
  if (!view) return Fail(kNoRequest, "cannot map ", kBlockName);

  Request r = ReadRequest(tarvish::Bytes(view));
  if (r.path[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return Fail(kNoFile, "the request names no dump file");
  }

  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE,
                                   FALSE, r.processId));
  if (!process) return Fail(kNoProcess, "cannot open the crashing process");

  ScopedFileHandle file(CreateFileA(r.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return Fail(kNoFile, "cannot create ", r.path);

  // The pointers live in the crashing process (ClientPointers): dbghelp
  // reads them from there.
  MINIDUMP_EXCEPTION_INFORMATION exception{};
  exception.ThreadId = r.faultingThreadId;
  exception.ExceptionPointers =
      reinterpret_cast<PEXCEPTION_POINTERS>(static_cast<ULONG_PTR>(r.exceptionPointers));
  exception.ClientPointers = TRUE;

  // A comment stream marks the dump as ours, for whoever reads it later.
  char comment[96];
  std::snprintf(comment, sizeof comment, "Written by Report (process %lu) for process %lu",
                GetCurrentProcessId(), r.processId);
  MINIDUMP_USER_STREAM stream{CommentStreamA, static_cast<ULONG>(std::strlen(comment) + 1), comment};
  MINIDUMP_USER_STREAM_INFORMATION streams{1, &stream};
  MINIDUMP_CALLBACK_INFORMATION callback{SkipWaitingThread, &r.waitingThreadId};

  if (!MiniDumpWriteDump(process.get(), r.processId, file.get(), static_cast<MINIDUMP_TYPE>(r.dumpType),
                         r.exceptionPointers != 0 ? &exception : nullptr, &streams, &callback)) {
    const DWORD error = GetLastError();
    // The library writes the dump itself when we do not; leave it no
    // half-written file to mistake for ours.
    file.reset();
    DeleteFileA(r.path);
    SetLastError(error);
    return Fail(kNotWritten, "MiniDumpWriteDump failed for ", r.path);
  }
  file.reset();

  const DWORD written = 1;
  std::memcpy(tarvish::Bytes(view) + kResult, &written, sizeof written);
  std::printf("Report: wrote %s for process %lu\n", r.path, r.processId);
  return kWritten;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-d") != 0) {
    std::fprintf(stderr, "usage: Report -d\n");
    return kUsage;
  }
  return WriteRequestedDump();
}
