#pragma once
// A FontPlatform for host tests: records every call, in order, as one line
// in the notation of the Win32 call it stands for, and plays installed
// faces, a code page's lead bytes and the platform identifier as told.
// RemoveFile really removes the file, so tests see the file system as the
// steps leave it, and SameFile answers from the host's device and inode
// numbers, so a hard link stands for another spelling of one Windows file.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fonts/font_platform.h"

namespace tarvish {

class RecordingFontPlatform : public FontPlatform {
 public:
  // Configuration.
  std::vector<std::string> installedFaces;  // enumerated in this order
  bool screenDcAvailable = true;
  std::set<unsigned char> leadBytes;
  std::optional<std::uint32_t> platformId = kPlatformWin32Nt;

  // What happened.
  std::vector<std::string> calls;
  int broadcasts = 0;

  bool IsLeadByte(unsigned char byte) override;
  void EnumerateFontFamilies(const char* faceName, FaceCallback callback,
                             void* context) override;
  void UnloadFont(const char* fileName) override;
  void LoadFont(const char* path) override;
  void WriteScalableFontResource(std::uint32_t hidden, const char* resourcePath,
                                 const char* fontFile, const char* currentPath) override;
  void BroadcastFontChange() override;
  std::optional<std::uint32_t> WindowsPlatformId() override;
  void DeleteRegistryValue(const char* keyPath, std::uint32_t access,
                           const char* valueName) override;
  void SetRegistryString(const char* keyPath, std::uint32_t access, const char* valueName,
                         const char* data, std::uint32_t byteCount) override;
  void RemoveFile(const char* path) override;
  bool SameFile(const char* a, const char* b) override;
};

// Shift-JIS (code page 932) lead bytes.
std::set<unsigned char> ShiftJisLeadBytes();

}  // namespace tarvish
