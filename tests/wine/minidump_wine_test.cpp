// The minidump writer in a real process: the writer's sources are built
// into this program, which lives in a folder of its own so that "Report -d"
// finds a reporter only when a test puts Report.exe beside it.

#include <windows.h>

#include <dbghelp.h>
#include <tlhelp32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "crash/minidump_writer.h"
#include "crash/minidump_writer_win.h"
#include "tests/wine/dll_under_test.h"
#include "tests/wine/minidump_reader.h"
#include "util/scoped_file_handle.h"
#include "util/scoped_handle.h"

namespace {

using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;
using tarvish::ScopedFileHandle;
using tarvish::ScopedHandle;
using tarvish_test::MiniDumpFile;
using tarvish_test::ProgramFolder;
using tarvish_test::TempDirectory;

constexpr DWORD kExceptionCode = 0xE0545653;

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return ids;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more;
       more = Thread32Next(snapshot.get(), &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  return ids;
}

// Exception pointers as a crash filter would receive them, for this thread.
struct FakeCrash {
  FakeCrash() {
    record.ExceptionCode = kExceptionCode;
    record.ExceptionAddress = reinterpret_cast<void*>(&ThreadsOfThisProcess);
    RtlCaptureContext(&context);
    pointers.ExceptionRecord = &record;
    pointers.ContextRecord = &context;
  }
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  EXCEPTION_POINTERS pointers{};
};

// What the platform's dump writer asks the callback, recorded while it
// writes a dump from a thread that refuses itself through
// ExcludeWorkerCallback, as the writer's worker does. Fixed storage: the
// callback runs while the other threads are suspended.
struct CallbackProbe {
  struct Call {
    ULONG type;
    DWORD thread;
    BOOL verdict;
  };
  DWORD self = 0;
  Call calls[256] = {};
  int count = 0;
  std::vector<DWORD> dumpedThreads;

  bool AskedAboutThreadInclusion() const {
    for (int i = 0; i < count; ++i) {
      if (calls[i].type == IncludeThreadCallback) return true;
    }
    return false;
  }
};

BOOL CALLBACK RecordingCallback(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                PMINIDUMP_CALLBACK_OUTPUT output) {
  auto* probe = static_cast<CallbackProbe*>(param);
  const BOOL verdict = tarvish::ExcludeWorkerCallback(&probe->self, input, output);
  DWORD thread = 0;
  if (input->CallbackType == IncludeThreadCallback) thread = input->IncludeThread.ThreadId;
  if (input->CallbackType == ThreadCallback) thread = input->Thread.ThreadId;
  if (probe->count < 256) probe->calls[probe->count++] = {input->CallbackType, thread, verdict};
  return verdict;
}

const CallbackProbe& ProbeOfThePlatformsDumpWriter() {
  static CallbackProbe probe;
  static bool done = false;
  if (done) return probe;
  done = true;
  using WriteFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);
  const auto write = reinterpret_cast<WriteFn>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("DBGHELP.DLL"), "MiniDumpWriteDump")));
  if (write == nullptr) return probe;
  const std::string path = TempDirectory() + "tarvish-probe-" +
                           std::to_string(GetCurrentProcessId()) + ".dmp";
  std::thread([&] {
    probe.self = GetCurrentThreadId();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    MINIDUMP_CALLBACK_INFORMATION callback{RecordingCallback, &probe};
    write(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal, nullptr, nullptr, &callback);
    CloseHandle(file);
  }).join();
  probe.dumpedThreads = MiniDumpFile(path).ThreadIds();
  DeleteFileA(path.c_str());
  return probe;
}

class MiniDumpWriterWine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = ProgramFolder();
    SetCurrentDirectoryA(folder_.c_str());
    reporterCopy_ = folder_ + "Report.exe";
    DeleteFileA(reporterCopy_.c_str());  // no reporter unless a test puts one here
    path_ = TempDirectory() + "tarvish-minidump-" + std::to_string(GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dmp";
    DeleteFileA(path_.c_str());
  }

  void TearDown() override {
    DeleteFileA(path_.c_str());
    DeleteFileA(reporterCopy_.c_str());
  }

  std::string folder_, reporterCopy_, path_;
};

