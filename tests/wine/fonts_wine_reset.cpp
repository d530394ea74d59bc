// Removes the "Demo Glyphs" fixture from the prefix: its files in the fonts
// folder and its value under the Fonts key, in this program's registry
// view (the one the DLL of the same bitness writes).
//
// It runs as a process of its own before the font tests because Wine loads
// the fonts it finds in the fonts folder when a process starts: a test
// process that clears them itself would still enumerate the face.

#include <windows.h>

#include <cstdio>

#include "tests/wine/fonts_wine_demo_glyphs.h"

int main() {
  using namespace tarvish_test;
  const std::string folder = SystemFontsFolder();
  for (const char* name : {kDemoFile, kDemoResource}) {
    const std::string path = folder + "\\" + name;
    if (DeleteFileA(path.c_str())) std::printf("removed %s\n", path.c_str());
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kNtFontsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    if (RegDeleteValueA(key, kDemoValue) == ERROR_SUCCESS) {
      std::printf("removed value %s\n", kDemoValue);
    }
    RegCloseKey(key);
  }
  return 0;
}
