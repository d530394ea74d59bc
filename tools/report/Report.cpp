// Report: writes the minidump that a crashing process asks for, from outside
// that process. Started by the crashing process as "Report -d"; it finds the
// request in the shared block "MiniDumperParams", dumps the process named
// there into the file named there, sets the block's result to 1 when the
// dump was written, and exits. Working from outside means no code of ours
// runs in a process whose state is already broken.
//
// The block's name, size and layout are crash/minidumper_params.h, the one
// definition that the library's handoff writes by. Report reads the address
// of the exception pointers at the width of its own pointers, so it serves
// only a process of its own width: a 64-bit Report the 64-bit library, a
// 32-bit Report the 32-bit one. A 64-bit Report would take a 32-bit
// process's reserved field at 288 for the address's high half, and dbghelp
// would read the process's records at the wrong width.
//
// Exit status (also in the usage text, kUsageText below):
//   0 dump written; 1 bad command line; 2 no request block; 3 the crashing
//   process could not be opened; 4 the dump file could not be created;
//   5 MiniDumpWriteDump failed (or the file could not be completed);
//   6 the crashing process is not of Report's width (or its width cannot be
//   told). Report clears the block's result once it has the block, and sets
//   it to 1 only with status 0.

#include <windows.h>

#include <dbghelp.h>

#include <cstdio>
#include <cstring>

#include "crash/minidumper_params.h"
#include "util/scoped_file_handle.h"
#include "util/scoped_handle.h"
#include "util/scoped_mapped_view.h"

namespace {

using tarvish::ScopedFileHandle;
using tarvish::ScopedHandle;
using tarvish::ScopedMappedView;

enum Exit {
  kWritten = 0,
  kUsage = 1,
  kNoRequest = 2,
  kNoProcess = 3,
  kNoFile = 4,
  kNotWritten = 5,
  kOtherWidth = 6,
};

constexpr char kUsageText[] =
    "usage: Report -d\n"
    "Writes the minidump that the crashing process asks for in the shared block\n"
    "MiniDumperParams, and sets the block's result to 1 when it was written.\n"
    "Exit status: 0 dump written; 1 bad command line; 2 no request block;\n"
    "3 the crashing process could not be opened; 4 the dump file could not be\n"
    "created; 5 MiniDumpWriteDump failed; 6 the crashing process is not of\n"
    "Report's width (32-bit against 64-bit), or its width cannot be told.\n";

// The thread that waits for us has nothing to show; leave it out, as the
// library leaves its own worker out when it writes the dump itself.
BOOL CALLBACK SkipWaitingThread(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                PMINIDUMP_CALLBACK_OUTPUT) {
  return !(input->CallbackType == IncludeThreadCallback &&
           input->IncludeThread.ThreadId == *static_cast<const DWORD*>(param));
}

// True when `process` runs at this program's width. Under WOW64 a 32-bit
// process is "WOW64" and a 64-bit one is not; on a 32-bit system neither
// is. False, with the last error set, when that cannot be told.
bool SameWidthAsThisProgram(HANDLE process) {
  BOOL selfWow64 = FALSE;
  BOOL targetWow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &selfWow64) || !IsWow64Process(process, &targetWow64)) {
    return false;
  }
  if (selfWow64 != targetWow64) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return false;
  }
  return true;
}

int Fail(Exit status, const char* what, const char* detail = "") {
  std::fprintf(stderr, "Report: %s%s (error %lu)\n", what, detail, GetLastError());
  return status;
}

int WriteRequestedDump() {
  ScopedHandle mapping(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, tarvish::kMiniDumperParamsName));
  if (!mapping) {
    return Fail(kNoRequest, "no dump request: cannot open ", tarvish::kMiniDumperParamsName);
  }
  ScopedMappedView view(
      MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, tarvish::kMiniDumperParamsSize));
  if (!view) return Fail(kNoRequest, "cannot map ", tarvish::kMiniDumperParamsName);
  unsigned char* block = tarvish::Bytes(view);

  // The result speaks of this request alone: a value left from an earlier
  // one (the library opens an existing block without clearing it) must not
  // pass for a dump we did not write.
  tarvish::StoreParams32(block, tarvish::kParamsResult, 0);

  tarvish::MiniDumperRequest r = tarvish::ReadMiniDumperParams(block);
  if (r.path[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return Fail(kNoFile, "the request names no dump file");
  }

  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE,
                                   FALSE, r.processId));
  if (!process) return Fail(kNoProcess, "cannot open the crashing process");
  // Before any file exists: a process of the other width gets no dump from
  // us, and the library then writes its own.
  if (!SameWidthAsThisProgram(process.get())) {
    return Fail(kOtherWidth, "the crashing process is not of this reporter's width",
                sizeof(void*) == 8 ? " (64-bit)" : " (32-bit)");
  }

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
                GetCurrentProcessId(), static_cast<unsigned long>(r.processId));
  MINIDUMP_USER_STREAM stream{CommentStreamA, static_cast<ULONG>(std::strlen(comment) + 1), comment};
  MINIDUMP_USER_STREAM_INFORMATION streams{1, &stream};
  DWORD waitingThreadId = r.waitingThreadId;
  MINIDUMP_CALLBACK_INFORMATION callback{SkipWaitingThread, &waitingThreadId};

  const BOOL written =
      MiniDumpWriteDump(process.get(), r.processId, file.get(), static_cast<MINIDUMP_TYPE>(r.dumpType),
                        r.exceptionPointers != 0 ? &exception : nullptr, &streams, &callback);
  DWORD error = GetLastError();
  // Only a file that was written and then closed without error is a dump:
  // the close is where the last of it reaches the disk.
  const bool closed = CloseHandle(file.release()) != FALSE;
  if (written && !closed) error = GetLastError();
  if (!written || !closed) {
    // The library writes the dump itself when we do not; leave it no
    // half-written file to mistake for ours.
    DeleteFileA(r.path);
    SetLastError(error);
    return Fail(kNotWritten, written ? "cannot complete " : "MiniDumpWriteDump failed for ", r.path);
  }

  tarvish::StoreParams32(block, tarvish::kParamsResult, 1);
  std::printf("Report: wrote %s for process %lu\n", r.path, static_cast<unsigned long>(r.processId));
  return kWritten;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-d") != 0) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  return WriteRequestedDump();
}
