#pragma once
// What UpdateFont needs from the system, one operation per member, so the
// decision can run against a recording fake. The Win32 binding lives in
// update_font_win.cpp. The installation steps run whatever these
// operations gave; only SameFile's answer changes what is done.

#include <cstdint>
#include <optional>

namespace tarvish {

constexpr std::uint32_t kKeyAllAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr std::uint32_t kKeyWrite = 0x20006;      // KEY_WRITE
constexpr std::uint32_t kPlatformWin32Nt = 2;     // VER_PLATFORM_WIN32_NT

class FontPlatform {
 public:
  // Receives the logical face name (elfLogFont.lfFaceName) of one
  // enumerated family; returns 0 to end the enumeration, else 1.
  using FaceCallback = int (*)(const char* enumeratedFace, void* context);

  virtual ~FontPlatform() = default;

  // IsDBCSLeadByte for the active ANSI code page.
  virtual bool IsLeadByte(unsigned char byte) = 0;

  // EnumFontFamiliesExA on the screen's device context, with a LOGFONTA of
  // lfCharSet DEFAULT_CHARSET, lfFaceName `faceName` (at most 31 bytes) and
  // lfPitchAndFamily 0, flags 0. Without a device context nothing is called.
  virtual void EnumerateFontFamilies(const char* faceName, FaceCallback callback,
                                     void* context) = 0;

  // RemoveFontResourceA / AddFontResourceA.
  virtual void UnloadFont(const char* fileName) = 0;
  virtual void LoadFont(const char* path) = 0;

  // CreateScalableFontResourceA.
  virtual void WriteScalableFontResource(std::uint32_t hidden, const char* resourcePath,
                                         const char* fontFile, const char* currentPath) = 0;

  // SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0).
  virtual void BroadcastFontChange() = 0;

  // dwPlatformId from GetVersionExA, or nothing when that fails.
  virtual std::optional<std::uint32_t> WindowsPlatformId() = 0;

  // Open HKEY_LOCAL_MACHINE\keyPath with `access`, do the one value
  // operation, close. A key that cannot be opened makes it a no-op.
  virtual void DeleteRegistryValue(const char* keyPath, std::uint32_t access,
                                   const char* valueName) = 0;
  // REG_SZ; `byteCount` bytes of `data`, its terminating NUL included.
  virtual void SetRegistryString(const char* keyPath, std::uint32_t access,
                                 const char* valueName, const char* data,
                                 std::uint32_t byteCount) = 0;

  // DeleteFileA.
  virtual void RemoveFile(const char* path) = 0;

  // Whether two paths name one file however they are spelled (case, doubled
  // separators, short names, links): the volume serial number and file index
  // that GetFileInformationByHandle reports for each. False when either
  // cannot be opened.
  virtual bool SameFile(const char* a, const char* b) = 0;
};

}  // namespace tarvish
