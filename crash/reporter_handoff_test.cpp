#include "crash/reporter_handoff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crash/reporter_handoff_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;

std::uint32_t At(const std::vector<unsigned char>& block, std::uint32_t offset) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | block[offset + i];
  return v;
}

std::string PathField(const std::vector<unsigned char>& block) {
  return std::string(reinterpret_cast<const char*>(block.data() + kParamsPath));
}

_EXCEPTION_POINTERS* Address(std::uint64_t value) {
  return reinterpret_cast<_EXCEPTION_POINTERS*>(static_cast<std::uintptr_t>(value));
}

DumpRequest Request(const char* path, _EXCEPTION_POINTERS* pointers) {
  return DumpRequest{0x1826, path, 0xABCD, pointers, kWorkerStoredNoResult, 0};
}

TEST(MiniDumperParams, LayoutByteByByte) {
  const std::uint64_t pointerValue = sizeof(void*) == 8 ? 0x00007FF612345678ull : 0x12345678ull;
  const std::uint32_t high = static_cast<std::uint32_t>(pointerValue >> 32);
  const struct {
    const char* what;
    bool pointers;
    bool readable;
    std::uint32_t pointerBytes;
    std::uint32_t at12, at284, at288;
  } cases[] = {
      {"32-bit, with exception", true, true, 4, 0xABCD, 0x12345678, 0xEEEEEEEE},
      {"64-bit, with exception", true, true, 8, 0xABCD, 0x12345678, high},
      {"null pointers", false, true, 8, 0xEEEEEEEE, 0xEEEEEEEE, 0xEEEEEEEE},
      {"unreadable pointers", true, false, 8, 0xEEEEEEEE, 0xEEEEEEEE, 0xEEEEEEEE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // An existing block full of earlier content: nothing is cleared.
    std::vector<unsigned char> block(kMiniDumperParamsSize, 0xEE);
    const DumpRequest request = Request("C:\\Temp\\a.dmp", c.pointers ? Address(pointerValue) : nullptr);
    EXPECT_EQ(FillMiniDumperParams(block.data(), request, {0x1111, 0x2222, c.readable}, c.pointerBytes),
              1);
    std::vector<unsigned char> expected(kMiniDumperParamsSize, 0xEE);
    auto put = [&](std::uint32_t offset, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) expected[offset + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put(4, 0x1111);
    put(8, 0x2222);
    put(12, c.at12);
    put(16, 0x1826);
    std::memcpy(expected.data() + 20, "C:\\Temp\\a.dmp", 14);  // and its NUL; the rest kept
    put(284, c.at284);
    put(288, c.at288);
    EXPECT_EQ(block, expected);
  }
}

TEST(MiniDumperParams, LongPathsAreCutTo259Characters) {
  for (std::size_t length : {258u, 259u, 260u, 300u}) {
    SCOPED_TRACE(length);
    std::vector<unsigned char> block(kMiniDumperParamsSize, 0xEE);
    const std::string path(length, 'p');
    FillMiniDumperParams(block.data(), Request(path.c_str(), nullptr), {1, 2, false}, 4);
    EXPECT_EQ(PathField(block), path.substr(0, 259));
    EXPECT_EQ(block[280], 0xEE) << "the reserved field after the path is not touched";
  }
}

// Report.exe reads the block through the same definition: what the
// handoff writes comes back field by field, at either width.
TEST(MiniDumperParams, TheReportersReadingOfWhatTheHandoffWrote) {
  const std::uint64_t pointerValue = sizeof(void*) == 8 ? 0x00007FF612345678ull : 0x12345678ull;
  for (std::uint32_t pointerBytes : {4u, 8u}) {
    SCOPED_TRACE(pointerBytes);
    std::vector<unsigned char> block(kMiniDumperParamsSize, 0);
    const DumpRequest request = Request("C:\\Temp\\a.dmp", Address(pointerValue));
    FillMiniDumperParams(block.data(), request, {0x1111, 0x2222, true}, pointerBytes);
    const MiniDumperRequest read = ReadMiniDumperParams(block.data(), pointerBytes);
    EXPECT_EQ(read.processId, 0x1111u);
    EXPECT_EQ(read.waitingThreadId, 0x2222u);
    EXPECT_EQ(read.faultingThreadId, 0xABCDu);
    EXPECT_EQ(read.dumpType, 0x1826u);
    EXPECT_STREQ(read.path, "C:\\Temp\\a.dmp");
    EXPECT_EQ(read.exceptionPointers, pointerBytes == 8 ? pointerValue : (pointerValue & 0xFFFFFFFFu));
  }
  // A request as the library writes it on this host, read at this host's
  // width: the address comes back whole.
  FakeReporterPlatform platform;
  DumpRequest request = Request("p", Address(pointerValue));
  DumpInProgress = 1;
  HandOffWith(request, platform);
  EXPECT_EQ(ReadMiniDumperParams(platform.block.data()).exceptionPointers, pointerValue);
}

TEST(MiniDumperParams, TheReadPathEndsWithinItsFieldWithoutANul) {
  std::vector<unsigned char> block(kMiniDumperParamsSize, 'p');
  const MiniDumperRequest read = ReadMiniDumperParams(block.data(), 4);
  EXPECT_EQ(std::string(read.path), std::string(kParamsPathSize, 'p'));
}

TEST(MiniDumperParams, NameCommandLineAndSize) {
  EXPECT_STREQ(kMiniDumperParamsName, "MiniDumperParams");
  EXPECT_STREQ(kReporterCommandLine, "Report -d");
  EXPECT_EQ(kMiniDumperParamsSize, 292u);
  EXPECT_EQ(kParamsExceptionPointersHigh, 288u);
}

class ReporterHandoff : public ::testing::Test {
 protected:
  void SetUp() override { DumpInProgress = 1; }

  FakeReporterPlatform platform_;
  DumpRequest request_ = Request("C:\\Temp\\a.dmp", nullptr);
};

TEST_F(ReporterHandoff, WithoutAReporterGivesZeroAndReleasesTheBlock) {
  platform_.reporterStarts = false;
  EXPECT_EQ(HandOffWith(request_, platform_), 0);
  EXPECT_THAT(platform_.calls,
              ElementsAre("CreateFileMappingA", "MapViewOfFile mapping", "CreateProcessA",
                          "UnmapViewOfFile", "CloseHandle mapping"));
  EXPECT_EQ(DumpInProgress, 0);
  EXPECT_EQ(At(platform_.block, kParamsProcessId), FakeReporterPlatform::kProcessId);
  EXPECT_EQ(At(platform_.block, kParamsWaitingThreadId), FakeReporterPlatform::kThreadId);
}

TEST_F(ReporterHandoff, StartsReportDashDFromItsOwnBufferAndWaitsForIt) {
  platform_.reporterStoresResult = true;
  HandOffWith(request_, platform_);
  EXPECT_EQ(platform_.commandLine, "Report -d");
  EXPECT_EQ(std::string(kReporterCommandLine), "Report -d") << "the constant is never written";
  EXPECT_EQ(platform_.flagWhileReporterRuns, 1) << "the caller keeps spinning while the reporter runs";
  EXPECT_THAT(platform_.calls,
              ElementsAre("CreateFileMappingA", "MapViewOfFile mapping", "CreateProcessA",
                          "WaitForSingleObject process", "CloseHandle process", "CloseHandle thread",
                          "UnmapViewOfFile", "CloseHandle mapping"));
}

TEST_F(ReporterHandoff, TheReportersValueIsReturnedAsItIs) {
  for (std::uint32_t stored : {0u, 1u, 7u, 0x80000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(stored);
    FakeReporterPlatform platform;
    platform.reporterStoresResult = true;
    platform.reporterResult = stored;
    DumpInProgress = 1;
    EXPECT_EQ(HandOffWith(request_, platform), static_cast<std::int32_t>(stored));
    EXPECT_EQ(DumpInProgress, 0);
  }
}

TEST_F(ReporterHandoff, AnEarlierValueAtOffsetZeroIsNotCleared) {
  // The block existed already, and a reporter that ends without storing
  // anything leaves that value to be read.
  platform_.block[0] = 3;
  EXPECT_EQ(HandOffWith(request_, platform_), 3);
}

TEST_F(ReporterHandoff, ExceptionFieldsOnlyWithReadablePointers) {
  for (bool bad : {false, true}) {
    FakeReporterPlatform platform;
    platform.badExceptionPointers = bad;
    DumpRequest request = Request("p", Address(0x1000));
    HandOffWith(request, platform);
    EXPECT_EQ(At(platform.block, kParamsFaultingThreadId), bad ? 0u : 0xABCDu);
    EXPECT_EQ(At(platform.block, kParamsExceptionPointers), bad ? 0u : 0x1000u);
    // The whole EXCEPTION_POINTERS record: two native pointers.
    EXPECT_EQ(platform.calls[2], "IsBadReadPtr " + std::to_string(2 * sizeof(void*)));
  }
}

TEST_F(ReporterHandoff, SetUpFailuresGiveZero) {
  const struct {
    const char* what;
    bool mappingFails, viewFails;
    std::vector<std::string> calls;
  } cases[] = {
      {"no mapping", true, false, {"CreateFileMappingA"}},
      {"no view", false, true, {"CreateFileMappingA", "MapViewOfFile mapping", "CloseHandle mapping"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeReporterPlatform platform;
    platform.mappingFails = c.mappingFails;
    platform.viewFails = c.viewFails;
    platform.reporterStoresResult = true;
    DumpInProgress = 1;
    EXPECT_EQ(HandOffWith(request_, platform), 0);
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(DumpInProgress, 0);
  }
}

}  // namespace
}  // namespace tarvish
