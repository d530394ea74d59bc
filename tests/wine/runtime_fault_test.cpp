// Self-test of the Wine runtime the other tests run on: a program that
// faults must reach its own unhandled-exception filter with the exception
// code of the fault. The crash handler depends on exactly this. Under
// qemu-i386 it holds only with the trap-number preload library
// (tools/qemu/trapno_preload.c); without it every fault arrives as
// 0xC000001D, illegal instruction.
//
// Each fault runs in a child process, the program itself started with
// "--fault <kind>", because an unhandled exception ends its process. That
// also proves that the runtime starts programs of this bitness from within
// Wine (CreateProcess), as the crash handler's reporter needs.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kFilterExitCode = 0x7a;

// Addresses in the first, never mapped 64 KB of every Windows process.
constexpr std::uintptr_t kWriteAddress = 0x20;
constexpr std::uintptr_t kReadAddress = 0x30;

// The child's filter: reports the record on standard output and ends the
// process before Wine's own handling of the crash begins.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  char line[128];
  const int n = std::snprintf(
      line, sizeof line, "code=%08lx info0=%llx info1=%llx\n",
      static_cast<unsigned long>(record->ExceptionCode),
      static_cast<unsigned long long>(record->NumberParameters > 0 ? record->ExceptionInformation[0] : 0),
      static_cast<unsigned long long>(record->NumberParameters > 1 ? record->ExceptionInformation[1] : 0));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(n), &written, nullptr);
  ExitProcess(kFilterExitCode);
}

int Fault(const char* kind) {
  SetUnhandledExceptionFilter(ReportFault);
  volatile int zero = 0;
  // Read through volatiles, so that the compiler neither sees the bad
  // addresses nor folds the division.
  volatile std::uintptr_t writeAddress = kWriteAddress;
  volatile std::uintptr_t readAddress = kReadAddress;
  if (std::strcmp(kind, "write") == 0) {
    *reinterpret_cast<volatile int*>(writeAddress) = 1;
  } else if (std::strcmp(kind, "read") == 0) {
    zero = *reinterpret_cast<volatile int*>(readAddress);
  } else if (std::strcmp(kind, "divide") == 0) {
    zero = 10 / zero;
  } else if (std::strcmp(kind, "illegal") == 0) {
    asm volatile("ud2");
  } else if (std::strcmp(kind, "breakpoint") == 0) {
    asm volatile("int3");
  } else {
    std::fprintf(stderr, "unknown fault kind %s\n", kind);
    return 2;
  }
  std::fprintf(stderr, "fault %s did not fault\n", kind);
  return 3;
}

struct ChildResult {
  bool started = false;
  bool finished = false;
  DWORD exitCode = 0;
  std::string output;
};

// Starts this program with "--fault <kind>" and collects its standard
// output and exit code.
ChildResult RunFaultingChild(const char* kind) {
  ChildResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string commandLine = std::string("\"") + self + "\" --fault " + kind;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  result.started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (result.started) {
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      result.output.append(buffer, got);
    }
    result.finished = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return result;
}

std::string Hex(unsigned long long v) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", v);
  return text;
}

// An access violation also says whether it was a write (info0 1) or a read
// (0), and where (info1).
TEST(Runtime, EachFaultReachesTheFilterWithItsOwnCode) {
  const struct {
    const char* kind;
    std::string expected;  // how the child's report line starts
  } cases[] = {
      {"write", "code=c0000005 info0=1 info1=" + Hex(kWriteAddress)},
      {"read", "code=c0000005 info0=0 info1=" + Hex(kReadAddress)},
      {"divide", "code=c0000094"},
      {"illegal", "code=c000001d"},
      {"breakpoint", "code=80000003"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const ChildResult child = RunFaultingChild(c.kind);
    ASSERT_TRUE(child.started) << "CreateProcess of this program failed, error " << GetLastError();
    ASSERT_TRUE(child.finished) << "the faulting child did not end within two minutes";
    ASSERT_EQ(child.exitCode, kFilterExitCode)
        << "the child's unhandled-exception filter never ran (exit code 0x" << Hex(child.exitCode)
        << ", output \"" << child.output << "\")";
    const bool lostTrapNumber = child.output.rfind("code=c000001d", 0) == 0 &&
                                c.expected.rfind("code=c000001d", 0) != 0;
    EXPECT_EQ(child.output.substr(0, c.expected.size()), c.expected)
        << (lostTrapNumber ? "a fault arriving as an illegal instruction is qemu-i386's lost trap "
                             "number: the trap-number preload library is not in effect"
                           : "the filter saw another exception than the fault");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--fault") == 0) return Fault(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
