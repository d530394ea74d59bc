#include "crash/minidump_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "crash/dbghelp.h"
#include "crash/minidump_writer_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kDumpType = 0x21;
constexpr std::uint32_t kFaultingThread = 0x77;
constexpr std::uint32_t kCallersEarlierError = 12345;

// Any readable address stands in for the exception pointers: the fake
// platform decides what is readable.
_EXCEPTION_POINTERS* SomeExceptionPointers() {
  static unsigned char record[16];
  return reinterpret_cast<_EXCEPTION_POINTERS*>(record);
}

class MiniDumpWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    DumpInProgress = 0;
    FakeDumpPlatform::SetThreadLastError(kCallersEarlierError);
  }

  std::int32_t Write(_EXCEPTION_POINTERS* pointers = nullptr) {
    return WriteMiniDumpWith(platform_, binding_, loader_, kDumpType, "C:\\d\\x.dmp",
                             kFaultingThread, pointers);
  }

  FakeDumpPlatform platform_;
  FakeDbgHelpLoader loader_;
  DbgHelpBinding binding_;
};

// A binding already in `state` (7 untried, 0 bound, 1 or 2 failed).
DbgHelpBinding BindingIn(std::int32_t state) {
  DbgHelpBinding binding;
  FakeDbgHelpLoader loader;
  loader.loadable = state != kDbgHelpNotLoadable;
  loader.hasEntryPoint = state != kDbgHelpNoEntryPoint;
  if (state != kDbgHelpNotTried) binding.EnsureBound(loader);
  return binding;
}

TEST_F(MiniDumpWriter, BadArgumentsGiveThreeWhateverTheBindingState) {
  for (std::int32_t state : {kDbgHelpNotTried, kDbgHelpBound, kDbgHelpNotLoadable,
                             kDbgHelpNoEntryPoint}) {
    for (bool badPath : {true, false}) {
      SCOPED_TRACE("binding state " + std::to_string(state) + (badPath ? ", bad path" : ", bad pointers"));
      FakeDumpPlatform platform;
      FakeDbgHelpLoader loader;
      DbgHelpBinding binding = BindingIn(state);
      ASSERT_EQ(binding.state(), state);
      platform.badPath = badPath;
      platform.badExceptionPointers = !badPath;
      EXPECT_EQ(WriteMiniDumpWith(platform, binding, loader, kDumpType, "p", 1,
                                  SomeExceptionPointers()),
                kDumpBadArgument);
      EXPECT_EQ(binding.state(), state) << "the binding is not attempted";
      EXPECT_THAT(loader.calls, IsEmpty());
      EXPECT_EQ(platform.CountCalls("caller CreateThread"), 0);
      EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), kCallersEarlierError);
    }
  }
}

TEST_F(MiniDumpWriter, PathsMustEndWithin260Characters) {
  for (std::size_t length : {1u, 259u, 260u, 400u}) {
    SCOPED_TRACE(length);
    FakeDumpPlatform platform;
    // No NUL beyond `length` characters, and nothing readable after 260 of
    // them: the sanitizer sees any read past what was checked.
    std::vector<char> path(std::min<std::size_t>(length + 1, 260), 'p');
    if (length < 260) path.back() = '\0';
    EXPECT_EQ(WriteMiniDumpWith(platform, binding_, loader_, kDumpType, path.data(), 1, nullptr),
              length < 260 ? kDumpWritten : kDumpBadArgument);
    EXPECT_EQ(platform.CountCalls("caller CreateThread"), length < 260 ? 1 : 0);
  }
}

// EXCEPTION_POINTERS is two native pointers: 8 bytes on the 32-bit
// product, 16 on 64-bit builds, where ContextRecord lies at +8.
const std::string kPointersCheck = "caller IsBadReadPtr " + std::to_string(2 * sizeof(void*));

TEST_F(MiniDumpWriter, ChecksThePathTo260AndTheWholeExceptionPointersRecord) {
  Write(SomeExceptionPointers());
  auto calls = platform_.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "caller IsBadStringPtrA 260");
  EXPECT_EQ(calls[1], kPointersCheck);
}

TEST_F(MiniDumpWriter, NullExceptionPointersAreAcceptedAndGiveADumpWithoutException) {
  EXPECT_EQ(Write(nullptr), kDumpWritten);
  EXPECT_EQ(platform_.CountCalls("caller IsBadReadPtr"), 0);
  ASSERT_EQ(platform_.dumpCalls.size(), 1u);
  EXPECT_FALSE(platform_.dumpCalls[0].hasException);
}

