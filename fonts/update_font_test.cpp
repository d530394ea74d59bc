#include "fonts/update_font.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fonts/font_platform_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The smallest file the revision reader accepts: an offset table, one
// `head` entry and the first 8 bytes of `head`.
std::string FontAtRevision(std::uint32_t revision) {
  std::string f = {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0};
  f += "head";
  f += std::string(4, '\0') + std::string{0, 0, 0, 28} + std::string(4, '\0');
  f += std::string{0, 1, 0, 0};
  for (int shift = 24; shift >= 0; shift -= 8) f += static_cast<char>(revision >> shift);
  return f;
}

constexpr std::uint32_t k1_0 = 0x00010000, k2_0 = 0x00020000;

// A scratch folder with a source and a fonts "directory". The library joins
// with a backslash, which on the host is an ordinary file name character:
// "<root>/fonts\DemoGlyphs.ttf" is a file in <root>. That is enough for the
// logic, which treats paths as text.
class UpdateFontTest : public ::testing::Test {
 protected:
  UpdateFontTest() {
    char pattern[] = "/tmp/tarvish-fonts-XXXXXX";
    root_ = mkdtemp(pattern);
    sourceDir = root_ + "/src";
    fontsDir = root_ + "/fonts";
    source = sourceDir + "\\DemoGlyphs.ttf";
    destination = fontsDir + "\\DemoGlyphs.ttf";
    resource = fontsDir + "\\DemoGlyphs.FOT";
  }
  ~UpdateFontTest() override { std::filesystem::remove_all(root_); }

  int Run(const char* face = "Demo Glyphs") {
    return UpdateFont(platform, face, "DemoGlyphs.ttf", sourceDir.c_str(), fontsDir.c_str());
  }

  // The calls of a fresh installation, after the enumeration, from
  // `shipped`, which SameFile found to be the destination or not.
  std::vector<std::string> InstallCalls(const std::string& shipped, bool same) const {
    return {
        "SameFile(\"" + shipped + "\", \"" + destination + "\") -> " + (same ? "1" : "0"),
        "AddFontResourceA(\"" + destination + "\")",
        "GetVersionExA",
        "RegDeleteValueA(HKLM\\" + std::string(kNtFontsKey) +
            ", 0xf003f, \"Demo Glyphs (TrueType)\")",
        "GetVersionExA",
        "RegSetValueExA(HKLM\\" + std::string(kNtFontsKey) +
            ", 0x20006, \"Demo Glyphs (TrueType)\", REG_SZ, \"DemoGlyphs.ttf\\0\", 15)",
        "CreateScalableFontResourceA(0, \"" + resource + "\", \"DemoGlyphs.ttf\", \"" +
            fontsDir + "\")",
        "AddFontResourceA(\"" + resource + "\")",
        "SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0)",
    };
  }
  std::vector<std::string> InstallCalls() const { return InstallCalls(source, false); }

  RecordingFontPlatform platform;
  std::string root_, sourceDir, fontsDir, source, destination, resource;
};

TEST_F(UpdateFontTest, FreshInstallCopiesRegistersAndBroadcastsOnce) {
  WriteFile(source, FontAtRevision(k1_0));
  platform.installedFaces = {"Other Face"};

  EXPECT_EQ(Run(), 1);

  std::vector<std::string> expected = {
      "EnumFontFamiliesExA(\"Demo Glyphs\")",
      "  FontFamilyEnumProc(\"Other Face\") -> 1",
  };
  for (const std::string& call : InstallCalls()) expected.push_back(call);
  EXPECT_THAT(platform.calls, ElementsAreArray(expected));
  EXPECT_EQ(platform.broadcasts, 1);
  EXPECT_EQ(ReadFile(destination), FontAtRevision(k1_0));
}

