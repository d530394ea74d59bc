#include "crash/crash_filter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "crash/crash_filter_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

void* const kPointers = reinterpret_cast<void*>(0xE9);
constexpr std::uint32_t kAccessViolation = 0xC0000005;

std::vector<std::string> FilesWritten(const FakeCrashPlatform& fake) {
  std::vector<std::string> files;
  for (const std::string& e : fake.Events()) {
    if (e.rfind("dump ", 0) == 0) files.push_back(e.substr(e.find(' ', 5) + 1, e.find(".dmp") - e.find(' ', 5) + 3));
    if (e.rfind("snapshot ", 0) == 0) files.push_back("snapshot");
  }
  return files;
}

constexpr std::int32_t F = FakeCrashPlatform::kFault;

TEST(CrashFilter, PlanTable) {
  struct Case {
    const char* what;
    std::uint32_t writeDump, writeQvd, forceQvd;
    std::vector<std::int32_t> writer;
    std::vector<std::string> files;
  } cases[] = {
      {"forced snapshot comes first", 1, 0, 1, {0}, {"snapshot", "C:\\Temp\\Quillvex 1.dmp"}},
      {"forced snapshot is not repeated after failures", 1, 1, 1, {5, 5, 5},
       {"snapshot", "C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "Quillvex 3.dmp"}},
      {"dump on attempt 1", 1, 1, 0, {0}, {"C:\\Temp\\Quillvex 1.dmp"}},
      {"dump on attempt 2", 1, 1, 0, {4, 0},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp"}},
      {"dump on attempt 3", 1, 1, 0, {4, 6, 0},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "Quillvex 3.dmp"}},
      {"three failures, then the snapshot", 1, 1, 0, {1, 1, 1},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "Quillvex 3.dmp", "snapshot"}},
      {"a fault on attempt 1 stops the attempts", 1, 1, 0, {F},
       {"C:\\Temp\\Quillvex 1.dmp", "snapshot"}},
      {"a fault on attempt 2", 1, 1, 0, {5, F},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "snapshot"}},
      {"no snapshot without WriteQvd", 1, 0, 0, {5, 5, 5},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "Quillvex 3.dmp"}},
      {"no snapshot without WriteQvd, fault", 1, 0, 0, {F}, {"C:\\Temp\\Quillvex 1.dmp"}},
      {"WriteDump 0 still attempts the dump first", 0, 1, 0, {5, 5, 5},
       {"C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp", "Quillvex 3.dmp", "snapshot"}},
  };
  for (const Case& c : cases) {
    FakeCrashPlatform fake;
    fake.writerResults.assign(c.writer.begin(), c.writer.end());
    CrashSettings settings{c.writeDump, c.writeQvd, c.forceQvd, 0};
    EXPECT_EQ(HandleCrash(fake, settings, "", kAccessViolation, kPointers), 0) << c.what;
    EXPECT_THAT(FilesWritten(fake), ElementsAreArray(c.files)) << c.what;
    EXPECT_TRUE(TryEnterCrash()) << c.what << ": the gate is open again";
    LeaveCrash();
  }
}

TEST(CrashFilter, AttemptsChooseTheirPrefixAndTempDirectoryAndPassTheRequestThrough) {
  FakeCrashPlatform fake;
  fake.writerResults = {5, 5, 5};
  CrashSettings settings;
  settings.dumpType = 2;
  settings.writeQvd = 0;
  HandleCrash(fake, settings, "", kAccessViolation, kPointers);
  EXPECT_THAT(fake.Events(),
              ElementsAre("name '' temp=1", "dump 2 C:\\Temp\\Quillvex 1.dmp 1234 0xe9",
                          "name null temp=1", "dump 2 C:\\Temp\\Quillvex 2.dmp 1234 0xe9",
                          "name null temp=0", "dump 2 Quillvex 3.dmp 1234 0xe9"));
  EXPECT_STREQ(DumpPath, "Quillvex 3.dmp");
}

TEST(CrashFilter, StackOverflowSendsThreeLinesFirstAndOtherCodesNone) {
  FakeCrashPlatform fake;
  fake.writerResults = {0};
  HandleCrash(fake, CrashSettings{}, "", kExceptionStackOverflow, kPointers);
  const std::string bangs(33, '!');
  const auto events = fake.Events();
  ASSERT_GE(events.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(events.begin(), events.begin() + 3),
              ElementsAre("debug " + bangs, "debug EXCEPTION_STACK_OVERFLOW occurred",
                          "debug " + bangs));
  EXPECT_EQ(events[3], "name '' temp=1");

  FakeCrashPlatform other;
  other.writerResults = {0};
  HandleCrash(other, CrashSettings{}, "", kAccessViolation, kPointers);
  for (const std::string& e : other.Events()) EXPECT_EQ(e.rfind("debug", 0), std::string::npos) << e;
}

