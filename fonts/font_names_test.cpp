#include "fonts/font_names.h"

#include <gtest/gtest.h>

#include <string>

#include "fonts/font_platform_fake.h"

namespace tarvish {
namespace {

const LeadByteTest kSingleByte = [](unsigned char) { return false; };
const LeadByteTest kShiftJis = [lead = ShiftJisLeadBytes()](unsigned char b) {
  return lead.count(b) != 0;
};

TEST(BuildFontNames, FromTheInputs) {
  const auto names = BuildFontNames("Demo Glyphs", "DemoGlyphs.ttf", "D:\\Setup\\Fonts",
                                    "C:\\WINDOWS\\Fonts", kSingleByte);
  ASSERT_TRUE(names);
  EXPECT_EQ(names->sourcePath, "D:\\Setup\\Fonts\\DemoGlyphs.ttf");
  EXPECT_EQ(names->destinationPath, "C:\\WINDOWS\\Fonts\\DemoGlyphs.ttf");
  EXPECT_EQ(names->valueName, "Demo Glyphs (TrueType)");
  EXPECT_EQ(names->resourcePath, "C:\\WINDOWS\\Fonts\\DemoGlyphs.FOT");
}

TEST(BuildFontNames, ADirectoryEndingInABackslashGivesADoubledOne) {
  const auto names =
      BuildFontNames("F", "a.ttf", "D:\\src\\", "C:\\WINDOWS\\Fonts\\", kSingleByte);
  ASSERT_TRUE(names);
  EXPECT_EQ(names->sourcePath, "D:\\src\\\\a.ttf");
  EXPECT_EQ(names->destinationPath, "C:\\WINDOWS\\Fonts\\\\a.ttf");
  EXPECT_EQ(names->resourcePath, "C:\\WINDOWS\\Fonts\\\\a.FOT");
}

TEST(FontResourcePath, ReplacesOnlyTheLastComponentsExtension) {
  const struct {
    const char* path;
    const char* expected;
  } cases[] = {
      {"C:\\Fonts\\DemoGlyphs", "C:\\Fonts\\DemoGlyphs.FOT"},
      {"C:\\Fonts\\Demo.Glyphs.ttf", "C:\\Fonts\\Demo.Glyphs.FOT"},
      {"C:\\Fonts.d\\Demo", "C:\\Fonts.d\\Demo.FOT"},
      {"C:/Fonts.d/sub/Demo.ttf", "C:/Fonts.d/sub/Demo.FOT"},
      {"C:\\Fonts\\.ttf", "C:\\Fonts\\.FOT"},
      {"C:\\Fonts\\Demo.", "C:\\Fonts\\Demo.FOT"},
      {"C:Demo.ttf", "C:Demo.FOT"},
      {"Fonts\\Demo.ttf", "Fonts\\Demo.FOT"},
      {"\\\\server\\share\\Demo.ttf", "\\\\server\\share\\Demo.FOT"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FontResourcePath(c.path, kSingleByte), c.expected) << c.path;
  }
}

TEST(FontResourcePath, ATrailByteIsNeverASeparator) {
  // 0x95 0x5C is one Shift-JIS character whose trail byte is a backslash.
  // Taken as a separator it would hide the dot before it and keep ".x\x95\\"
  // as part of the base name.
  const std::string path = "C:\\Fonts\\Demo.x\x95\\";
  EXPECT_EQ(FontResourcePath(path, kShiftJis), "C:\\Fonts\\Demo.FOT");
  EXPECT_EQ(FontResourcePath(path, kSingleByte), path + ".FOT");
  // A lead byte as the very last byte has no trail byte to take along.
  EXPECT_EQ(FontResourcePath("C:\\Fonts\\a.b\x95", kShiftJis), "C:\\Fonts\\a.FOT");
}

TEST(BuildFontNames, InputsBeyondTheLimitsGiveNothing) {
  const std::string face31(31, 'F'), face32(32, 'F');
  // "C:\" + dir + "\" + "a.ttf": lengths chosen around 259 and 255.
  const auto dirOf = [](std::size_t pathLength) {
    return "C:\\" + std::string(pathLength - 3 - 6, 'd');  // + "\a.ttf"
  };
  const std::string fits = dirOf(259), tooLong = dirOf(260);
  // An extension of 256 bytes in paths that still fit in 259: the only
  // component that can pass its limit while the paths stay within theirs.
  const std::string wideExt = "x." + std::string(255, 'e');
  // No extension: the resource path grows by four and passes 259.
  const std::string noExtDir = "C:\\" + std::string(259 - 3 - 2 - 3, 'd');

  const struct {
    const char* what;
    const char* face;
    const char* file;
    const char* sourceDir;
    const char* fontsDir;
    bool built;
  } cases[] = {
      {"face of 31", face31.c_str(), "a.ttf", "C:\\s", "C:\\f", true},
      {"face of 32", face32.c_str(), "a.ttf", "C:\\s", "C:\\f", false},
      {"destination of 259", "F", "a.ttf", "C:\\s", fits.c_str(), true},
      {"destination of 260", "F", "a.ttf", "C:\\s", tooLong.c_str(), false},
      {"source of 260", "F", "a.ttf", tooLong.c_str(), "C:\\f", false},
      {"extension of 256", "F", wideExt.c_str(), "", "", false},
      {"resource past 259", "F", "abc", "C:\\s", noExtDir.c_str(), false},
      {"null face", nullptr, "a.ttf", "C:\\s", "C:\\f", false},
      {"null file", "F", nullptr, "C:\\s", "C:\\f", false},
      {"null source", "F", "a.ttf", nullptr, "C:\\f", false},
      {"null fonts", "F", "a.ttf", "C:\\s", nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildFontNames(c.face, c.file, c.sourceDir, c.fontsDir, kSingleByte).has_value(),
              c.built)
        << c.what;
  }
  EXPECT_EQ(FontResourcePath("\\x." + std::string(254, 'e'), kSingleByte), "\\x.FOT");
  EXPECT_FALSE(FontResourcePath("\\x." + std::string(255, 'e'), kSingleByte));
}

}  // namespace
}  // namespace tarvish