TEST_F(UpdateFontTest, HigherShippedRevisionReplacesAndBroadcastsTwice) {
  WriteFile(source, FontAtRevision(k2_0));
  WriteFile(destination, FontAtRevision(k1_0));
  WriteFile(resource, "old resource");
  platform.installedFaces = {"Demo Glyphs"};

  EXPECT_EQ(Run(), 1);

  std::vector<std::string> expected = {
      "EnumFontFamiliesExA(\"Demo Glyphs\")",
      "  FontFamilyEnumProc(\"Demo Glyphs\") -> 0",
      "RemoveFontResourceA(\"DemoGlyphs.ttf\")",
      "GetVersionExA",
      "RegDeleteValueA(HKLM\\" + std::string(kNtFontsKey) +
          ", 0xf003f, \"Demo Glyphs (TrueType)\")",
      "DeleteFileA(\"" + destination + "\")",
      "DeleteFileA(\"" + resource + "\")",
      "SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0)",
  };
  for (const std::string& call : InstallCalls()) expected.push_back(call);
  EXPECT_THAT(platform.calls, ElementsAreArray(expected));
  EXPECT_EQ(platform.broadcasts, 2);
  EXPECT_EQ(ReadFile(destination), FontAtRevision(k2_0));
  EXPECT_EQ(ReadFile(resource), std::nullopt) << "the fake writes no new resource";
}

