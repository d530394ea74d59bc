// The Win32 side of UpdateFont: each FontPlatform operation is the one
// system call it names, with the arguments the logic chose.

#include <windows.h>

#include <cstring>

#include "exports/installer_exports.h"
#include "fonts/font_platform.h"
#include "fonts/update_font.h"
#include "util/same_file.h"
#include "util/scoped_dc.h"
#include "util/scoped_hkey.h"

namespace tarvish {
namespace {

struct EnumContext {
  FontPlatform::FaceCallback callback;
  void* context;
};

int CALLBACK EnumProc(const LOGFONTA* logFont, const TEXTMETRICA*, DWORD, LPARAM lParam) {
  // For EnumFontFamiliesExA the record is an ENUMLOGFONTEXA; its first
  // member is the LOGFONTA whose lfFaceName (not the full name) is wanted.
  const auto& enumContext = *reinterpret_cast<const EnumContext*>(lParam);
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, logFont->lfFaceName, LF_FACESIZE);  // not trusted to hold a NUL
  return enumContext.callback(face, enumContext.context);
}

class Win32FontPlatform final : public FontPlatform {
 public:
  bool IsLeadByte(unsigned char byte) override { return IsDBCSLeadByte(byte) != FALSE; }

  void EnumerateFontFamilies(const char* faceName, FaceCallback callback,
                             void* context) override {
    ScopedGetDC screen(nullptr);
    if (!screen) return;
    LOGFONTA query = {};
    query.lfCharSet = DEFAULT_CHARSET;
    query.lfPitchAndFamily = 0;
    lstrcpynA(query.lfFaceName, faceName, LF_FACESIZE);
    EnumContext enumContext{callback, context};
    EnumFontFamiliesExA(screen.get(), &query, &EnumProc,
                        reinterpret_cast<LPARAM>(&enumContext), 0);
  }

  void UnloadFont(const char* fileName) override { RemoveFontResourceA(fileName); }
  void LoadFont(const char* path) override { AddFontResourceA(path); }

  void WriteScalableFontResource(std::uint32_t hidden, const char* resourcePath,
                                 const char* fontFile, const char* currentPath) override {
    CreateScalableFontResourceA(hidden, resourcePath, fontFile, currentPath);
  }

  void BroadcastFontChange() override { SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0); }

  std::optional<std::uint32_t> WindowsPlatformId() override {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;  // 148
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return std::nullopt;
#pragma GCC diagnostic pop
    return info.dwPlatformId;
  }

  void DeleteRegistryValue(const char* keyPath, std::uint32_t access,
                           const char* valueName) override {
    ScopedHKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, access, key.receive());
    if (key) RegDeleteValueA(key.get(), valueName);
  }

  void SetRegistryString(const char* keyPath, std::uint32_t access, const char* valueName,
                         const char* data, std::uint32_t byteCount) override {
    ScopedHKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, access, key.receive());
    if (key) {
      RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                     byteCount);
    }
  }

  void RemoveFile(const char* path) override { DeleteFileA(path); }

  bool SameFile(const char* a, const char* b) override {
    return CompareFileIdentity(a, b) == FileIdentity::Same;
  }
};

static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA expects the 148-byte record");

}  // namespace

int UpdateFont(const char* faceName, const char* fileName, const char* sourceDir,
               const char* fontsDir) {
  try {
    Win32FontPlatform platform;
    return UpdateFont(platform, faceName, fileName, sourceDir, fontsDir);
  } catch (...) {
    // Allocation failure is the only exception here; the engine cannot
    // take one, so it ends the call with 0.
    return 0;
  }
}

}  // namespace tarvish
