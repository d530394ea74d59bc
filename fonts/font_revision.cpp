#include "fonts/font_revision.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace tarvish {
namespace {

constexpr std::size_t kOffsetTableSize = 12;
constexpr std::size_t kDirectoryEntrySize = 16;
constexpr std::array<char, 4> kHeadTag = {'h', 'e', 'a', 'd'};

std::uint32_t BigEndian32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
         (std::uint32_t{b[2]} << 8) | std::uint32_t{b[3]};
}

std::uint16_t BigEndian16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

// A short read ends the search: the stream is then at its end or failed,
// and every later read would come back short too.
bool ReadExactly(std::istream& in, char* buffer, std::size_t size) {
  in.read(buffer, static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(in.gcount()) == size;
}

}  // namespace

std::int32_t ReadFontRevision(std::istream& in) {
  char offsetTable[kOffsetTableSize];
  if (!in.seekg(0) || !ReadExactly(in, offsetTable, sizeof offsetTable)) return 0;
  const std::uint16_t numTables = BigEndian16(offsetTable + 4);

  for (std::uint32_t i = 0; i < numTables; ++i) {
    char entry[kDirectoryEntrySize];
    if (!ReadExactly(in, entry, sizeof entry)) return 0;
    if (std::equal(kHeadTag.begin(), kHeadTag.end(), entry)) {
      const std::uint32_t offset = BigEndian32(entry + 8);
      char head[8];
      if (!in.seekg(static_cast<std::streamoff>(offset), std::ios::beg) ||
          !ReadExactly(in, head, sizeof head)) {
        return 0;
      }
      return static_cast<std::int32_t>(BigEndian32(head + 4));
    }
  }
  return 0;
}

std::int32_t ReadFontRevision(const char* path) {
  if (path == nullptr) return 0;
  std::ifstream in(path, std::ios::in | std::ios::binary);
  if (!in.is_open()) return 0;
  return ReadFontRevision(in);
}

}  // namespace tarvish
