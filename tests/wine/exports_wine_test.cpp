// The export surface and the small exports, through the real DLL.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tests/wine/dll_under_test.h"

namespace {

using tarvish_test::DllUnderTest;

using ViseEntryFn = int(WINAPI*)(int, int, int);
using IsAfterFn = int(WINAPI*)(int, int, int);
using CodePageFn = UINT(WINAPI*)();

class Exports : public ::testing::Test {
 protected:
  DllUnderTest dll_;
};

TEST_F(Exports, EveryNameResolvesAndTheUndecoratedGetActiveCPDoesNot) {
  ASSERT_NE(dll_.module(), nullptr);
  for (const char* name : {"ViseEntry", "IsAfter", "GetACP", "_GetActiveCP@0",
                           "GetFileDescription", "CheckShortCutAndUpdateIfNecessary",
                           "ForceIconCacheRebuild", "UpdateFont"}) {
    EXPECT_NE(dll_.Get<FARPROC>(name), nullptr) << name;
  }
  EXPECT_EQ(dll_.Get<FARPROC>("GetActiveCP"), nullptr);
}

// Loading succeeds only when the entry function answers TRUE to process
// attach; thread attach and detach are asked directly through the image's
// entry point. Process detach is exercised by unloading (the loader ignores
// its answer, so only a crash there would show).
TEST(ModuleEntry, AnswersTrueForEveryReason) {
  HMODULE module = LoadLibraryA((tarvish_test::ProgramFolder() + "Tarvish.dll").c_str());
  ASSERT_NE(module, nullptr);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(reinterpret_cast<BYTE*>(module) + dos->e_lfanew);
  using EntryFn = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
  auto entry = reinterpret_cast<EntryFn>(reinterpret_cast<BYTE*>(module) +
                                         nt->OptionalHeader.AddressOfEntryPoint);
  EXPECT_EQ(entry(module, DLL_THREAD_ATTACH, nullptr), TRUE);
  EXPECT_EQ(entry(module, DLL_THREAD_DETACH, nullptr), TRUE);
  EXPECT_NE(FreeLibrary(module), FALSE);
}

TEST_F(Exports, ViseEntryReturnsZeroWhateverItIsGiven) {
  auto vise = dll_.Get<ViseEntryFn>("ViseEntry");
  ASSERT_NE(vise, nullptr);
  EXPECT_EQ(vise(0, 0, 0), 0);
  EXPECT_EQ(vise(-1, 0x7fffffff, 12345), 0);
}

TEST_F(Exports, BothCodePageExportsAnswerTheSystemCodePage) {
  auto forwarded = dll_.Get<CodePageFn>("GetACP");
  auto active = dll_.Get<CodePageFn>("_GetActiveCP@0");
  ASSERT_NE(forwarded, nullptr);
  ASSERT_NE(active, nullptr);
  EXPECT_EQ(forwarded(), GetACP());
  EXPECT_EQ(active(), GetACP());
  // The forwarder leads straight into KERNEL32's own function.
  EXPECT_EQ(reinterpret_cast<void*>(forwarded),
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetACP")));
}

struct Day {
  int day, month, year;
};

Day LocalDayOffset(int days) {
  std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
  std::tm local{};
  localtime_s(&local, &t);
  return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

TEST_F(Exports, IsAfterAgainstTodaysLocalDate) {
  auto isAfter = dll_.Get<IsAfterFn>("IsAfter");
  ASSERT_NE(isAfter, nullptr);
  const struct {
    int offset;
    int expected;
  } cases[] = {{-1, 1}, {0, 1}, {1, 0}, {-400, 1}, {400, 0}};
  for (const auto& c : cases) {
    // Asked again if local midnight passed during the call.
    for (int attempt = 0;; ++attempt) {
      const Day d = LocalDayOffset(c.offset);
      const int result = isAfter(d.day, d.month, d.year);
      const Day after = LocalDayOffset(c.offset);
      if (attempt == 0 && (after.day != d.day || after.month != d.month)) continue;
      EXPECT_EQ(result, c.expected)
          << "offset " << c.offset << ": " << d.day << '.' << d.month << '.' << d.year;
      break;
    }
  }
}

// Run by the zone test (run_in_zone.sh) in a zone where the local date and
// the UTC date differ right now: the export must follow the local one.
bool ParseDate(const char* text, Day* d) {
  return text != nullptr && std::sscanf(text, "%d.%d.%d", &d->day, &d->month, &d->year) == 3;
}

TEST_F(Exports, IsAfterFollowsTheLocalNotTheUtcDate) {
  Day today{}, tomorrow{};
  if (!ParseDate(std::getenv("TARVISH_LOCAL_TODAY"), &today) ||
      !ParseDate(std::getenv("TARVISH_LOCAL_TOMORROW"), &tomorrow)) {
    GTEST_SKIP() << "runs under run_in_zone.sh";
  }
  auto isAfter = dll_.Get<IsAfterFn>("IsAfter");
  ASSERT_NE(isAfter, nullptr);
  EXPECT_EQ(isAfter(today.day, today.month, today.year), 1) << "the local day itself";
  EXPECT_EQ(isAfter(tomorrow.day, tomorrow.month, tomorrow.year), 0) << "the local next day";
}

}  // namespace
