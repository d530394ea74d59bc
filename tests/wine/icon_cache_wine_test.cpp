// ForceIconCacheRebuild through the real DLL: a top-level window of the test
// watches the two broadcasts and reads the setting as each arrives.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/wine/dll_under_test.h"

namespace {

using tarvish_test::DllUnderTest;
using RebuildFn = int(WINAPI*)();

const char kKey[] = "Control Panel\\desktop\\WindowMetrics";
const char kValue[] = "Shell Icon Size";

struct Stored {
  DWORD type;
  std::string bytes;
  bool operator==(const Stored& o) const { return type == o.type && bytes == o.bytes; }
};

std::optional<Stored> ReadSetting() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0, size = 0;
  std::optional<Stored> stored;
  if (RegQueryValueExA(key, kValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (RegQueryValueExA(key, kValue, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) == ERROR_SUCCESS) {
      bytes.resize(size);
      stored = Stored{type, bytes};
    }
  }
  RegCloseKey(key);
  return stored;
}

void WriteSetting(const std::optional<Stored>& stored) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  if (stored) {
    RegSetValueExA(key, kValue, 0, stored->type,
                   reinterpret_cast<const BYTE*>(stored->bytes.data()),
                   static_cast<DWORD>(stored->bytes.size()));
  } else {
    RegDeleteValueA(key, kValue);
  }
  RegCloseKey(key);
}

Stored Text(const std::string& text) { return {REG_SZ, text + std::string(1, '\0')}; }

struct Broadcast {
  WPARAM action;
  std::wstring area;
  std::optional<Stored> setting;
};
std::vector<Broadcast> g_broadcasts;

LRESULT CALLBACK Watch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTINGCHANGE) {
    const auto* area = reinterpret_cast<const wchar_t*>(lParam);
    g_broadcasts.push_back({wParam, area != nullptr ? area : L"<null>", ReadSetting()});
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The watching window lives on a thread of its own that pumps messages, as
// the shell's windows do: the broadcast crosses threads to reach it.
class WatchThread {
 public:
  WatchThread() {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
  }
  ~WatchThread() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(ready_);
  }
  bool HasWindow() const { return window_ != nullptr; }

 private:
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<WatchThread*>(p);
    // A Unicode window: Wine hands an ANSI window the broadcast's text
    // unconverted.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Watch;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TarvishIconCacheWatch";
    RegisterClassW(&windowClass);
    self->window_ = CreateWindowW(L"TarvishIconCacheWatch", L"watch", WS_OVERLAPPEDWINDOW, 0, 0,
                                  10, 10, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists now
    SetEvent(self->ready_);
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    if (self->window_ != nullptr) DestroyWindow(self->window_);
    return 0;
  }

  HANDLE ready_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HWND window_ = nullptr;
};

class IconCache : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dll_.module(), nullptr);
    rebuild_ = dll_.Get<RebuildFn>("ForceIconCacheRebuild");
    ASSERT_NE(rebuild_, nullptr);
    userSetting_ = ReadSetting();
    ASSERT_TRUE(watch_.HasWindow());
    g_broadcasts.clear();
  }
  void TearDown() override { WriteSetting(userSetting_); }

  void ExpectTwoBroadcasts(const std::optional<Stored>& restored) {
    ASSERT_EQ(g_broadcasts.size(), 2u);
    for (const Broadcast& b : g_broadcasts) {
      EXPECT_EQ(b.action, static_cast<WPARAM>(SPI_SETICONMETRICS));
      EXPECT_EQ(b.area, L"WindowMetrics");
    }
    EXPECT_EQ(g_broadcasts[0].setting, Text("100"));
    EXPECT_EQ(g_broadcasts[1].setting, restored);
  }

  DllUnderTest dll_;
  RebuildFn rebuild_ = nullptr;
  WatchThread watch_;
  std::optional<Stored> userSetting_;
};

TEST_F(IconCache, TheSettingReads100AtTheFirstBroadcastAndIsBackForTheSecond) {
  WriteSetting(Text("32"));
  EXPECT_EQ(rebuild_(), 0);
  ExpectTwoBroadcasts(Text("32"));
  EXPECT_EQ(ReadSetting(), Text("32"));
}

TEST_F(IconCache, AMissingSettingIsMissingAgain) {
  WriteSetting(std::nullopt);
  EXPECT_EQ(rebuild_(), 0);
  ExpectTwoBroadcasts(std::nullopt);
  EXPECT_EQ(ReadSetting(), std::nullopt);
}

TEST_F(IconCache, ASettingLongerThan512BytesComesBackWhole) {
  const Stored longSetting = Text(std::string(600, '4'));
  WriteSetting(longSetting);
  EXPECT_EQ(rebuild_(), 0);
  ExpectTwoBroadcasts(longSetting);
  EXPECT_EQ(ReadSetting(), longSetting);
}

}  // namespace
