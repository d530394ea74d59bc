#include "crash/crash_file_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/crash_file_name_fake.h"

namespace tarvish {
namespace {

const std::string kName = "Quillvex 2024_03_05 07_08_09_010";

// A directory of `length` characters ending in a backslash.
std::string Directory(std::size_t length) { return "C:\\" + std::string(length - 4, 'd') + "\\"; }

struct NameCase {
  const char* what;
  const char* prefix;  // null: none
  std::string prefixText;  // used when prefix is "*"
  bool allowTemp;
  std::string tempDirectory;
  bool forceTempResult;
  std::uint32_t forcedTempResult;
  std::string expected;
  bool tempConsulted;
};

TEST(CrashFileName, RulesForPrefixAndTempDirectory) {
  const std::string d211 = Directory(211), d212 = Directory(212);
  const std::string p211 = std::string(210, 'p') + "\\", p212 = std::string(211, 'p') + "\\";
  const NameCase cases[] = {
      {"temp directory used", nullptr, "", true, "C:\\Temp\\", false, 0, "C:\\Temp\\" + kName, true},
      {"empty prefix counts as none", "", "", true, "C:\\Temp\\", false, 0, "C:\\Temp\\" + kName, true},
      {"temp of 211 characters used", nullptr, "", true, d211, false, 0, d211 + kName, true},
      {"temp of 212 characters not used", nullptr, "", true, d212, false, 0, kName, true},
      {"directory prefix, temp not consulted", "C:\\Dumps\\", "", true, "C:\\Temp\\", false, 0,
       "C:\\Dumps\\" + kName, false},
      {"no separator added after a prefix", "Crash", "", true, "C:\\Temp\\", false, 0,
       "Crash" + kName, false},
      {"prefix of 211 characters used", "*", p211, true, "C:\\Temp\\", false, 0, p211 + kName, false},
      {"prefix of 212 characters ignored", "*", p212, true, "C:\\Temp\\", false, 0,
       "C:\\Temp\\" + kName, true},
      {"too long prefix and no temp: bare", "*", p212, false, "C:\\Temp\\", false, 0, kName, false},
      {"temp not allowed: bare", nullptr, "", false, "C:\\Temp\\", false, 0, kName, false},
      {"GetTempPathA fails", nullptr, "", true, "C:\\Temp\\", true, 0, kName, true},
      {"GetTempPathA reports more than the limit", nullptr, "", true, "C:\\Temp\\", true, 300,
       kName, true},
      {"GetTempPathA reports exactly the limit", nullptr, "", true, "C:\\Temp\\", true, 256, kName,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCrashNameSource source;
    source.tempDirectory = c.tempDirectory;
    source.forceTempResult = c.forceTempResult;
    source.forcedTempResult = c.forcedTempResult;
    const char* prefix = c.prefix;
    if (prefix != nullptr && std::string(prefix) == "*") prefix = c.prefixText.c_str();
    std::vector<char> buffer(kCrashNameLimit, '#');
    ComposeCrashFileName(prefix, buffer.data(), kCrashNameLimit, c.allowTemp, source);
    EXPECT_EQ(std::string(buffer.data()), c.expected);
    if (c.tempConsulted) {
      EXPECT_EQ(source.tempPathCalls, std::vector<std::uint32_t>{kCrashNameLimit});
    } else {
      EXPECT_TRUE(source.tempPathCalls.empty());
    }
    EXPECT_EQ(source.localTimeCalls, 1);
  }
}

TEST(CrashFileName, TimeFieldsAreZeroPadded) {
  const struct {
    CrashLocalTime time;
    const char* expected;
  } cases[] = {
      {{2025, 1, 1, 0, 0, 0, 5}, "Quillvex 2025_01_01 00_00_00_005"},
      {{2024, 12, 31, 23, 59, 59, 999}, "Quillvex 2024_12_31 23_59_59_999"},
      {{987, 1, 2, 3, 4, 5, 60}, "Quillvex 0987_01_02 03_04_05_060"},
      // The widest the platform's fields go still fits the reserved room.
      {{30827, 12, 31, 23, 59, 59, 999}, "Quillvex 30827_12_31 23_59_59_999"},
  };
  for (const auto& c : cases) {
    FakeCrashNameSource source;
    source.time = c.time;
    char buffer[kCrashNameLimit];
    ComposeCrashFileName(nullptr, buffer, sizeof buffer, false, source);
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(CrashFileName, SmallBuffersGetATerminatedPrefixOfTheName) {
  for (std::uint32_t size : {1u, 2u, 9u, 32u, 33u}) {
    SCOPED_TRACE(size);
    FakeCrashNameSource source;
    // Exactly `size` bytes, so the sanitizer sees any write past the end.
    std::vector<char> buffer(size, '#');
    ComposeCrashFileName("Crash", buffer.data(), size, true, source);
    EXPECT_EQ(std::string(buffer.data()), kName.substr(0, size - 1));
  }
  FakeCrashNameSource source;
  char untouched = '#';
  ComposeCrashFileName("Crash", &untouched, 0, true, source);
  EXPECT_EQ(untouched, '#');
  ComposeCrashFileName("Crash", nullptr, kCrashNameLimit, true, source);
}

}  // namespace
}  // namespace tarvish
