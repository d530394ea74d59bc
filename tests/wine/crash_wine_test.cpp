// The crash handler end to end: crash_crasher loads the real Tarvish.dll
// and faults as told; the tests look at what the crash left in the temp
// directory. Settings go into the registry view the DLL reads (the 32-bit
// one for the 32-bit build) before each run; files and settings are
// removed again after each test.
//
// The build puts Report.exe beside the crasher, so a crash there is dumped
// by the reporter. For the library's own dump the crasher and the DLL are
// copied into a folder of the temp directory that holds no reporter, and
// run from there: the system's search for "Report -d" then finds nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "tests/wine/dll_under_test.h"
#include "tests/wine/minidump_reader.h"
#include "tools/qvd/qvd_decode.h"

namespace {

using tarvish_test::MiniDumpFile;
using tarvish_test::ProgramFolder;
using tarvish_test::TempDirectory;

constexpr char kVendorKey[] = "Software\\Quillvex Software";
constexpr char kSettingsKey[] = "Software\\Quillvex Software\\QuillvexDiagnostics\\CrashHandler\\";
constexpr REGSAM kView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr unsigned long long kFaultAddress = 0xBAD0;
constexpr DWORD kCrashTimeoutMs = 30000;

unsigned long long Ticks(const FILETIME& t) {
  return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

struct CrashFile {
  std::string name;
  std::string path;
  unsigned long long created;
  unsigned long long written;
  unsigned long long size;
};

// The crash files in the temp directory, oldest first.
std::vector<CrashFile> CrashFiles() {
  std::vector<CrashFile> files;
  const std::string dir = TempDirectory();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "Quillvex *").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    files.push_back({found.cFileName, dir + found.cFileName, Ticks(found.ftCreationTime),
                     Ticks(found.ftLastWriteTime),
                     (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end(),
            [](const CrashFile& a, const CrashFile& b) { return a.created < b.created || (a.created == b.created && a.name < b.name); });
  return files;
}

std::string Extension(const CrashFile& f) { return f.name.substr(f.name.size() - 4); }

// A written minidump starts with "MDMP"; an empty or cut one does not.
bool IsMiniDump(const CrashFile& f) {
  char signature[4] = {};
  FILE* in = std::fopen(f.path.c_str(), "rb");
  if (in == nullptr) return false;
  const bool read = std::fread(signature, 1, 4, in) == 4;
  std::fclose(in);
  return read && std::memcmp(signature, "MDMP", 4) == 0 && f.size > 1000;
}

// Where the crasher runs, and so who writes its dump.
enum class DumpWriter { kReporter, kLibrary };

const char* Describe(DumpWriter writer) {
  return writer == DumpWriter::kReporter ? "Report.exe" : "the library itself";
}

constexpr const char* kCopiedFiles[] = {"crash_crasher.exe", "Tarvish.dll"};

std::string ReporterFreeFolder() { return TempDirectory() + "tarvish-crash-no-reporter\\"; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct CrasherRun {
  bool ended;
  DWORD exitCode;
  unsigned long long faultTime;  // as the crasher noted it
  DWORD processId;
  DWORD mainThreadId;
};

// Which program wrote the dump: Report names itself and the process it
// dumped in a comment stream; the library's own dump carries no comment.
void ExpectDumpWrittenBy(DumpWriter writer, const CrashFile& file, const CrasherRun& run) {
  const MiniDumpFile dump(file.path);
  ASSERT_TRUE(dump.HasSignature()) << file.path;
  if (writer == DumpWriter::kReporter) {
    const std::regex mark(R"(Written by Report \(process \d+\) for process )" +
                          std::to_string(run.processId));
    EXPECT_TRUE(std::regex_match(dump.Comment(), mark)) << dump.Comment();
  } else {
    EXPECT_EQ(dump.Comment(), "") << "a reporter was found after all";
  }
}

class CrashHandler : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string folder = ReporterFreeFolder();
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : kCopiedFiles) {
      CopyFileA((ProgramFolder() + name).c_str(), (folder + name).c_str(), FALSE);
    }
  }
  static void TearDownTestSuite() {
    const std::string folder = ReporterFreeFolder();
    for (const char* name : kCopiedFiles) DeleteFileA((folder + name).c_str());
    RemoveDirectoryA(folder.c_str());
  }

  void SetUp() override {
    Cleanup();
    timeFile_ = TempDirectory() + "crash_crasher_time.txt";
  }
  void TearDown() override {
    Cleanup();
    DeleteFileA(timeFile_.c_str());
  }

  static void Cleanup() {
    for (const CrashFile& f : CrashFiles()) DeleteFileA(f.path.c_str());
    HKEY software = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | kView, &software) == ERROR_SUCCESS) {
      RegDeleteTreeA(software, "Quillvex Software");
      RegCloseKey(software);
    }
  }

  static void SetSetting(const char* name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE | kView,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }

  // The crasher's folder is also its working directory, the other place
  // the system looks for the reporter.
  CrasherRun RunCrasher(const char* mode, DumpWriter writer = DumpWriter::kReporter,
                        DWORD timeoutMs = kCrashTimeoutMs) {
    const std::string folder = writer == DumpWriter::kReporter ? ProgramFolder() : ReporterFreeFolder();
    CrasherRun run{false, 0, 0, 0, 0};
    for (const char* name : kCopiedFiles) {
      if (!Exists(folder + name)) {
        ADD_FAILURE() << "missing: " << folder << name;
        return run;
      }
    }
    if (Exists(folder + "Report.exe") != (writer == DumpWriter::kReporter)) {
      ADD_FAILURE() << "Report.exe " << (writer == DumpWriter::kReporter ? "is not" : "is") << " in "
                    << folder;
      return run;
    }
    std::string command = "\"" + folder + "crash_crasher.exe\" " + mode + " \"" + timeFile_ + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
      ADD_FAILURE() << "crash_crasher did not start: " << GetLastError();
      return run;
    }
    run.processId = process.dwProcessId;
    run.mainThreadId = process.dwThreadId;
    run.ended = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0;
    if (!run.ended) {
      TerminateProcess(process.hProcess, 99);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (FILE* f = std::fopen(timeFile_.c_str(), "r")) {
      if (std::fscanf(f, "%llu", &run.faultTime) != 1) run.faultTime = 0;
      std::fclose(f);
    }
    return run;
  }

  // Milliseconds from the fault to the last write of any crash file.
  static double HandlingMs(const CrasherRun& run, const std::vector<CrashFile>& files) {
    unsigned long long last = 0;
    for (const CrashFile& f : files) last = std::max(last, f.written);
    return last > run.faultTime ? (last - run.faultTime) / 10000.0 : 0;
  }

  std::string timeFile_;
};