TEST_F(MiniDumpWriterWine, InProcessDumpNamesTheFaultingThreadAndLeavesOutTheWorker) {
  FakeCrash crash;
  // The worker does not exist yet. Nothing may watch threads while the dump
  // is written: the dump suspends every other thread, and one suspended
  // inside the heap would deadlock it.
  const auto before = ThreadsOfThisProcess();
  const ULONGLONG start = GetTickCount64();
  const std::int32_t result =
      tarvish::WriteMiniDump(MiniDumpNormal, path_.c_str(), GetCurrentThreadId(), &crash.pointers);
  const ULONGLONG elapsed = GetTickCount64() - start;
  std::printf("one in-process dump of this program took %llu ms\n", elapsed);
  RecordProperty("in_process_dump_ms", static_cast<int>(elapsed));

  ASSERT_EQ(result, tarvish::kDumpWritten);
  EXPECT_EQ(tarvish::DumpInProgress, 0);
  MiniDumpFile dump(path_);
  EXPECT_TRUE(dump.HasSignature());
  EXPECT_EQ(dump.Comment(), "") << "written here, not by a reporter";

  // The worker is the only thread started since the snapshot. It is left
  // out wherever the platform's writer asks about each thread; Wine's does
  // not ask (the callback's verdicts are shown by the test below).
  const auto threads = dump.ThreadIds();
  EXPECT_THAT(threads, Contains(GetCurrentThreadId()));
  std::vector<DWORD> fresh;
  for (DWORD id : threads) {
    if (!before.count(id)) fresh.push_back(id);
  }
  if (ProbeOfThePlatformsDumpWriter().AskedAboutThreadInclusion()) {
    EXPECT_THAT(fresh, IsEmpty()) << "the worker is in the dump";
  } else {
    EXPECT_LE(fresh.size(), 1u);
    std::printf("this dbghelp never asks the include-thread callback: the worker stays in\n");
  }

  const auto exception = dump.Exception();
  ASSERT_TRUE(exception.has_value());
  EXPECT_EQ(exception->threadId, GetCurrentThreadId());
  EXPECT_EQ(exception->code, kExceptionCode);
}

TEST_F(MiniDumpWriterWine, NullPointersGiveADumpWithoutException) {
  SetLastError(12345);
  EXPECT_EQ(tarvish::WriteMiniDump(MiniDumpNormal, path_.c_str(), GetCurrentThreadId(), nullptr),
            tarvish::kDumpWritten);
  EXPECT_NE(GetLastError(), 12345u) << "the worker's last error is handed back";
  EXPECT_EQ(tarvish::DumpInProgress, 0);
  MiniDumpFile dump(path_);
  EXPECT_TRUE(dump.HasSignature());
  EXPECT_THAT(dump.ThreadIds(), Contains(GetCurrentThreadId()));
  EXPECT_FALSE(dump.Exception().has_value());
}

// Memory from the top of the address space: on 64-bit its addresses do not
// fit 32 bits, so a reporter must take both halves of them from the block.
class HighMemory {
 public:
  explicit HighMemory(std::size_t size)
      : memory_(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE)) {}
  ~HighMemory() {
    if (memory_ != nullptr) VirtualFree(memory_, 0, MEM_RELEASE);
  }
  HighMemory(const HighMemory&) = delete;
  HighMemory& operator=(const HighMemory&) = delete;
  void* get() const { return memory_; }

 private:
  void* memory_;
};

TEST_F(MiniDumpWriterWine, AReporterBesideTheProgramWritesTheDumpInstead) {
  ASSERT_TRUE(CopyFileA((folder_ + "..\\Report.exe").c_str(), reporterCopy_.c_str(), FALSE))
      << "Report.exe is built into the folder above this program's";
  HighMemory memory(sizeof(FakeCrash));
  ASSERT_NE(memory.get(), nullptr);
  if (sizeof(void*) == 8) {
    ASSERT_NE(reinterpret_cast<std::uintptr_t>(memory.get()) >> 16 >> 16, 0u)
        << "the exception record must lie above 4 GB";
  }
  FakeCrash& crash = *new (memory.get()) FakeCrash;
  EXPECT_EQ(tarvish::WriteMiniDump(MiniDumpNormal, path_.c_str(), GetCurrentThreadId(), &crash.pointers),
            tarvish::kDumpWritten);
  EXPECT_EQ(tarvish::DumpInProgress, 0);
  MiniDumpFile dump(path_);
  EXPECT_TRUE(dump.HasSignature());
  // Report marks its dumps; a file the library had written after it would
  // carry no such mark.
  EXPECT_EQ(dump.Comment().rfind("Written by Report", 0), 0u) << dump.Comment();
  // The exception record was read out of this process by its address, which
  // on 64-bit lies above 4 GB: the reporter used both halves of it.
  const auto exception = dump.Exception();
  ASSERT_TRUE(exception.has_value());
  EXPECT_EQ(exception->threadId, GetCurrentThreadId());
  EXPECT_EQ(exception->code, kExceptionCode);
  EXPECT_THAT(dump.ThreadIds(), Contains(GetCurrentThreadId()));
}