TEST_F(UpdateFontTest, ShippedRevisionNotHigherTouchesNothing) {
  const struct {
    const char* what;
    std::optional<std::string> shipped;
    std::string installed;
  } cases[] = {
      {"equal", FontAtRevision(k2_0), FontAtRevision(k2_0)},
      {"lower", FontAtRevision(k1_0), FontAtRevision(k2_0)},
      {"lower, signed", FontAtRevision(0x80000000), FontAtRevision(k1_0)},
      {"shipped without head", std::string("not a font"), FontAtRevision(k1_0)},
      {"shipped missing", std::nullopt, FontAtRevision(k1_0)},
      {"shipped missing, installed negative", std::nullopt, FontAtRevision(0xFFFF0000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(source.c_str());
    if (c.shipped) WriteFile(source, *c.shipped);
    WriteFile(destination, c.installed);
    WriteFile(resource, "resource");
    platform.calls.clear();
    platform.broadcasts = 0;
    platform.installedFaces = {"Demo Glyphs"};

    EXPECT_EQ(Run(), 0);

    EXPECT_THAT(platform.calls, ElementsAre("EnumFontFamiliesExA(\"Demo Glyphs\")",
                                            "  FontFamilyEnumProc(\"Demo Glyphs\") -> 0"));
    EXPECT_EQ(ReadFile(destination), c.installed);
    EXPECT_EQ(ReadFile(resource), "resource");
  }
}

TEST_F(UpdateFontTest, FaceMatchesWithoutAsciiCaseAndEndsTheEnumeration) {
  WriteFile(source, FontAtRevision(k1_0));
  WriteFile(destination, FontAtRevision(k1_0));
  platform.installedFaces = {"Demo", "DEMO glyphs", "Demo Glyphs"};

  EXPECT_EQ(Run("demo GLYPHS"), 0);
  EXPECT_THAT(platform.calls, ElementsAre("EnumFontFamiliesExA(\"demo GLYPHS\")",
                                          "  FontFamilyEnumProc(\"Demo\") -> 1",
                                          "  FontFamilyEnumProc(\"DEMO glyphs\") -> 0"));
}

TEST(SameFaceName, FoldsAsciiLettersOnly) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Demo Glyphs", "dEMO gLYPHS", true},
      {"", "", true},
      {"Demo", "Demo ", false},
      {"Demo ", "Demo", false},
      {"A[", "a{", false},     // differ by 0x20 but are not letters
      {"@", "`", false},
      {"\xC9", "\xE9", false},  // E and e with acute in code page 1252
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameFaceName(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
}

TEST_F(UpdateFontTest, WithoutEnumerationTheFontIsInstalledAsNew) {
  // No screen DC, or the face absent while a file of that name lies in the
  // fonts directory: installed over it, no revision consulted.
  for (bool dc : {false, true}) {
    SCOPED_TRACE(dc ? "face absent" : "no device context");
    WriteFile(source, FontAtRevision(k1_0));
    WriteFile(destination, FontAtRevision(k2_0));
    platform.calls.clear();
    platform.screenDcAvailable = dc;
    platform.installedFaces.clear();
    if (!dc) platform.installedFaces.push_back("Demo Glyphs");

    EXPECT_EQ(Run(), 1);
    std::vector<std::string> expected = {"EnumFontFamiliesExA(\"Demo Glyphs\")"};
    for (const std::string& call : InstallCalls()) expected.push_back(call);
    EXPECT_THAT(platform.calls, ElementsAreArray(expected));
    EXPECT_EQ(ReadFile(destination), FontAtRevision(k1_0));
  }
}

TEST_F(UpdateFontTest, MissingSourceLeavesTheInstalledFileAlone) {
  WriteFile(destination, FontAtRevision(k1_0));

  EXPECT_EQ(Run(), 1);

  EXPECT_EQ(ReadFile(destination), FontAtRevision(k1_0));
  std::vector<std::string> expected = {"EnumFontFamiliesExA(\"Demo Glyphs\")"};
  for (const std::string& call : InstallCalls()) expected.push_back(call);
  EXPECT_THAT(platform.calls, ElementsAreArray(expected));
}

TEST_F(UpdateFontTest, ShippedFileThatIsTheInstalledOneStaysWhole) {
  // The installer put the font into the fonts directory itself and names
  // that directory as the source. The other spellings are hard links here,
  // as they are one file on Windows.
  const struct {
    const char* what;
    std::string sourceDir;
  } spellings[] = {
      {"the same path", fontsDir},
      {"a doubled backslash", fontsDir + "\\"},
      {"another case", root_ + "/FONTS"},
  };
  const struct {
    const char* what;
    std::string bytes;
  } contents[] = {
      // Longer than one chunk, so a copy onto itself could not end by luck.
      {"a font", FontAtRevision(k1_0) + std::string(5000, 'g')},
      {"a negative revision", FontAtRevision(0xFFFF0000)},
      {"no head table", "not a font"},
  };
  for (const auto& spelling : spellings) {
    const std::string shipped = spelling.sourceDir + "\\DemoGlyphs.ttf";
    for (const auto& content : contents) {
      for (const bool present : {false, true}) {
        SCOPED_TRACE(std::string(spelling.what) + ", " + content.what +
                     (present ? ", face present" : ", face absent"));
        std::filesystem::remove(shipped);
        WriteFile(destination, content.bytes);
        if (shipped != destination) std::filesystem::create_hard_link(destination, shipped);
        platform.calls.clear();
        platform.installedFaces.clear();
        if (present) platform.installedFaces.push_back("Demo Glyphs");

        // Installed: the steps around the copy still run. Present: one file
        // reads one revision, so it is not replaced, and so not deleted.
        EXPECT_EQ(UpdateFont(platform, "Demo Glyphs", "DemoGlyphs.ttf", spelling.sourceDir.c_str(),
                             fontsDir.c_str()),
                  present ? 0 : 1);
        std::vector<std::string> expected = {"EnumFontFamiliesExA(\"Demo Glyphs\")"};
        if (present) {
          expected.push_back("  FontFamilyEnumProc(\"Demo Glyphs\") -> 0");
        } else {
          for (const std::string& call : InstallCalls(shipped, true)) expected.push_back(call);
        }
        EXPECT_THAT(platform.calls, ElementsAreArray(expected));
        EXPECT_EQ(ReadFile(destination), content.bytes);
      }
    }
  }
}

TEST_F(UpdateFontTest, NullOrOverlongInputsChangeNothing) {
  WriteFile(source, FontAtRevision(k2_0));
  WriteFile(destination, FontAtRevision(k1_0));
  platform.installedFaces = {"Demo Glyphs"};
  const std::string face32(32, 'F');
  const std::string longDir = fontsDir + std::string(260, 'd');
  const char* const file = "DemoGlyphs.ttf";
  const struct {
    const char* what;
    const char* face;
    const char* file;
    const char* sourceDir;
    const char* fontsDir;
  } cases[] = {
      {"face of 32", face32.c_str(), file, sourceDir.c_str(), fontsDir.c_str()},
      {"fonts path of 260+", "Demo Glyphs", file, sourceDir.c_str(), longDir.c_str()},
      {"null face", nullptr, file, sourceDir.c_str(), fontsDir.c_str()},
      {"null file", "Demo Glyphs", nullptr, sourceDir.c_str(), fontsDir.c_str()},
      {"null source", "Demo Glyphs", file, nullptr, fontsDir.c_str()},
      {"null fonts", "Demo Glyphs", file, sourceDir.c_str(), nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpdateFont(platform, c.face, c.file, c.sourceDir, c.fontsDir), 0) << c.what;
    EXPECT_THAT(platform.calls, IsEmpty()) << c.what;
    EXPECT_EQ(ReadFile(destination), FontAtRevision(k1_0)) << c.what;
  }
}

TEST_F(UpdateFontTest, ResourcePathHonoursTheCodePagesLeadBytes) {
  // The file name ends in a Shift-JIS character whose trail byte is '\'.
  platform.leadBytes = ShiftJisLeadBytes();
  const std::string file = "Demo.x\x95\\";
  EXPECT_EQ(UpdateFont(platform, "F", file.c_str(), sourceDir.c_str(), fontsDir.c_str()), 1);
  EXPECT_THAT(platform.calls,
              ::testing::Contains("AddFontResourceA(\"" + fontsDir + "\\Demo.FOT\")"));
}

TEST(GetFontsKeyPath, ByPlatformIdentifier) {
  const struct {
    std::optional<std::uint32_t> id;
    const char* key;
  } cases[] = {
      {2, kNtFontsKey},
      {1, kWindowsFontsKey},
      {0, kWindowsFontsKey},
      {3, kWindowsFontsKey},
      {std::nullopt, kNtFontsKey},  // GetVersionExA failed
  };
  for (const auto& c : cases) {
    RecordingFontPlatform platform;
    platform.platformId = c.id;
    EXPECT_STREQ(GetFontsKeyPath(platform), c.key) << c.id.value_or(99);
  }
}

TEST(WriteFontValue, TheNinetyFiveKeyIsUsedForEveryStepOnANonNtPlatform) {
  RecordingFontPlatform platform;
  platform.platformId = 1;
  WriteFontValue(platform, "V", "a.ttf");
  const std::string key = std::string("HKLM\\") + kWindowsFontsKey;
  EXPECT_THAT(platform.calls,
              ElementsAre("GetVersionExA", "RegDeleteValueA(" + key + ", 0xf003f, \"V\")",
                          "GetVersionExA",
                          "RegSetValueExA(" + key + ", 0x20006, \"V\", REG_SZ, \"a.ttf\\0\", 6)"));
}

class CopyFontFileTest : public UpdateFontTest {};

TEST_F(CopyFontFileTest, CopiesEveryByteWhateverTheSize) {
  for (std::size_t size : {0, 1, 4095, 4096, 4097, 8192, 3 * 4096 + 17}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 256);
    WriteFile(source, bytes);
    WriteFile(destination, std::string(20000, 'x'));  // longer: must be emptied first
    CopyFontFile(source.c_str(), destination.c_str());
    EXPECT_EQ(ReadFile(destination), bytes) << size << " bytes";
  }
}

TEST_F(CopyFontFileTest, UnopenableEndsLeaveWhatIsThere) {
  WriteFile(destination, "installed");
  CopyFontFile((root_ + "/missing").c_str(), destination.c_str());
  EXPECT_EQ(ReadFile(destination), "installed");

  WriteFile(source, "shipped");
  CopyFontFile(source.c_str(), (root_ + "/no/such/dir/x.ttf").c_str());
  EXPECT_EQ(ReadFile(source), "shipped");
}

TEST_F(CopyFontFileTest, ASourceWhoseEveryReadFailsEndsTheCopy) {
  // A directory opens for reading on Linux but every read fails, setting
  // the error indicator and never the end-of-file one.
  WriteFile(destination, "installed");
  CopyFontFile(root_.c_str(), destination.c_str());
  EXPECT_EQ(ReadFile(destination), "");
}

// Streams that fail on cue, which files on disk do not do: glibc's
// fopencookie runs these callbacks for the stream's reads and writes.
//
// The source plays a script, one entry per read call: a byte count, served
// as that many copies of a letter ('a' for the first call, 'b' for the
// next...), or -1 for a read error; past the script, end of file.
struct ScriptedSource {
  std::vector<ssize_t> script;
  std::size_t reads = 0;

  static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
    auto& self = *static_cast<ScriptedSource*>(cookie);
    const std::size_t call = self.reads++;
    if (call >= self.script.size()) return 0;
    const ssize_t n = self.script[call];
    if (n > 0) {
      EXPECT_LE(static_cast<std::size_t>(n), size) << "script entry larger than the read";
      std::memset(buffer, 'a' + static_cast<int>(call), static_cast<std::size_t>(n));
    }
    return n;
  }
};

