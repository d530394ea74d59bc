#include "fonts/update_font.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "fonts/font_names.h"
#include "fonts/font_revision.h"

namespace tarvish {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

bool SameFaceName(const char* a, const char* b) {
  auto fold = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
  };
  for (;; ++a, ++b) {
    const unsigned char ca = fold(static_cast<unsigned char>(*a));
    const unsigned char cb = fold(static_cast<unsigned char>(*b));
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
}

int FontFamilyEnumProc(const char* enumeratedFace, void* search) {
  auto* s = static_cast<FaceSearch*>(search);
  if (enumeratedFace != nullptr && SameFaceName(enumeratedFace, s->faceName)) {
    s->fontFound = 1;
    return 0;
  }
  return 1;
}

void CopyFontFile(const char* sourcePath, const char* destinationPath) {
  // Source first: opening the destination empties it, and a shipped file
  // that is missing must not cost the installed one its contents.
  File source(std::fopen(sourcePath, "rb"));
  if (!source) return;
  File destination(std::fopen(destinationPath, "wb"));
  if (!destination) return;
  CopyFontStream(source.get(), destination.get());
  // Close the source before the destination, as opened.
  source.reset();
}

void CopyFontStream(std::FILE* source, std::FILE* destination) {
  char buffer[4096];
  for (;;) {
    const std::size_t read = std::fread(buffer, 1, sizeof buffer, source);
    // A failed read may still have returned part of a chunk. Left out, the
    // destination cut short ends where the last whole chunk did.
    if (std::ferror(source)) break;
    if (std::fwrite(buffer, 1, read, destination) < read) break;
    if (std::feof(source)) break;
  }
}

const char* GetFontsKeyPath(FontPlatform& platform) {
  // Every system this library runs on is NT; a failed query keeps to it
  // rather than write where nothing reads.
  const std::optional<std::uint32_t> id = platform.WindowsPlatformId();
  return (!id || *id == kPlatformWin32Nt) ? kNtFontsKey : kWindowsFontsKey;
}

void DeleteFontValue(FontPlatform& platform, const char* valueName) {
  platform.DeleteRegistryValue(GetFontsKeyPath(platform), kKeyAllAccess, valueName);
}

void WriteFontValue(FontPlatform& platform, const char* valueName, const char* data) {
  DeleteFontValue(platform, valueName);
  const auto byteCount = static_cast<std::uint32_t>(std::strlen(data) + 1);
  platform.SetRegistryString(GetFontsKeyPath(platform), kKeyWrite, valueName, data, byteCount);
}

int UpdateFont(FontPlatform& platform, const char* faceName, const char* fileName,
               const char* sourceDir, const char* fontsDir) {
  const std::optional<FontNames> names =
      BuildFontNames(faceName, fileName, sourceDir, fontsDir,
                     [&platform](unsigned char b) { return platform.IsLeadByte(b); });
  if (!names) return 0;

  FaceSearch search{faceName, 0};
  platform.EnumerateFontFamilies(faceName, &FontFamilyEnumProc, &search);

  if (search.fontFound == 1) {
    const std::int32_t installed = ReadFontRevision(names->destinationPath.c_str());
    const std::int32_t shipped = ReadFontRevision(names->sourcePath.c_str());
    // This also keeps a shipped file that is the installed one, under
    // whatever name, from being deleted below: it reads the same revision.
    if (shipped <= installed) return 0;
    // An unreadable shipped file reads as revision 0, which beats a negative
    // installed revision; going on would delete the installed font and then
    // have nothing to copy in its place.
    if (!File(std::fopen(names->sourcePath.c_str(), "rb"))) return 0;

    platform.UnloadFont(fileName);
    DeleteFontValue(platform, names->valueName.c_str());
    platform.RemoveFile(names->destinationPath.c_str());
    platform.RemoveFile(names->resourcePath.c_str());
    platform.BroadcastFontChange();
  }

  // An installer may have put the file into the fonts directory itself and
  // name that directory as the source, perhaps spelled another way. Copying
  // a file onto itself empties it, since the destination is opened for
  // writing; the file is where it belongs already.
  if (!platform.SameFile(names->sourcePath.c_str(), names->destinationPath.c_str())) {
    CopyFontFile(names->sourcePath.c_str(), names->destinationPath.c_str());
  }
  platform.LoadFont(names->destinationPath.c_str());
  WriteFontValue(platform, names->valueName.c_str(), fileName);
  platform.WriteScalableFontResource(0, names->resourcePath.c_str(), fileName, fontsDir);
  platform.LoadFont(names->resourcePath.c_str());
  platform.BroadcastFontChange();
  return 1;
}

}  // namespace tarvish
