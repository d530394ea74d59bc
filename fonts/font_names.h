#pragma once
// The names UpdateFont works with, built from its four inputs before it
// does anything else. Paths join a directory and a file name with one
// backslash, always: a directory that already ends in one gives a doubled
// backslash, which the file system accepts.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tarvish {

constexpr std::size_t kMaxFaceName = 31;        // LOGFONTA::lfFaceName without its NUL
constexpr std::size_t kMaxBuiltPath = 259;      // MAX_PATH without the NUL
constexpr std::size_t kMaxPathComponent = 255;  // directory, base name or extension

// True for a byte that starts a two-byte character in the active ANSI code
// page (the platform's IsDBCSLeadByte).
using LeadByteTest = std::function<bool(unsigned char)>;

struct FontNames {
  std::string sourcePath;       // sourceDir\fileName
  std::string destinationPath;  // fontsDir\fileName
  std::string valueName;        // "<face> (TrueType)"
  std::string resourcePath;     // destinationPath with its extension replaced by FOT
};

// Nothing when an input is null or beyond the limits above (a face name over
// 31 bytes, a path over 259, a split component over 255): the caller then
// changes nothing.
std::optional<FontNames> BuildFontNames(const char* faceName, const char* fileName,
                                        const char* sourceDir, const char* fontsDir,
                                        const LeadByteTest& isLeadByte);

// Splits `path` into drive, directory, base name and extension and joins
// all but the extension with ".FOT". The drive is "X:" when the second byte
// is a colon; the directory runs to the last backslash or slash; the
// extension from the last dot after it. A lead byte and its trail byte are
// one character, so a trail byte is never taken for a separator or a dot.
// Nothing when a component or the result is beyond the limits.
std::optional<std::string> FontResourcePath(const std::string& path,
                                            const LeadByteTest& isLeadByte);

}  // namespace tarvish
