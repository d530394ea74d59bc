// UpdateFont through the real DLL, against the prefix's own fonts folder,
// Fonts key and loaded fonts. The fixtures are the "Demo Glyphs" family at
// revisions 1.0, 1.5 and 2.0, made with fontTools at build time beside this
// program; fonts_wine_reset has removed any earlier copy before it starts.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "tests/wine/dll_under_test.h"
#include "tests/wine/fonts_wine_demo_glyphs.h"

namespace {

using namespace tarvish_test;

using UpdateFontFn = int(WINAPI*)(const char*, const char*, const char*, const char*);

std::optional<std::string> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ULONGLONG FileWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

// The Fonts key as the DLL sees it: a process of the same bitness, no view
// flag, so a 32-bit run reads the 32-bit view the 32-bit DLL wrote.
struct FontsKey {
  std::optional<std::string> value;
  ULONGLONG lastWrite = 0;
};

FontsKey ReadFontsKey() {
  FontsKey result;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNtFontsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return result;
  }
  char data[MAX_PATH] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, kDemoValue, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    result.value = std::string(data, size);  // NUL included when stored with it
  }
  FILETIME written = {};
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, &written);
  result.lastWrite = (ULONGLONG{written.dwHighDateTime} << 32) | written.dwLowDateTime;
  RegCloseKey(key);
  return result;
}

int CALLBACK MatchFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM found) {
  if (lstrcmpA(font->lfFaceName, kDemoFace) == 0) *reinterpret_cast<bool*>(found) = true;
  return 1;
}

bool FaceEnumerable() {
  HDC screen = GetDC(nullptr);
  LOGFONTA query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(query.lfFaceName, kDemoFace, LF_FACESIZE);
  bool found = false;
  EnumFontFamiliesExA(screen, &query, &MatchFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// A top-level window of this thread, counting the WM_FONTCHANGE it is sent.
class FontChangeWindow {
 public:
  FontChangeWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TarvishFontChangeCounter";
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "fonts test", WS_OVERLAPPEDWINDOW, 0, 0, 10,
                              10, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~FontChangeWindow() { DestroyWindow(window_); }
  FontChangeWindow(const FontChangeWindow&) = delete;
  FontChangeWindow& operator=(const FontChangeWindow&) = delete;

  bool exists() const { return window_ != nullptr; }

  // The count since the last call, after delivering anything queued.
  int Take() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    const int n = count_;
    count_ = 0;
    return n;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_FONTCHANGE) ++count_;
    return DefWindowProcA(window, message, w, l);
  }
  static inline int count_ = 0;
  HWND window_;
};

// Everything a call could change, to tell "nothing touched" exactly.
struct Installed {
  std::optional<std::string> font, resource;
  ULONGLONG fontWritten = 0, resourceWritten = 0;
  FontsKey key;

  bool operator==(const Installed& o) const {
    return font == o.font && resource == o.resource && fontWritten == o.fontWritten &&
           resourceWritten == o.resourceWritten && key.value == o.key.value &&
           key.lastWrite == o.key.lastWrite;
  }
};

class UpdateFontUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dll_.module(), nullptr);
    updateFont_ = dll_.Get<UpdateFontFn>("UpdateFont");
    ASSERT_NE(updateFont_, nullptr);
    ASSERT_TRUE(window_.exists());
    window_.Take();
  }

  std::string Fixture(const char* revision) const {
    return ProgramFolder() + "fixtures\\fonts\\" + revision;
  }

  int Update(const std::string& sourceDir) {
    return updateFont_(kDemoFace, kDemoFile, sourceDir.c_str(), fonts_.c_str());
  }

  Installed Snapshot() const {
    Installed s;
    s.font = FileBytes(fontPath_);
    s.resource = FileBytes(resourcePath_);
    s.fontWritten = FileWriteTime(fontPath_);
    s.resourceWritten = FileWriteTime(resourcePath_);
    s.key = ReadFontsKey();
    return s;
  }

  DllUnderTest dll_;
  UpdateFontFn updateFont_ = nullptr;
  FontChangeWindow window_;
  const std::string fonts_ = SystemFontsFolder();
  const std::string fontPath_ = fonts_ + "\\" + kDemoFile;
  const std::string resourcePath_ = fonts_ + "\\" + kDemoResource;
};