TEST_F(MiniDumpWriter, GivenPointersNameTheFaultingThreadInTheDump) {
  EXPECT_EQ(Write(SomeExceptionPointers()), kDumpWritten);
  ASSERT_EQ(platform_.dumpCalls.size(), 1u);
  const auto& call = platform_.dumpCalls[0];
  EXPECT_TRUE(call.hasException);
  EXPECT_EQ(call.exception.threadId, kFaultingThread);
  EXPECT_EQ(call.exception.pointers, SomeExceptionPointers());
  EXPECT_EQ(call.dumpType, kDumpType);
}

TEST_F(MiniDumpWriter, TheDumpLeavesOutTheWorkerThreadAndNoOther) {
  Write();
  ASSERT_EQ(platform_.dumpCalls.size(), 1u);
  EXPECT_EQ(platform_.dumpCalls[0].excludedThreadId, FakeDumpPlatform::kWorkerThreadId);

  const std::uint32_t worker = 200;
  const struct {
    std::uint32_t type, threadId;
    bool keep;
  } verdicts[] = {
      {kIncludeThreadCallback, worker, false},
      {kIncludeThreadCallback, worker + 1, true},
      {kIncludeThreadCallback, 0, true},
      {1 /* ThreadCallback */, worker, true},
      {2 /* ThreadExCallback */, worker, true},
      {4 /* IncludeModuleCallback */, worker, true},
      {0 /* ModuleCallback */, worker, true},
  };
  for (const auto& v : verdicts) {
    EXPECT_EQ(KeepInDump(v.type, v.threadId, worker), v.keep) << v.type << "/" << v.threadId;
  }
}

TEST_F(MiniDumpWriter, MissingDbgHelpGivesOneOnEveryCallAfterOneAttempt) {
  loader_.loadable = false;
  for (int call = 0; call < 3; ++call) EXPECT_EQ(Write(), kDbgHelpMissing);
  EXPECT_THAT(loader_.calls, ElementsAre("GetModuleHandleA DBGHELP.DLL", "LoadLibraryA DBGHELP.DLL"));
  EXPECT_EQ(platform_.CountCalls("caller CreateThread"), 0);
  EXPECT_EQ(platform_.CountCalls("worker"), 0) << "the reporter is not tried either";
  EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), kCallersEarlierError);
}

TEST_F(MiniDumpWriter, NoEntryPointGivesTwoOnEveryCallAfterOneLookup) {
  loader_.hasEntryPoint = false;
  for (int call = 0; call < 3; ++call) EXPECT_EQ(Write(), kMiniDumpWriteDumpMissing);
  EXPECT_THAT(loader_.calls, ElementsAre("GetModuleHandleA DBGHELP.DLL", "LoadLibraryA DBGHELP.DLL",
                                         "GetProcAddress MiniDumpWriteDump"));
  EXPECT_EQ(platform_.CountCalls("caller CreateThread"), 0);
}

TEST_F(MiniDumpWriter, BindsOnceUsingAnAlreadyLoadedDbgHelp) {
  loader_.alreadyLoaded = true;
  EXPECT_EQ(Write(), kDumpWritten);
  EXPECT_EQ(Write(), kDumpWritten);
  EXPECT_THAT(loader_.calls,
              ElementsAre("GetModuleHandleA DBGHELP.DLL", "GetProcAddress MiniDumpWriteDump"));
  EXPECT_EQ(binding_.state(), kDbgHelpBound);
  EXPECT_EQ(binding_.entry(), &FakeDbgHelpLoader::EntryPoint);
}

TEST_F(MiniDumpWriter, FailedThreadCreationGivesSixWithItsLastError) {
  platform_.worker = FakeDumpPlatform::Worker::kNotCreated;
  platform_.threadCreationError = 1450;
  EXPECT_EQ(Write(), kWorkerNotCreated);
  EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), 1450u);
  EXPECT_EQ(DumpInProgress, 0) << "lowered again when no worker exists";
  EXPECT_EQ(platform_.CountCalls("caller WaitForSingleObject"), 0);
  EXPECT_EQ(platform_.CountCalls("caller CloseHandle"), 0);
}

TEST_F(MiniDumpWriter, AReporterThatWroteTheDumpLeavesNothingForTheWorker) {
  platform_.reporterResult = 1;
  EXPECT_EQ(Write(SomeExceptionPointers()), kDumpWritten);
  EXPECT_EQ(platform_.CountCalls("worker CreateFileA"), 0);
  EXPECT_EQ(platform_.CountCalls("worker MiniDumpWriteDump"), 0);
  EXPECT_EQ(platform_.CountCalls("worker HandOffToReporter"), 1);
}

