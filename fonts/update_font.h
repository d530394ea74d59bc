#pragma once
// UpdateFont's decision and steps, over a FontPlatform.
//
// A face that is not installed is installed: the shipped file is copied
// into the fonts directory, loaded, registered under the Fonts key, a .FOT
// resource made and loaded, and WM_FONTCHANGE broadcast once; result 1.
// When the shipped file already is the one in the fonts directory (the
// caller copied it there and passes that directory as the source) nothing
// is copied and the other steps run as usual.
// A face that is installed (matched case-insensitively in ASCII) is
// replaced only when the shipped file's TrueType revision is greater than
// the installed file's: the old font is unloaded, unregistered and its
// files removed, WM_FONTCHANGE broadcast, then the installation above
// runs; result 1. Otherwise, and also when the shipped file of an
// installed face cannot be opened, nothing is touched and the result is 0.
// A shipped file that is the installed one reads the same revision twice,
// so it never replaces (deletes) itself.
//
// Not reentrant in spirit: it changes system-wide state; make one call at
// a time.

#include <cstdint>
#include <cstdio>

#include "fonts/font_platform.h"

namespace tarvish {

// 0 as well, with nothing done, when an argument is null or an input is
// beyond the name limits (see font_names.h).
int UpdateFont(FontPlatform& platform, const char* faceName, const char* fileName,
               const char* sourceDir, const char* fontsDir);

// The enumeration's state for one call.
struct FaceSearch {
  const char* faceName;
  int fontFound;
};

// The enumeration callback: `search` is a FaceSearch. On a face equal to
// the wanted one, ASCII letters folded, it sets fontFound and returns 0 to
// end the enumeration; otherwise 1.
int FontFamilyEnumProc(const char* enumeratedFace, void* search);

// Equal byte for byte, except that A-Z and a-z compare without case. Bytes
// above 0x7F are never folded: their case depends on the code page.
bool SameFaceName(const char* a, const char* b);

// Copies in 4096-byte chunks with stdio. The source is opened first; when
// it cannot be opened the destination is left as it was. A read error ends
// the copy without writing that chunk; a short write ends it too. A partly
// written destination stays.
// Both paths must name different files: opening the destination empties it
// before a byte is read.
void CopyFontFile(const char* sourcePath, const char* destinationPath);

// The copy loop over streams already open, from the current positions.
// Neither stream is closed.
void CopyFontStream(std::FILE* source, std::FILE* destination);

// The NT Fonts key when the platform says NT or cannot say, else the
// Windows 9x one.
const char* GetFontsKeyPath(FontPlatform& platform);
void DeleteFontValue(FontPlatform& platform, const char* valueName);
// Deletes, then writes `data` as REG_SZ with its NUL.
void WriteFontValue(FontPlatform& platform, const char* valueName, const char* data);

constexpr const char kNtFontsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
constexpr const char kWindowsFontsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";

}  // namespace tarvish