// The destination takes `room` bytes in all, then none: a write that
// returns fewer bytes than offered marks the stream failed. (Not -1, which
// glibc's unbuffered fwrite miscounts as everything written.)
struct LimitedSink {
  std::size_t room;
  std::string bytes;

  static ssize_t Write(void* cookie, const char* data, std::size_t size) {
    auto& self = *static_cast<LimitedSink*>(cookie);
    const std::size_t n = std::min(size, self.room);
    self.bytes.append(data, n);
    self.room -= n;
    return static_cast<ssize_t>(n);
  }
};

struct StreamCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

Stream OpenSource(ScriptedSource& source) {
  cookie_io_functions_t io = {};
  io.read = &ScriptedSource::Read;
  return Stream(fopencookie(&source, "r", io));
}

// Unbuffered, so that fwrite itself meets the sink's refusal and reports
// it, as it does when a disk fills up under a large enough write.
Stream OpenSink(LimitedSink& sink) {
  cookie_io_functions_t io = {};
  io.write = &LimitedSink::Write;
  Stream stream(fopencookie(&sink, "w", io));
  if (stream) std::setvbuf(stream.get(), nullptr, _IONBF, 0);
  return stream;
}

std::string Letters(char letter, std::size_t count) { return std::string(count, letter); }

TEST(CopyFontStream, AReadErrorStopsWithoutWritingWhatThatReadReturned) {
  const struct {
    const char* what;
    std::vector<ssize_t> script;
    std::string copied;
    std::size_t reads;
  } cases[] = {
      {"part of a chunk, then an error, after two whole chunks",
       {4096, 4096, 100, -1},
       Letters('a', 4096) + Letters('b', 4096),
       4},
      {"a chunk gathered from two reads, then part of one and an error",
       {4096, 1000, 3096, 500, -1},
       Letters('a', 4096) + Letters('b', 1000) + Letters('c', 3096),
       5},
      {"an error right after a whole chunk", {4096, -1}, Letters('a', 4096), 2},
      {"part of the first chunk, then an error", {100, -1}, "", 2},
      {"an error on the first read", {-1}, "", 1},
      // Without the error the same short chunk is the last one and written.
      {"part of a chunk, then the end", {4096, 100}, Letters('a', 4096) + Letters('b', 100), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedSource source{c.script};
    LimitedSink sink{SIZE_MAX, {}};
    const Stream in = OpenSource(source);
    const Stream out = OpenSink(sink);
    ASSERT_TRUE(in && out);

    CopyFontStream(in.get(), out.get());

    EXPECT_EQ(sink.bytes.size(), c.copied.size());
    EXPECT_TRUE(sink.bytes == c.copied) << "bytes differ";
    EXPECT_EQ(source.reads, c.reads) << "read on after the copy should have ended";
  }
}

TEST(CopyFontStream, AShortWriteStopsTheCopy) {
  // Three whole chunks to copy; the sink's room runs out on the way.
  const struct {
    const char* what;
    std::size_t room;
    std::string copied;
  } cases[] = {
      {"room for part of the second chunk", 4096 + 1000, Letters('a', 4096) + Letters('b', 1000)},
      {"room for exactly one chunk", 4096, Letters('a', 4096)},
      {"no room", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedSource source{{4096, 4096, 4096}};
    LimitedSink sink{c.room, {}};
    const Stream in = OpenSource(source);
    const Stream out = OpenSink(sink);
    ASSERT_TRUE(in && out);

    CopyFontStream(in.get(), out.get());

    EXPECT_TRUE(sink.bytes == c.copied) << sink.bytes.size() << " bytes written";
    // The chunk that did not fit was the last one read.
    EXPECT_EQ(source.reads, c.copied.size() / 4096 + 1);
  }
}

}  // namespace
}  // namespace tarvish