TEST_F(MiniDumpWriter, ResultsOfTheWorkersOwnDump) {
  const struct {
    const char* what;
    std::int32_t reporterResult;
    bool fileCreationFails;
    int dumpFailuresBeforeSuccess;
    std::int32_t result;
    int dumpCalls;
    int fileCreations;
  } cases[] = {
      {"reporter wrote it", 7, false, 0, kDumpWritten, 0, 0},
      {"first call succeeds", 0, false, 0, kDumpWritten, 1, 1},
      {"fails twice, then succeeds", 0, false, 2, kDumpWritten, 3, 1},
      {"succeeds on the 20th call", 0, false, 19, kDumpWritten, 20, 1},
      {"always fails", 0, false, -1, kDumpWriteFailed, 20, 1},
      {"file not created", 0, true, 0, kDumpFileNotCreated, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDumpPlatform platform;
    platform.reporterResult = c.reporterResult;
    platform.fileCreationFails = c.fileCreationFails;
    platform.dumpFailuresBeforeSuccess = c.dumpFailuresBeforeSuccess;
    FakeDumpPlatform::SetThreadLastError(kCallersEarlierError);
    EXPECT_EQ(WriteMiniDumpWith(platform, binding_, loader_, kDumpType, "C:\\d\\x.dmp",
                                kFaultingThread, nullptr),
              c.result);
    EXPECT_EQ(platform.CountCalls("worker MiniDumpWriteDump"), c.dumpCalls);
    EXPECT_EQ(platform.CountCalls("worker CreateFileA C:\\d\\x.dmp"), c.fileCreations);
    // A file that was created is closed, and never deleted: nothing in the
    // platform interface can remove it.
    EXPECT_EQ(platform.openFiles, 0);
    // The caller's last error is the worker's final one, success or not.
    EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), platform.workerFinalLastError);
    EXPECT_NE(platform.workerFinalLastError, kCallersEarlierError);
    EXPECT_EQ(platform.CountCalls("caller WaitForSingleObject"), 1);
    EXPECT_EQ(platform.CountCalls("caller CloseHandle"), 1);
    EXPECT_EQ(DumpInProgress, 0);
  }
}

TEST_F(MiniDumpWriter, LastErrorsHandedBackFromTheWorker) {
  const struct {
    const char* what;
    bool fileCreationFails;
    int dumpFailuresBeforeSuccess;
    std::uint32_t expected;
  } cases[] = {
      {"file creation's error", true, 0, 5},
      {"the last failed dump call's error", false, -1, 0x8007012B},
      // A successful dump leaves the error of the failed reporter start.
      {"error left before a successful dump", false, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDumpPlatform platform;
    platform.fileCreationFails = c.fileCreationFails;
    platform.dumpFailuresBeforeSuccess = c.dumpFailuresBeforeSuccess;
    FakeDumpPlatform::SetThreadLastError(kCallersEarlierError);
    WriteMiniDumpWith(platform, binding_, loader_, kDumpType, "p", 1, nullptr);
    EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), c.expected);
  }
}

TEST_F(MiniDumpWriter, DumpWorkRunsOnTheWorkerOnly) {
  Write(SomeExceptionPointers());
  // The caller stops spinning when the handoff is over, so its wait and the
  // worker's own dump interleave freely; each thread's order is fixed.
  std::vector<std::string> caller, worker;
  for (const auto& call : platform_.Calls()) {
    (call.rfind("caller ", 0) == 0 ? caller : worker).push_back(call);
  }
  EXPECT_THAT(caller, ElementsAre("caller IsBadStringPtrA 260", kPointersCheck,
                                  "caller CreateThread", "caller WaitForSingleObject",
                                  "caller CloseHandle", "caller SetLastError 2"));
  EXPECT_THAT(worker, ElementsAre("worker HandOffToReporter", "worker CreateFileA C:\\d\\x.dmp",
                                  "worker MiniDumpWriteDump", "worker CloseHandle file"));
}

// Runs `body` on a thread of its own; a body that has not returned within
// the deadline is a hang, which ends the test program instead of the suite
// timing out with no word on why.
void ExpectReturnsWithin(std::chrono::seconds deadline, std::function<void()> body) {
  std::packaged_task<void()> task(std::move(body));
  auto done = task.get_future();
  std::thread runner(std::move(task));
  if (done.wait_for(deadline) != std::future_status::ready) {
    std::fprintf(stderr, "FATAL: WriteMiniDump still spinning after the worker had ended\n");
    std::_Exit(1);
  }
  runner.join();
}

