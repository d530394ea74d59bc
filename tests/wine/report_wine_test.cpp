// Report.exe on its own: what it does with a request it cannot serve. The
// dump it writes for a live process is shown by the minidump writer's test.

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "crash/minidumper_params.h"
#include "tests/wine/dll_under_test.h"
#include "util/scoped_handle.h"
#include "util/scoped_mapped_view.h"

namespace {

using ::testing::HasSubstr;
using tarvish::ScopedHandle;
using tarvish::ScopedMappedView;
using tarvish_test::ProgramFolder;

constexpr DWORD kStale = 7;

// Runs Report.exe from this program's folder and returns its exit status;
// `errors`, when given, receives what it wrote to its standard error.
DWORD RunReport(const std::string& arguments, std::string* errors = nullptr) {
  std::string commandLine = "\"" + ProgramFolder() + "Report.exe\"" + arguments;
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    ADD_FAILURE() << "no pipe, error " << GetLastError();
    return 0xFFFFFFFF;
  }
  ScopedHandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    ADD_FAILURE() << "Report.exe did not start, error " << GetLastError();
    return 0xFFFFFFFF;
  }
  ScopedHandle process(started.hProcess), thread(started.hThread);
  writer.reset();  // the pipe ends when Report's copy of it is closed
  std::string output;
  char buffer[512];
  DWORD n = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) output.append(buffer, n);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD status = 0xFFFFFFFF;
  GetExitCodeProcess(process.get(), &status);
  if (errors != nullptr) *errors = output;
  return status;
}

// A process id that names no process right now.
DWORD UnusedProcessId() {
  for (DWORD id = 0x7FFFFFF0; id > 0x1000; id -= 4) {
    ScopedHandle probe(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id));
    if (!probe) return id;
  }
  return 0;
}

// A request block as the library leaves it, with a stale result from an
// earlier request at offset 0.
class RequestBlock {
 public:
  RequestBlock()
      : mapping_(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    tarvish::kMiniDumperParamsSize, tarvish::kMiniDumperParamsName)),
        view_(mapping_ ? MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr) {}

  bool ok() const { return static_cast<bool>(view_); }

  void Request(DWORD processId, const std::string& path) {
    unsigned char* block = tarvish::Bytes(view_);
    tarvish::StoreParams32(block, tarvish::kParamsProcessId, processId);
    tarvish::StoreParams32(block, tarvish::kParamsDumpType, 0);
    std::memcpy(block + tarvish::kParamsPath, path.c_str(), path.size() + 1);
  }

  void SetResult(DWORD value) {
    tarvish::StoreParams32(tarvish::Bytes(view_), tarvish::kParamsResult, value);
  }
  DWORD Result() const { return tarvish::LoadParams32(tarvish::Bytes(view_), tarvish::kParamsResult); }

 private:
  ScopedHandle mapping_;
  ScopedMappedView view_;
};

class ReportWine : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = tarvish_test::TempDirectory() + "tarvish-report-test.dmp";
    DeleteFileA(path_.c_str());
  }
  void TearDown() override { DeleteFileA(path_.c_str()); }

  std::string path_;
};

TEST_F(ReportWine, ARequestItCannotServeLeavesNoResult) {
  RequestBlock block;
  ASSERT_TRUE(block.ok());
  const DWORD processId = UnusedProcessId();
  ASSERT_NE(processId, 0u);
  block.Request(processId, path_);

  const struct {
    const char* what;
    const char* arguments;
    DWORD status;
    DWORD result;  // what offset 0 holds afterwards
  } cases[] = {
      // Report took the request: a stale value from an earlier one is
      // cleared, and nothing is set for a dump it did not write.
      {"a process id that does not exist", " -d", 3, 0},
      // Report never looked at the block.
      {"no -d", "", 1, kStale},
      {"another argument", " -x", 1, kStale},
      {"more than -d", " -d -d", 1, kStale},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    block.SetResult(kStale);
    EXPECT_EQ(RunReport(c.arguments), c.status);
    EXPECT_EQ(block.Result(), c.result) << "offset 0 is set only when a dump was written";
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "no file left behind";
  }
}

TEST_F(ReportWine, WithoutARequestBlockItEndsAtOnce) {
  EXPECT_EQ(RunReport(" -d"), 2u);
}

TEST_F(ReportWine, TheUsageTextNamesEveryExitStatus) {
  std::string errors;
  EXPECT_EQ(RunReport("", &errors), 1u);
  EXPECT_THAT(errors, HasSubstr("usage: Report -d"));
  for (const char* status : {"0 dump written", "1 bad command line", "2 no request block",
                             "3 the crashing process", "4 the dump file", "5 MiniDumpWriteDump",
                             "6 the crashing process is not of Report's width"}) {
    // The text is one paragraph; line ends may fall inside an entry.
    std::string flat = errors, wanted = status;
    for (std::string* s : {&flat, &wanted}) {
      std::string out;
      for (char ch : *s) {
        if (ch == '\r') continue;
        out += ch == '\n' ? ' ' : ch;
      }
      *s = out;
    }
    EXPECT_THAT(flat, HasSubstr(wanted));
  }
}

// A program of the other width than this test (and Report, which is built
// with it): a 32-bit one for the 64-bit build and the other way round.
std::string ProgramOfTheOtherWidth() {
  char folder[MAX_PATH + 1] = {};
  if (sizeof(void*) == 8) {
    const UINT n = GetSystemWow64DirectoryA(folder, sizeof folder);
    if (n == 0 || n >= sizeof folder) return "";
    return std::string(folder, n) + "\\notepad.exe";
  }
  // A 32-bit program on a 64-bit system reaches the native system folder
  // through "Sysnative"; on a 32-bit system there is no other width.
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return "";
  const UINT n = GetWindowsDirectoryA(folder, sizeof folder);
  if (n == 0 || n >= sizeof folder) return "";
  return std::string(folder, n) + "\\Sysnative\\notepad.exe";
}

// A 64-bit Report would read a 32-bit library's request with its own
// pointer width (taking the reserved field at 288 for the high half of the
// address) and dbghelp would walk the process at the wrong width. Report
// refuses such a process, writes nothing and sets no result.
TEST_F(ReportWine, ACrashingProcessOfTheOtherWidthIsRefused) {
  const std::string program = ProgramOfTheOtherWidth();
  if (program.empty()) GTEST_SKIP() << "no program of the other width on this system";
  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &started)) {
    GTEST_SKIP() << program << " did not start (error " << GetLastError()
                 << "): this Wine runs no programs of the other width";
  }
  ScopedHandle process(started.hProcess), thread(started.hThread);
  BOOL selfWow64 = FALSE, otherWow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &selfWow64));
  ASSERT_TRUE(IsWow64Process(process.get(), &otherWow64));
  ASSERT_NE(selfWow64, otherWow64) << program << " is of this program's width";

  RequestBlock block;
  ASSERT_TRUE(block.ok());
  block.Request(started.dwProcessId, path_);
  block.SetResult(kStale);
  std::string errors;
  EXPECT_EQ(RunReport(" -d", &errors), 6u) << errors;
  EXPECT_THAT(errors, HasSubstr("width"));
  EXPECT_EQ(block.Result(), 0u) << "no result for a dump that was not written";
  EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "no file created";

  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 10000);
}

}  // namespace