const std::regex kCrashName(R"(Quillvex \d{4}_\d{2}_\d{2} \d{2}_\d{2}_\d{2}_\d{3}\.(dmp|qvd))");

void ExpectSnapshotOfTheFault(const CrashFile& file, std::uint32_t code) {
  FILE* f = std::fopen(file.path.c_str(), "rb");
  ASSERT_NE(f, nullptr) << file.path;
  std::vector<std::uint8_t> bytes(1 << 20);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  const qvd::DecodeResult decoded = qvd::Decode(bytes.data(), bytes.size());
  ASSERT_TRUE(decoded.snapshot) << decoded.error;
  const qvd::Snapshot& s = *decoded.snapshot;
  EXPECT_EQ(s.arch, sizeof(void*) == 4 ? qvd::Arch::kX86 : qvd::Arch::kX64);
  ASSERT_EQ(s.records.size(), 4u) << qvd::FormatText(s);
  ASSERT_TRUE(s.exception);
  EXPECT_EQ(s.exception->code, code);
  ASSERT_TRUE(s.thread);
  ASSERT_TRUE(s.stack);
  EXPECT_EQ(s.stack->end, s.thread->stackBase);
  const std::string text = qvd::FormatText(s);
  char codeText[16];
  std::snprintf(codeText, sizeof codeText, "0x%08X", code);
  EXPECT_NE(text.find(codeText), std::string::npos) << text;
  if (code == 0xC0000005) {
    EXPECT_EQ(s.exception->address, kFaultAddress) << text;
    EXPECT_NE(text.find(sizeof(void*) == 4 ? "address 0x0000BAD0" : "address 0x000000000000BAD0"),
              std::string::npos)
        << text;
  }
}

class CrashHandlerDefaults : public CrashHandler, public ::testing::WithParamInterface<DumpWriter> {};