TEST_F(MiniDumpWriterWine, FailuresBeforeAnyDumpWork) {
  FakeCrash crash;
  EXPECT_EQ(tarvish::WriteMiniDump(0, reinterpret_cast<const char*>(16), 1, nullptr),
            tarvish::kDumpBadArgument);
  EXPECT_EQ(tarvish::WriteMiniDump(0, path_.c_str(), 1, reinterpret_cast<EXCEPTION_POINTERS*>(16)),
            tarvish::kDumpBadArgument);
  const std::string tooLong = TempDirectory() + std::string(300, 'd') + ".dmp";
  EXPECT_EQ(tarvish::WriteMiniDump(0, tooLong.c_str(), 1, nullptr), tarvish::kDumpBadArgument);
  const std::string unreachable = folder_ + "no-such-folder\\x.dmp";
  EXPECT_EQ(tarvish::WriteMiniDump(0, unreachable.c_str(), GetCurrentThreadId(), &crash.pointers),
            tarvish::kDumpFileNotCreated);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND))
      << "the failed file creation's error, handed back from the worker";
  EXPECT_EQ(tarvish::DumpInProgress, 0);
}

// Exception pointers that end where readable memory ends. The check covers
// the whole EXCEPTION_POINTERS record, two native pointers: on 64-bit a
// record whose ContextRecord (at +8) is unreadable is a bad argument; on
// 32-bit the 8-byte record right before the unreadable page is accepted.
TEST_F(MiniDumpWriterWine, TheWholeExceptionPointersRecordIsChecked) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const std::size_t page = system.dwPageSize;
  auto* pages = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD previous = 0;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &previous));
  FakeCrash crash;
  // The first 8 bytes readable, then the unreadable page.
  auto* record = reinterpret_cast<EXCEPTION_POINTERS*>(pages + page - 8);
  std::memcpy(record, &crash.pointers, 8);
  const std::int32_t result =
      tarvish::WriteMiniDump(MiniDumpNormal, path_.c_str(), GetCurrentThreadId(), record);
  if (sizeof(void*) == 8) {
    EXPECT_EQ(result, tarvish::kDumpBadArgument) << "ContextRecord at +8 lies in the unreadable page";
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES);
  } else {
    EXPECT_EQ(result, tarvish::kDumpWritten);
    EXPECT_TRUE(MiniDumpFile(path_).HasSignature());
  }
  EXPECT_EQ(tarvish::DumpInProgress, 0);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(ExcludeWorkerCallback, VerdictsOnWhatThePlatformsWriterAsks) {
  const CallbackProbe& probe = ProbeOfThePlatformsDumpWriter();
  ASSERT_GT(probe.count, 0) << "the callback was never called";
  bool refusedSelf = false;
  for (int i = 0; i < probe.count; ++i) {
    const auto& call = probe.calls[i];
    const bool aboutSelf = call.type == IncludeThreadCallback && call.thread == probe.self;
    if (call.type != ModuleCallback) {
      std::printf("callback type %lu, thread %lu: %s\n", call.type, call.thread,
                  call.verdict ? "TRUE" : "FALSE");
    }
    EXPECT_EQ(call.verdict, aboutSelf ? FALSE : TRUE) << call.type << "/" << call.thread;
    refusedSelf = refusedSelf || aboutSelf;
  }
  if (refusedSelf) {
    EXPECT_THAT(probe.dumpedThreads, Not(Contains(probe.self)));
  }
  EXPECT_FALSE(probe.dumpedThreads.empty());
}

TEST(ExcludeWorkerCallback, RefusesOnlyTheWorkerOnTheIncludeThreadCallback) {
  DWORD worker = 4242;
  const struct {
    ULONG type;
    DWORD thread;
    BOOL verdict;
  } cases[] = {
      {IncludeThreadCallback, 4242, FALSE},
      {IncludeThreadCallback, 4243, TRUE},
      {ThreadCallback, 4242, TRUE},
      {ThreadExCallback, 4242, TRUE},
      {ModuleCallback, 4242, TRUE},
      {IncludeModuleCallback, 4242, TRUE},
  };
  for (const auto& c : cases) {
    MINIDUMP_CALLBACK_INPUT input{};
    input.CallbackType = c.type;
    if (c.type == IncludeThreadCallback) input.IncludeThread.ThreadId = c.thread;
    if (c.type == ThreadCallback) input.Thread.ThreadId = c.thread;
    MINIDUMP_CALLBACK_OUTPUT output;
    std::memset(&output, 0xAB, sizeof output);
    EXPECT_EQ(tarvish::ExcludeWorkerCallback(&worker, &input, &output), c.verdict)
        << c.type << "/" << c.thread;
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&output)[0], 0xAB) << "output never written";
  }
}

}  // namespace
