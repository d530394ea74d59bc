#pragma once
// Where the "Demo Glyphs" fixture lands in a Wine prefix, shared by the
// font tests and the program that clears it before them.

#include <windows.h>

#include <string>

namespace tarvish_test {

constexpr char kDemoFace[] = "Demo Glyphs";
constexpr char kDemoFile[] = "DemoGlyphs.ttf";
constexpr char kDemoResource[] = "DemoGlyphs.FOT";
constexpr char kDemoValue[] = "Demo Glyphs (TrueType)";
constexpr char kNtFontsKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// The system's fonts folder, e.g. C:\windows\Fonts.
inline std::string SystemFontsFolder() {
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows) + "\\Fonts";
}

}  // namespace tarvish_test
