#include "fonts/font_platform_fake.h"

#include <sys/stat.h>

#include <cstdio>
#include <sstream>

namespace tarvish {
namespace {

std::string Quote(const char* s) { return s == nullptr ? "NULL" : '"' + std::string(s) + '"'; }

std::string Hex(std::uint32_t v) {
  std::ostringstream out;
  out << "0x" << std::hex << v;
  return out.str();
}

}  // namespace

bool RecordingFontPlatform::IsLeadByte(unsigned char byte) { return leadBytes.count(byte) != 0; }

void RecordingFontPlatform::EnumerateFontFamilies(const char* faceName, FaceCallback callback,
                                                  void* context) {
  calls.push_back("EnumFontFamiliesExA(" + Quote(faceName) + ")");
  if (!screenDcAvailable) return;
  for (const std::string& face : installedFaces) {
    const int more = callback(face.c_str(), context);
    calls.push_back("  FontFamilyEnumProc(" + Quote(face.c_str()) + ") -> " +
                    std::to_string(more));
    if (more == 0) break;
  }
}

void RecordingFontPlatform::UnloadFont(const char* fileName) {
  calls.push_back("RemoveFontResourceA(" + Quote(fileName) + ")");
}

void RecordingFontPlatform::LoadFont(const char* path) {
  calls.push_back("AddFontResourceA(" + Quote(path) + ")");
}

void RecordingFontPlatform::WriteScalableFontResource(std::uint32_t hidden,
                                                      const char* resourcePath,
                                                      const char* fontFile,
                                                      const char* currentPath) {
  calls.push_back("CreateScalableFontResourceA(" + std::to_string(hidden) + ", " +
                  Quote(resourcePath) + ", " + Quote(fontFile) + ", " + Quote(currentPath) +
                  ")");
}

void RecordingFontPlatform::BroadcastFontChange() {
  ++broadcasts;
  calls.push_back("SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0)");
}

std::optional<std::uint32_t> RecordingFontPlatform::WindowsPlatformId() {
  calls.push_back("GetVersionExA");
  return platformId;
}

void RecordingFontPlatform::DeleteRegistryValue(const char* keyPath, std::uint32_t access,
                                                const char* valueName) {
  calls.push_back("RegDeleteValueA(HKLM\\" + std::string(keyPath) + ", " + Hex(access) + ", " +
                  Quote(valueName) + ")");
}

void RecordingFontPlatform::SetRegistryString(const char* keyPath, std::uint32_t access,
                                              const char* valueName, const char* data,
                                              std::uint32_t byteCount) {
  // The data is recorded with every byte passed, so a terminating NUL shows
  // as "\0" and a wrong count shows as missing or extra bytes.
  std::string bytes;
  for (std::uint32_t i = 0; i < byteCount; ++i) {
    bytes += data[i] == '\0' ? std::string("\\0") : std::string(1, data[i]);
  }
  calls.push_back("RegSetValueExA(HKLM\\" + std::string(keyPath) + ", " + Hex(access) + ", " +
                  Quote(valueName) + ", REG_SZ, \"" + bytes + "\", " +
                  std::to_string(byteCount) + ")");
}

void RecordingFontPlatform::RemoveFile(const char* path) {
  calls.push_back("DeleteFileA(" + Quote(path) + ")");
  std::remove(path);
}

bool RecordingFontPlatform::SameFile(const char* a, const char* b) {
  struct stat sa {}, sb {};
  const bool same = stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
                    sa.st_ino == sb.st_ino;
  calls.push_back("SameFile(" + Quote(a) + ", " + Quote(b) + ") -> " + (same ? "1" : "0"));
  return same;
}

std::set<unsigned char> ShiftJisLeadBytes() {
  std::set<unsigned char> lead;
  for (int b = 0x81; b <= 0x9F; ++b) lead.insert(static_cast<unsigned char>(b));
  for (int b = 0xE0; b <= 0xFC; ++b) lead.insert(static_cast<unsigned char>(b));
  return lead;
}

}  // namespace tarvish
