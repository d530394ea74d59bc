#include "fonts/font_revision.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace tarvish {
namespace {

using Bytes = std::string;

Bytes Be16(std::uint16_t v) { return {char(v >> 8), char(v & 0xFF)}; }
Bytes Be32(std::uint32_t v) {
  return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}

Bytes OffsetTable(std::uint16_t numTables) {
  // The version and the search fields are deliberately nonsense: ignored.
  return Be32(0xDEADBEEF) + Be16(numTables) + Be16(0xFFFF) + Be16(0xFFFF) + Be16(0xFFFF);
}

Bytes Entry(const Bytes& tag, std::uint32_t offset) {
  return tag + Be32(0x11111111) + Be32(offset) + Be32(0x22222222);
}

Bytes HeadTable(std::uint32_t revision) { return Be32(0x00010000) + Be32(revision); }

// A font with the given directory entries, followed by one head table at
// the offset each entry names: entries point into `tail`, which follows the
// directory, so offsets are absolute from the file start.
Bytes Font(const std::vector<Bytes>& entries, const Bytes& tail = "") {
  Bytes f = OffsetTable(static_cast<std::uint16_t>(entries.size()));
  for (const Bytes& e : entries) f += e;
  return f + tail;
}

std::int32_t Read(const Bytes& bytes) {
  std::istringstream in(bytes, std::ios::in | std::ios::binary);
  return ReadFontRevision(in);
}

constexpr std::uint32_t kDir1 = 12 + 16;      // where data starts after one entry
constexpr std::uint32_t kDir3 = 12 + 3 * 16;  // ... after three

TEST(ReadFontRevision, WellFormedFiles) {
  const struct {
    const char* what;
    Bytes bytes;
    std::int32_t expected;
  } cases[] = {
      {"only head", Font({Entry("head", kDir1)}, HeadTable(0x00018000)), 98304},
      {"1.0 is 65536", Font({Entry("head", kDir1)}, HeadTable(0x00010000)), 65536},
      {"top bit set is negative", Font({Entry("head", kDir1)}, HeadTable(0x80000000)),
       INT32_MIN},
      {"head last of three",
       Font({Entry("cmap", 0), Entry("glyf", 0), Entry("head", kDir3)}, HeadTable(7)), 7},
      {"second head never read",
       Font({Entry("head", kDir3), Entry("head", kDir3 + 8), Entry("name", 0)},
            HeadTable(1) + HeadTable(2)),
       1},
      {"no tables", Font({}), 0},
      {"no head", Font({Entry("name", kDir1)}, HeadTable(5)), 0},
      {"HEAD does not match", Font({Entry("HEAD", kDir1)}, HeadTable(5)), 0},
      {"Head does not match", Font({Entry("Head", kDir1)}, HeadTable(5)), 0},
      {"hea<space> does not match", Font({Entry("hea ", kDir1)}, HeadTable(5)), 0},
      {"empty file", "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(c.bytes), c.expected) << c.what;
  }
}

TEST(ReadFontRevision, OffsetCountsFromTheFileStart) {
  // The head table sits at offset 4, inside the offset table itself: bytes
  // 4..11 are numTables, searchRange, entrySelector, rangeShift. Reading
  // relative to the directory or to the current position finds other bytes.
  Bytes f = Be32(0) + Be16(1) + Be16(0) + Be16(0xABCD) + Be16(0x1234) + Entry("head", 4);
  EXPECT_EQ(Read(f), static_cast<std::int32_t>(0xABCD1234));
}

TEST(ReadFontRevision, NumTablesIsUnsigned) {
  // 0x8000 entries: a signed count would read none. The head entry is the
  // 32768th, and is still found.
  Bytes f = OffsetTable(0x8000);
  const std::uint32_t data = 12 + 0x8000 * 16;
  for (int i = 0; i < 0x8000 - 1; ++i) f += Entry("xxxx", 0);
  f += Entry("head", data) + HeadTable(42);
  EXPECT_EQ(Read(f), 42);
}

TEST(ReadFontRevision, EveryTruncationGivesZero) {
  // Cut a good file at every length short of its last byte: the offset
  // table, the directory entries before and at the match, and the 8 bytes
  // of head. None may read past the end or report a stale revision.
  const Bytes whole =
      Font({Entry("name", 0), Entry("head", 12 + 2 * 16)}, HeadTable(0x00020000));
  ASSERT_EQ(Read(whole), 0x00020000);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    EXPECT_EQ(Read(whole.substr(0, n)), 0) << "cut at " << n;
  }
}

TEST(ReadFontRevision, HeadOffsetBeyondTheEndGivesZero) {
  for (std::uint32_t offset : {std::uint32_t{kDir1 + 1}, std::uint32_t{1000},
                               std::uint32_t{0x7FFFFFFF}, std::uint32_t{0xFFFFFFFF}}) {
    EXPECT_EQ(Read(Font({Entry("head", offset)}, HeadTable(3))), 0) << offset;
  }
}

TEST(ReadFontRevision, ByPath) {
  EXPECT_EQ(ReadFontRevision(nullptr), 0);
  EXPECT_EQ(ReadFontRevision("/nonexistent/dir/font.ttf"), 0);

  // Bytes that a text-mode stream would translate or stop at: CR LF and ^Z
  // in the offset table, and a revision made of them.
  char name[] = "/tmp/tarvish_font_revisionXXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(name, std::ios::binary);
    out << Be32(0x0D0A1A0D) + Be16(1) + Be16(0x0D0A) + Be16(0x1A1A) + Be16(0x0A0D) +
               Entry("head", kDir1) + HeadTable(0x0D0A1A0A);
  }
  EXPECT_EQ(ReadFontRevision(name), 0x0D0A1A0A);
  std::remove(name);
}

}  // namespace
}  // namespace tarvish
