#include "exports/icon_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exports/icon_cache_fake.h"

namespace tarvish {
namespace {

using Value = FakeIconCachePlatform::Value;

const std::string kOpen = "RegOpenKey(Control Panel\\desktop\\WindowMetrics)";
const std::string kBroadcast = "SendMessage(46,WindowMetrics)";

TEST(RebuildIconCache, PresetBroadcastRestoreBroadcastInThatOrder) {
  FakeIconCachePlatform platform;
  platform.value = TextValue("32");
  EXPECT_EQ(RebuildIconCache(platform), 0);
  const std::vector<std::string> expected = {
      kOpen,
      "RegQueryValueEx(Shell Icon Size,512)",
      "RegSetValueEx(Shell Icon Size,1,4)",  // "100" and its NUL
      kBroadcast,
      kOpen,
      "RegSetValueEx(Shell Icon Size,1,3)",
      "RegCloseKey",
      "RegCloseKey",  // the key kept for the restore
      kBroadcast,
  };
  EXPECT_EQ(platform.calls, expected);
  ASSERT_EQ(platform.valueAtBroadcast.size(), 2u);
  EXPECT_EQ(platform.valueAtBroadcast[0], TextValue("100"));
  EXPECT_EQ(platform.valueAtBroadcast[1], TextValue("32"));
}

Value Bytes(std::uint32_t type, std::vector<unsigned char> bytes) { return {type, bytes}; }

TEST(RebuildIconCache, TheSettingIsPutBackAsItWasFound) {
  const std::string text512(512, '7');
  const std::vector<unsigned char> long600(600, '4');
  const struct {
    const char* name;
    std::optional<Value> found;
    std::optional<Value> after;
  } cases[] = {
      {"512 bytes without a NUL gain one", Bytes(kRegSz, {text512.begin(), text512.end()}),
       TextValue(text512)},
      {"text ends at its first NUL", Bytes(kRegSz, {'4', '8', 0, 'x', 'y', 0}), TextValue("48")},
      {"missing is missing again", std::nullopt, std::nullopt},
      {"longer than 512 bytes comes back whole", Bytes(kRegSz, long600),
       Bytes(kRegSz, long600)},
      {"another type keeps its type and bytes", Bytes(4 /*REG_DWORD*/, {0x20, 0, 0, 0}),
       Bytes(4, {0x20, 0, 0, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeIconCachePlatform platform;
    platform.value = c.found;
    EXPECT_EQ(RebuildIconCache(platform), 0);
    EXPECT_EQ(platform.value, c.after);
    ASSERT_EQ(platform.valueAtBroadcast.size(), 2u);
    EXPECT_EQ(platform.valueAtBroadcast[0], TextValue("100"));
    EXPECT_EQ(platform.valueAtBroadcast[1], c.after);
  }
}

TEST(RebuildIconCache, AMissingValueIsDeletedAfterTheFirstBroadcast) {
  FakeIconCachePlatform platform;
  RebuildIconCache(platform);
  const std::vector<std::string> expected = {
      kOpen, "RegQueryValueEx(Shell Icon Size,512)", "RegSetValueEx(Shell Icon Size,1,4)",
      kBroadcast, kOpen, "RegDeleteValue(Shell Icon Size)", "RegCloseKey", "RegCloseKey",
      kBroadcast};
  EXPECT_EQ(platform.calls, expected);
}

TEST(RebuildIconCache, ALongValueIsReadAgainWithRoomForAllOfIt) {
  FakeIconCachePlatform platform;
  platform.value = Bytes(kRegSz, std::vector<unsigned char>(700, 'z'));
  RebuildIconCache(platform);
  ASSERT_GE(platform.calls.size(), 3u);
  EXPECT_EQ(platform.calls[1], "RegQueryValueEx(Shell Icon Size,512)");
  EXPECT_EQ(platform.calls[2], "RegQueryValueEx(Shell Icon Size,700)");
  EXPECT_EQ(platform.calls[3], "RegSetValueEx(Shell Icon Size,1,4)");
}

TEST(RebuildIconCache, WhenTheKeyCannotBeOpenedAgainTheSettingIsRestoredThroughTheFirst) {
  const struct {
    const char* name;
    bool failedOpenThrows;
    std::optional<Value> found;
    std::vector<std::string> restore;
  } cases[] = {
      {"refused", false, TextValue("32"), {"RegSetValueEx(Shell Icon Size,1,3)"}},
      {"out of memory", true, TextValue("32"), {"RegSetValueEx(Shell Icon Size,1,3)"}},
      {"refused, value was missing", false, std::nullopt, {"RegDeleteValue(Shell Icon Size)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeIconCachePlatform platform;
    platform.value = c.found;
    platform.workingOpens = 1;
    platform.failedOpenThrows = c.failedOpenThrows;
    EXPECT_EQ(RebuildIconCache(platform), 0);
    EXPECT_EQ(platform.value, c.found);
    std::vector<std::string> expected = {kOpen, "RegQueryValueEx(Shell Icon Size,512)",
                                         "RegSetValueEx(Shell Icon Size,1,4)", kBroadcast, kOpen};
    expected.insert(expected.end(), c.restore.begin(), c.restore.end());
    expected.insert(expected.end(), {"RegCloseKey", kBroadcast});
    EXPECT_EQ(platform.calls, expected);
    ASSERT_EQ(platform.valueAtBroadcast.size(), 2u);
    EXPECT_EQ(platform.valueAtBroadcast[1], c.found);
  }
}

TEST(RebuildIconCache, AnUnreadableSettingIsNotReplacedButTheBroadcastsGo) {
  const struct {
    const char* name;
    bool keyExists;
    bool readFails;
    std::vector<std::string> calls;
  } cases[] = {
      {"no key", false, false, {kOpen, kBroadcast, kBroadcast}},
      {"read refused", true, true,
       {kOpen, "RegQueryValueEx(Shell Icon Size,512)", "RegCloseKey", kBroadcast, kBroadcast}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeIconCachePlatform platform;
    platform.keyExists = c.keyExists;
    platform.readFails = c.readFails;
    platform.value = TextValue("48");
    EXPECT_EQ(RebuildIconCache(platform), 0);
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(platform.value, TextValue("48"));
  }
}

}  // namespace
}  // namespace tarvish