TEST_P(CrashHandlerDefaults, WriteOneDumpInTheTempDirectoryAndNoSnapshot) {
  const CrasherRun run = RunCrasher("main", GetParam());
  ASSERT_TRUE(run.ended);
  const std::vector<CrashFile> files = CrashFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0].name, kCrashName)) << files[0].name;
  EXPECT_EQ(Extension(files[0]), ".dmp");
  EXPECT_TRUE(IsMiniDump(files[0]));
  ExpectDumpWrittenBy(GetParam(), files[0], run);
  // Either writer records the fault on the thread that took it.
  const MiniDumpFile dump(files[0].path);
  const auto exception = dump.Exception();
  ASSERT_TRUE(exception.has_value());
  EXPECT_EQ(exception->code, 0xC0000005u);
  EXPECT_EQ(exception->threadId, run.mainThreadId);
  EXPECT_THAT(dump.ThreadIds(), ::testing::Contains(run.mainThreadId));
  std::printf("%s: fault to last file written: %.0f ms\n", Describe(GetParam()), HandlingMs(run, files));
  RecordProperty("handling_ms", static_cast<int>(HandlingMs(run, files)));
}

INSTANTIATE_TEST_SUITE_P(Writers, CrashHandlerDefaults,
                         ::testing::Values(DumpWriter::kReporter, DumpWriter::kLibrary),
                         [](const ::testing::TestParamInfo<DumpWriter>& info) {
                           return info.param == DumpWriter::kReporter ? "DumpedByTheReporter"
                                                                      : "DumpedInProcessWithoutReporter";
                         });

TEST_F(CrashHandler, ForceQvdWritesTheSnapshotFirstThenTheDump) {
  SetSetting("ForceQvd", 1);
  const CrasherRun run = RunCrasher("thread");
  ASSERT_TRUE(run.ended);
  const std::vector<CrashFile> files = CrashFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(Extension(files[0]), ".qvd");
  EXPECT_EQ(Extension(files[1]), ".dmp");
  // The names carry the time: the snapshot's is not later.
  EXPECT_LE(files[0].name.substr(0, 32), files[1].name.substr(0, 32));
  for (const CrashFile& f : files) EXPECT_TRUE(std::regex_match(f.name, kCrashName)) << f.name;
  ExpectSnapshotOfTheFault(files[0], 0xC0000005);
  EXPECT_TRUE(IsMiniDump(files[1]));
  ExpectDumpWrittenBy(DumpWriter::kReporter, files[1], run);
  std::printf("fault to last file written: %.0f ms\n", HandlingMs(run, files));
}

TEST_F(CrashHandler, WriteDumpAndWriteQvdOffWriteNothing) {
  SetSetting("WriteDump", 0);
  SetSetting("WriteQvd", 0);
  SetSetting("ForceQvd", 1);  // does not install the filter by itself
  const CrasherRun run = RunCrasher("main");
  ASSERT_TRUE(run.ended);
  EXPECT_TRUE(CrashFiles().empty());
}

// In-process: the dump suspends the second faulting thread wherever it has
// got to in the filter, and must still come out whole.
TEST_F(CrashHandler, TwoSimultaneousCrashesGiveTheFilesOfExactlyOne) {
  SetSetting("ForceQvd", 1);
  const CrasherRun run = RunCrasher("two-threads", DumpWriter::kLibrary);
  ASSERT_TRUE(run.ended);
  const std::vector<CrashFile> files = CrashFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(Extension(files[0]), ".qvd");
  EXPECT_EQ(Extension(files[1]), ".dmp");
  ExpectSnapshotOfTheFault(files[0], 0xC0000005);
  EXPECT_TRUE(IsMiniDump(files[1])) << "the dump was cut short";
  ExpectDumpWrittenBy(DumpWriter::kLibrary, files[1], run);
}

// Whether Wine ends the process after a stack overflow has varied between
// its versions; the run is bounded either way, and what the filter wrote
// is checked.
TEST_F(CrashHandler, StackOverflowIsSnapshottedAndDumped) {
  SetSetting("ForceQvd", 1);
  const CrasherRun run = RunCrasher("overflow", DumpWriter::kReporter, 30000);
  std::printf("stack overflow: the process %s\n",
              run.ended ? "ended by itself" : "was still running after 30 s and was ended");
  const std::vector<CrashFile> files = CrashFiles();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(Extension(files[0]), ".qvd");
  ExpectSnapshotOfTheFault(files[0], 0xC00000FD);
  EXPECT_EQ(Extension(files[1]), ".dmp");
  EXPECT_TRUE(IsMiniDump(files[1]));
  ExpectDumpWrittenBy(DumpWriter::kReporter, files[1], run);
  std::printf("fault to last file written: %.0f ms\n", HandlingMs(run, files));
}

TEST_F(CrashHandler, FreeLibraryPutsBackTheEarlierFilter) {
  const CrasherRun run = RunCrasher("unload");
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 42u) << "the crasher's own filter was not called";
  EXPECT_TRUE(CrashFiles().empty());
}

}  // namespace
