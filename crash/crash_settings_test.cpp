#include "crash/crash_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "crash/crash_settings_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;

constexpr FilterSlot::Filter kCrashFilter = 0xC0FFEE;
constexpr FilterSlot::Filter kHostFilter = 0xBEEF;

struct Installation {
  FakeRegistry registry;
  FakeFilterSlot slot;
  CrashSettings settings;
  FilterBinding binding;
  char prefix[261] = "QuillvexStartup";
  bool installed = false;

  Installation() { slot.current = kHostFilter; }
  void Run() {
    installed = InstallCrashHandler(registry, slot, kCrashFilter, settings, prefix, binding);
  }
};

TEST(InstallCrashHandler, DecisionTable) {
  struct Case {
    std::uint32_t writeDump, writeQvd, forceQvd;
    bool installed;
  } cases[] = {
      {1, 1, 0, true}, {5, 0, 0, true}, {1, 0, 1, true},
      {0, 1, 0, true}, {0, 7, 1, true},
      {0, 0, 0, false}, {0, 0, 1, false},  // ForceQvd alone never installs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.writeDump << "/" << c.writeQvd << "/" << c.forceQvd);
    Installation in;
    in.registry.values["WriteDump"] = FakeRegistry::Dword(c.writeDump);
    in.registry.values["WriteQvd"] = FakeRegistry::Dword(c.writeQvd);
    in.registry.values["ForceQvd"] = FakeRegistry::Dword(c.forceQvd);
    in.Run();
    EXPECT_EQ(in.installed, c.installed);
    EXPECT_EQ(in.binding.installed, c.installed);
    if (c.installed) {
      EXPECT_STREQ(in.prefix, "");
      EXPECT_THAT(in.slot.exchanges, ElementsAre(kCrashFilter));
      EXPECT_EQ(in.binding.previous, kHostFilter);
    } else {
      EXPECT_STREQ(in.prefix, "QuillvexStartup");
      EXPECT_TRUE(in.slot.exchanges.empty());
    }
  }
}

TEST(InstallCrashHandler, MissingKeyLeavesEveryDefaultAndInstalls) {
  Installation in;
  in.registry.keyExists = false;
  in.Run();
  EXPECT_TRUE(in.installed);
  EXPECT_EQ(in.settings.writeDump, 1u);
  EXPECT_EQ(in.settings.writeQvd, 1u);
  EXPECT_EQ(in.settings.forceQvd, 0u);
  EXPECT_EQ(in.settings.dumpType, 0u);
  // A key that was never opened is never closed.
  const std::string open = std::string("open ") + kCrashSettingsKey + " 1";
  EXPECT_THAT(in.registry.calls, ElementsAre(open, open, open, open));
}

TEST(InstallCrashHandler, OpensTheKeyOncePerValueInOrderAndClosesEachTime) {
  Installation in;
  in.registry.values["WriteDump"] = FakeRegistry::Dword(5);
  in.registry.values["DumpType"] = FakeRegistry::Dword(2);
  in.Run();
  const std::string open = std::string("open ") + kCrashSettingsKey + " 1";
  EXPECT_THAT(in.registry.calls,
              ElementsAre(open, "query WriteDump 4", "close", open, "query WriteQvd 4", "close",
                          open, "query ForceQvd 4", "close", open, "query DumpType 4", "close"));
  EXPECT_EQ(in.settings.writeDump, 5u);
  EXPECT_EQ(in.settings.dumpType, 2u);  // handed to the writer as it stands
  EXPECT_EQ(in.settings.writeQvd, 1u);
}

TEST(ReadCrashSetting, OnlyAFourByteDwordChangesTheSetting) {
  struct Case {
    const char* what;
    FakeRegistry::Value value;
    bool changed;
    std::uint32_t after;
  } cases[] = {
      {"dword", FakeRegistry::Dword(0), true, 0},
      {"dword max", FakeRegistry::Dword(0xFFFFFFFF), true, 0xFFFFFFFF},
      {"REG_SZ \"0\" fits in 4 bytes", FakeRegistry::Sz("0"), false, 1},
      {"REG_SZ too long", FakeRegistry::Sz("0000000"), false, 1},
      {"REG_BINARY of 4 bytes", {3, {0, 0, 0, 0}}, false, 1},
      {"REG_DWORD of 2 bytes", {kRegDword, {0, 0}}, false, 1},
      {"REG_DWORD of 8 bytes", {kRegDword, {0, 0, 0, 0, 0, 0, 0, 0}}, false, 1},
      {"REG_QWORD", {11, {0, 0, 0, 0, 0, 0, 0, 0}}, false, 1},
  };
  for (const Case& c : cases) {
    FakeRegistry registry;
    registry.values["WriteDump"] = c.value;
    std::uint32_t setting = 1;
    EXPECT_EQ(ReadCrashSetting(registry, "WriteDump", &setting), c.changed) << c.what;
    EXPECT_EQ(setting, c.after) << c.what;
    EXPECT_EQ(registry.calls.back(), "close") << c.what;
  }
}

TEST(InstallCrashHandler, RegSzZeroLeavesWriteDumpOn) {
  Installation in;
  in.registry.values["WriteDump"] = FakeRegistry::Sz("0");
  in.registry.values["WriteQvd"] = FakeRegistry::Dword(0);
  in.Run();
  EXPECT_EQ(in.settings.writeDump, 1u);
  EXPECT_TRUE(in.installed);
}

TEST(RestoreFilterOnUnload, PutsBackThePreviousFilterWhenOursIsCurrent) {
  Installation in;
  in.Run();
  RestoreFilterOnUnload(in.slot, in.binding);
  EXPECT_EQ(in.slot.current, kHostFilter);
  EXPECT_FALSE(in.binding.installed);
  RestoreFilterOnUnload(in.slot, in.binding);  // a second unload changes nothing
  EXPECT_THAT(in.slot.exchanges, ElementsAre(kCrashFilter, kHostFilter));
}

TEST(RestoreFilterOnUnload, LeavesAFilterRegisteredOverOursInPlace) {
  Installation in;
  in.Run();
  constexpr FilterSlot::Filter kLater = 0x1A7E;
  in.slot.current = kLater;
  RestoreFilterOnUnload(in.slot, in.binding);
  EXPECT_EQ(in.slot.current, kLater);
}

TEST(RestoreFilterOnUnload, DoesNothingWhenNothingWasInstalled) {
  Installation in;
  in.registry.values["WriteDump"] = FakeRegistry::Dword(0);
  in.registry.values["WriteQvd"] = FakeRegistry::Dword(0);
  in.Run();
  RestoreFilterOnUnload(in.slot, in.binding);
  EXPECT_TRUE(in.slot.exchanges.empty());
  EXPECT_EQ(in.slot.current, kHostFilter);
}

}  // namespace
}  // namespace tarvish