TEST_F(MiniDumpWriter, AWorkerThatEndsBeforeTheCallerLooksDoesNotHangIt) {
  for (std::int32_t reporterResult : {0, 1}) {
    SCOPED_TRACE(reporterResult);
    FakeDumpPlatform platform;
    platform.worker = FakeDumpPlatform::Worker::kEndsBeforeCreated;
    platform.reporterResult = reporterResult;
    std::int32_t result = -1;
    ExpectReturnsWithin(std::chrono::seconds(10), [&] {
      result = WriteMiniDumpWith(platform, binding_, loader_, kDumpType, "p", 1, nullptr);
    });
    EXPECT_EQ(result, kDumpWritten);
    EXPECT_EQ(platform.flagWhenCreatingThread, 1) << "raised before the worker exists";
    EXPECT_EQ(DumpInProgress, 0);
  }
}

// A worker thread that ends without running its job (or is terminated)
// never lowers the flag: the caller's spin must end on the thread's end
// instead of holding the crashing thread forever.
TEST_F(MiniDumpWriter, AWorkerThatEndsWithoutRunningGivesSevenAndLastErrorZero) {
  platform_.worker = FakeDumpPlatform::Worker::kEndsWithoutRunning;
  std::int32_t result = -1;
  ExpectReturnsWithin(std::chrono::seconds(10), [&] {
    FakeDumpPlatform::SetThreadLastError(kCallersEarlierError);
    result = Write(SomeExceptionPointers());
    // Read on the calling thread, where WriteMiniDump set it.
    EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), 0u);
  });
  EXPECT_EQ(result, kWorkerStoredNoResult);
  EXPECT_GE(platform_.threadEndedPolls.load(), 1);
  EXPECT_EQ(DumpInProgress, 0) << "lowered for the next call";
  EXPECT_EQ(platform_.CountCalls("worker"), 0);
  EXPECT_EQ(platform_.CountCalls("caller WaitForSingleObject"), 1) << "the unbounded wait follows";
  EXPECT_EQ(platform_.CountCalls("caller CloseHandle"), 1);
  EXPECT_EQ(platform_.CountCalls("caller SetLastError 0"), 1);
}

// The crash filter tells a fault on the worker from another crash by this
// id: set by the worker before its job, cleared once it has ended.
TEST_F(MiniDumpWriter, TheWorkersThreadIdIsKnownWhileItRuns) {
  DumpWorkerThreadId = 0;
  EXPECT_EQ(Write(), kDumpWritten);
  EXPECT_EQ(platform_.workerIdDuringHandoff, FakeDumpPlatform::kWorkerThreadId);
  EXPECT_EQ(DumpWorkerThreadId.load(), 0u);
}

// A failed MiniDumpWriteDump call may leave part of a dump in the file:
// every retry starts from an empty file, so a dump written on a later call
// carries no stale bytes of the failed ones.
TEST_F(MiniDumpWriter, EachRetryStartsFromAnEmptyFile) {
  platform_.dumpFailuresBeforeSuccess = 2;
  EXPECT_EQ(Write(), kDumpWritten);
  EXPECT_EQ(platform_.fileContent, "MDMP");
  std::vector<std::string> worker;
  for (const auto& call : platform_.Calls()) {
    if (call.rfind("worker ", 0) == 0) worker.push_back(call);
  }
  EXPECT_THAT(worker, ElementsAre("worker HandOffToReporter", "worker CreateFileA C:\\d\\x.dmp",
                                  "worker MiniDumpWriteDump", "worker SetEndOfFile file",
                                  "worker MiniDumpWriteDump", "worker SetEndOfFile file",
                                  "worker MiniDumpWriteDump", "worker CloseHandle file"));
}

TEST_F(MiniDumpWriter, AfterTheLastFailureTheFileKeepsWhatThatCallWrote) {
  platform_.dumpFailuresBeforeSuccess = -1;
  EXPECT_EQ(Write(), kDumpWriteFailed);
  EXPECT_EQ(platform_.CountCalls("worker MiniDumpWriteDump"), kMiniDumpWriteDumpCalls);
  EXPECT_EQ(platform_.CountCalls("worker SetEndOfFile"), kMiniDumpWriteDumpCalls - 1)
      << "before each retry, not after the last call";
  EXPECT_EQ(platform_.fileContent, "partial;");
  EXPECT_EQ(FakeDumpPlatform::ThreadLastError(), 0x8007012Bu) << "the last dump call's error";
}

}  // namespace
}  // namespace tarvish
