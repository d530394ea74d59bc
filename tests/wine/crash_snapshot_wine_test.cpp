// The snapshot file's Win32 side in a real process, with the encoder and
// the name builder replaced by this program's own: a fault in the middle of
// the records must leave the file closed, holding what was written.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "crash/crash_file_name.h"
#include "crash/snapshot.h"
#include "crash/snapshot_win.h"
#include "tests/wine/dll_under_test.h"

namespace tarvish {

char CrashNamePrefix[261] = "";

namespace {
std::string gName;
int* volatile gNull = nullptr;
bool gFault = false;
const char* gNameBuffer = nullptr;
std::uint32_t gNameSize = 0;
}  // namespace

void BuildCrashFileName(const char*, char* buffer, std::uint32_t size, bool) {
  gNameBuffer = buffer;
  gNameSize = size;
  lstrcpynA(buffer, gName.c_str(), static_cast<int>(size));
}

void WriteSnapshotHeader(SnapshotSink& sink) { sink.Write("HEAD", 4); }

void WriteSnapshotRecords(SnapshotSink& sink, SnapshotMemory&, const SnapshotLayout&, const void*,
                          const void*) {
  sink.Write("REC1", 4);
  if (gFault) *gNull = 1;
  sink.Write("REC2", 4);
}

}  // namespace tarvish

namespace {

std::string TempPath(const char* name) { return tarvish_test::TempDirectory() + name; }

std::string Contents(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[64];
    bytes.assign(buffer, std::fread(buffer, 1, sizeof buffer, f));
    std::fclose(f);
  }
  return bytes;
}

// Nobody holds the file: it can be opened with no sharing at all.
bool Closed(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

TEST(SnapshotFile, AFaultInTheRecordsLeavesTheFileClosedWithWhatWasWritten) {
  const struct {
    bool fault;
    const char* contents;
  } cases[] = {{false, "HEADREC1REC2"}, {true, "HEADREC1"}};
  for (const auto& c : cases) {
    tarvish::gName = TempPath("crash_snapshot_wine_test");
    const std::string path = tarvish::gName + ".qvd";
    DeleteFileA(path.c_str());
    tarvish::gFault = c.fault;
    EXCEPTION_POINTERS pointers{};
    tarvish::WriteSnapshot(&pointers);
    EXPECT_EQ(Contents(path), c.contents) << c.fault;
    EXPECT_TRUE(Closed(path)) << "fault " << c.fault << ": the snapshot file is still open";
    DeleteFileA(path.c_str());
  }
}

// The heap may be what the crash broke: the name is built in the module's
// own storage, which holds the longest name with its extension.
TEST(SnapshotFile, TheNameIsBuiltInModuleStorage) {
  tarvish::gName = TempPath("crash_snapshot_wine_test");
  tarvish::gName.resize(tarvish::kCrashNameLimit - 1, 'n');
  const std::string path = tarvish::gName + ".qvd";
  tarvish::gFault = false;
  tarvish::gNameBuffer = nullptr;
  EXCEPTION_POINTERS pointers{};
  tarvish::WriteSnapshot(&pointers);
  HMODULE owner = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 tarvish::gNameBuffer, &owner));
  EXPECT_EQ(owner, GetModuleHandleA(nullptr));
  EXPECT_EQ(tarvish::gNameSize, tarvish::kCrashNameLimit);
  EXPECT_EQ(std::string(tarvish::gNameBuffer), path);
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
  DeleteFileA(path.c_str());
}

TEST(SnapshotFile, NoFileCanBeCreatedNoSnapshotAndNoFault) {
  tarvish::gName = TempPath("no such folder\\crash_snapshot_wine_test");
  tarvish::gFault = false;
  EXCEPTION_POINTERS pointers{};
  tarvish::WriteSnapshot(&pointers);
  EXPECT_EQ(GetFileAttributesA((tarvish::gName + ".qvd").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
