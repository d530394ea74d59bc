// Report.exe on its own: what it does with a request it cannot serve. The
// dump it writes for a live process is shown by the minidump writer's test.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/wine/dll_under_test.h"
#include "util/scoped_handle.h"
#include "util/scoped_mapped_view.h"

namespace {

using tarvish::ScopedHandle;
using tarvish::ScopedMappedView;
using tarvish_test::ProgramFolder;

constexpr DWORD kBlockSize = 292;

// Runs Report.exe from this program's folder and returns its exit status.
DWORD RunReport(const std::string& arguments) {
  std::string commandLine = "\"" + ProgramFolder() + "Report.exe\"" + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    ADD_FAILURE() << "Report.exe did not start, error " << GetLastError();
    return 0xFFFFFFFF;
  }
  ScopedHandle process(started.hProcess), thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD status = 0xFFFFFFFF;
  GetExitCodeProcess(process.get(), &status);
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

class ReportWine : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1];
    path_ = std::string(temp, GetTempPathA(sizeof temp, temp)) + "tarvish-report-test.dmp";
    DeleteFileA(path_.c_str());
  }
  void TearDown() override { DeleteFileA(path_.c_str()); }

  std::string path_;
};

TEST_F(ReportWine, ARequestItCannotServeLeavesTheResultAlone) {
  ScopedHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          kBlockSize, "MiniDumperParams"));
  ASSERT_TRUE(mapping);
  ScopedMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  ASSERT_TRUE(view);
  unsigned char* block = tarvish::Bytes(view);
  const DWORD processId = UnusedProcessId();
  ASSERT_NE(processId, 0u);
  std::memcpy(block + 4, &processId, 4);
  const DWORD dumpType = 0;
  std::memcpy(block + 16, &dumpType, 4);
  std::memcpy(block + 20, path_.c_str(), path_.size() + 1);

  const struct {
    const char* what;
    const char* arguments;
    DWORD status;
  } cases[] = {
      {"a process id that does not exist", " -d", 3},
      {"no -d", "", 1},
      {"another argument", " -x", 1},
      {"more than -d", " -d -d", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RunReport(c.arguments), c.status);
    DWORD result;
    std::memcpy(&result, block, 4);
    EXPECT_EQ(result, 0u) << "offset 0 is set only when a dump was written";
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "no file left behind";
  }
}

TEST_F(ReportWine, WithoutARequestBlockItEndsAtOnce) {
  EXPECT_EQ(RunReport(" -d"), 2u);
}

}  // namespace