TEST(CrashFilter, ASecondCrashWhileOneIsHandledWritesNothing) {
  FakeCrashPlatform fake;
  fake.writerResults = {5, 5, 5};
  int nestedResult = -1;
  std::size_t eventsBefore = 0;
  std::size_t eventsAfter = 0;
  FakeCrashPlatform* self = &fake;
  fake.duringWrite = [&] {
    if (nestedResult != -1) return;
    eventsBefore = self->Events().size();
    nestedResult = HandleCrash(*self, CrashSettings{}, "", kExceptionStackOverflow, kPointers);
    eventsAfter = self->Events().size();
  };
  HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
  EXPECT_EQ(nestedResult, 0);
  EXPECT_EQ(eventsAfter, eventsBefore);
  // The first crash goes on undisturbed.
  EXPECT_THAT(FilesWritten(fake), ElementsAre("C:\\Temp\\Quillvex 1.dmp", "C:\\Temp\\Quillvex 2.dmp",
                                              "Quillvex 3.dmp", "snapshot"));
}

TEST(CrashFilter, ACrashOnAnotherThreadWaitsForTheFirstAndWritesNothing) {
  FakeCrashPlatform fake;
  fake.writerResults = {0};
  std::atomic<bool> secondReturned{false};
  std::atomic<int> secondResult{-1};
  std::thread second;
  std::size_t eventsBefore = 0;
  fake.duringWrite = [&] {
    eventsBefore = fake.Events().size();
    second = std::thread([&] {
      secondResult = HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
      secondReturned = true;
    });
    // It must still be waiting while this crash is being written.
    while (fake.Pauses() < 20) std::this_thread::yield();
    EXPECT_FALSE(secondReturned.load());
  };
  HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
  second.join();
  EXPECT_EQ(secondResult.load(), 0);
  EXPECT_EQ(fake.Events().size(), eventsBefore) << "the second crash wrote something";
}

// The first crash may be waiting for the very thread that crashed second
// (the dump worker): the second gives up after a bounded wait.
TEST(CrashFilter, TheWaitOfASecondCrashIsBounded) {
  FakeCrashPlatform fake;
  fake.writerResults = {0};
  fake.pauseSleeps = false;
  int secondResult = -1;
  fake.duringWrite = [&] {
    std::thread([&] {
      secondResult = HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
    }).join();
  };
  HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
  EXPECT_EQ(secondResult, 0);
  EXPECT_EQ(fake.Pauses(), kSecondCrashPauses);
}

// A fault on the minidump writer's worker while the crash owner waits for
// that worker: answered at once, not after the full bound, and nothing is
// written for it.
TEST(CrashFilter, AFaultOnTheDumpWorkerAnswersAtOnce) {
  FakeCrashPlatform fake;
  fake.writerResults = {0};
  fake.pauseSleeps = false;
  fake.dumpWorkerThreadId = fake.threadId + 1;  // the thread below
  int workerResult = -1;
  std::size_t eventsBefore = 0;
  std::size_t eventsAfter = 0;
  fake.duringWrite = [&] {
    eventsBefore = fake.Events().size();
    std::thread([&] {
      workerResult = HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
    }).join();
    eventsAfter = fake.Events().size();
  };
  HandleCrash(fake, CrashSettings{}, "", kAccessViolation, kPointers);
  EXPECT_EQ(workerResult, 0);
  EXPECT_EQ(fake.Pauses(), 0) << "the worker's fault waited for the crash that waits for it";
  EXPECT_EQ(eventsAfter, eventsBefore);
  EXPECT_THAT(FilesWritten(fake), ElementsAre("C:\\Temp\\Quillvex 1.dmp"));
}

// The worker never handles a crash of its own, even with the gate open (a
// dump written outside the filter): no dump from inside a dump.
TEST(CrashFilter, AFaultOnTheDumpWorkerWithNoCrashBeingHandledWritesNothing) {
  FakeCrashPlatform fake;
  fake.writerResults = {0};
  fake.dumpWorkerThreadId = fake.threadId;
  EXPECT_EQ(HandleCrash(fake, CrashSettings{1, 1, 1, 0}, "", kAccessViolation, kPointers), 0);
  EXPECT_TRUE(fake.Events().empty());
  EXPECT_TRUE(TryEnterCrash()) << "the gate was not taken";
  LeaveCrash();
}

}  // namespace
}  // namespace tarvish