// One story, in order, because each step starts from the system state the
// one before left: installed fonts stay loaded in this process.
TEST_F(UpdateFontUnderWine, InstallRepeatUpgradeRefuseOlderAndMissing) {
  ASSERT_FALSE(FaceEnumerable()) << "fonts_wine_reset should have removed the face";
  ASSERT_EQ(FileBytes(fontPath_), std::nullopt);
  ASSERT_EQ(ReadFontsKey().value, std::nullopt);
  const auto v1 = FileBytes(Fixture("1.0") + "\\" + kDemoFile);
  const auto v2 = FileBytes(Fixture("2.0") + "\\" + kDemoFile);
  ASSERT_TRUE(v1 && v2) << "fixtures missing under " << Fixture("");

  {
    SCOPED_TRACE("fresh install of 1.0");
    EXPECT_EQ(Update(Fixture("1.0")), 1);
    const Installed after = Snapshot();
    EXPECT_EQ(after.font, v1);
    EXPECT_TRUE(after.resource.has_value()) << "no .FOT at " << resourcePath_;
    EXPECT_EQ(after.key.value, std::string(kDemoFile) + '\0');
    EXPECT_TRUE(FaceEnumerable());
    EXPECT_EQ(window_.Take(), 1);
  }
  {
    SCOPED_TRACE("1.0 again");
    const Installed before = Snapshot();
    Sleep(20);  // so that a rewrite would show in the timestamps
    EXPECT_EQ(Update(Fixture("1.0")), 0);
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_EQ(window_.Take(), 0);
  }
  {
    SCOPED_TRACE("upgrade to 2.0");
    EXPECT_EQ(Update(Fixture("2.0")), 1);
    const Installed after = Snapshot();
    EXPECT_EQ(after.font, v2);
    EXPECT_TRUE(after.resource.has_value()) << "no .FOT at " << resourcePath_;
    EXPECT_EQ(after.key.value, std::string(kDemoFile) + '\0');
    EXPECT_TRUE(FaceEnumerable());
    EXPECT_EQ(window_.Take(), 2);
  }
  for (const char* source : {"1.5", "missing"}) {
    SCOPED_TRACE(std::string("refused: ") + source);
    const Installed before = Snapshot();
    Sleep(20);
    EXPECT_EQ(Update(Fixture(source)), 0);
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_EQ(FileBytes(fontPath_), v2);
    EXPECT_EQ(window_.Take(), 0);
  }
}

TEST_F(UpdateFontUnderWine, NullAndOverlongInputsChangeNothing) {
  const Installed before = Snapshot();
  const std::string source = Fixture("2.0");
  const std::string longFace(32, 'F');
  const std::string longDir = fonts_ + "\\" + std::string(260, 'd');
  EXPECT_EQ(updateFont_(nullptr, kDemoFile, source.c_str(), fonts_.c_str()), 0);
  EXPECT_EQ(updateFont_(kDemoFace, nullptr, source.c_str(), fonts_.c_str()), 0);
  EXPECT_EQ(updateFont_(kDemoFace, kDemoFile, nullptr, fonts_.c_str()), 0);
  EXPECT_EQ(updateFont_(kDemoFace, kDemoFile, source.c_str(), nullptr), 0);
  EXPECT_EQ(updateFont_(longFace.c_str(), kDemoFile, source.c_str(), fonts_.c_str()), 0);
  EXPECT_EQ(updateFont_(kDemoFace, kDemoFile, source.c_str(), longDir.c_str()), 0);
  EXPECT_TRUE(Snapshot() == before);
  EXPECT_EQ(window_.Take(), 0);
}

// The installer copied the font into the fonts folder itself and names
// that folder as the source. Each case runs in a process of its own, just
// after fonts_wine_reset (see fonts_wine.cmake): Wine loads what the fonts
// folder holds when a process starts, and the face has to be absent here.
class FontAlreadyInTheFontsFolder : public UpdateFontUnderWine {
 protected:
  void InstallInPlace(const std::string& sourceDir) {
    ASSERT_FALSE(FaceEnumerable()) << "run this case alone, after fonts_wine_reset";
    const std::string shipped = Fixture("1.0") + "\\" + kDemoFile;
    const auto v1 = FileBytes(shipped);
    ASSERT_TRUE(v1) << "fixture missing: " << shipped;
    ASSERT_TRUE(CopyFileA(shipped.c_str(), fontPath_.c_str(), FALSE));

    EXPECT_EQ(Update(sourceDir), 1);
    const Installed after = Snapshot();
    EXPECT_TRUE(after.font == v1) << "copied onto itself, the font has "
                                  << (after.font ? after.font->size() : 0) << " of "
                                  << v1->size() << " bytes";
    EXPECT_TRUE(after.resource.has_value()) << "no .FOT at " << resourcePath_;
    EXPECT_EQ(after.key.value, std::string(kDemoFile) + '\0');
    EXPECT_TRUE(FaceEnumerable());
    EXPECT_EQ(window_.Take(), 1);

    // Present now, and shipped as itself: never newer than itself, so no
    // spelling of the folder makes it replace, that is delete, itself.
    std::string upper = fonts_;
    CharUpperA(&upper[0]);
    for (const std::string& again : {fonts_, fonts_ + "\\", upper}) {
      SCOPED_TRACE("present, source " + again);
      const Installed before = Snapshot();
      Sleep(20);  // so that a rewrite would show in the timestamps
      EXPECT_EQ(Update(again), 0);
      EXPECT_TRUE(Snapshot() == before);
      EXPECT_EQ(window_.Take(), 0);
    }
  }
};

TEST_F(FontAlreadyInTheFontsFolder, SourceIsTheFontsFolder) { InstallInPlace(fonts_); }

TEST_F(FontAlreadyInTheFontsFolder, SourceIsTheFontsFolderWithATrailingBackslash) {
  InstallInPlace(fonts_ + "\\");
}

}  // namespace
