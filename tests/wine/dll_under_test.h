#pragma once
// Loads Tarvish.dll from the test program's own folder, as the installer
// engine does, and resolves exports by name.

#include <windows.h>

#include <string>

namespace tarvish_test {

inline std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// The user's temp directory, with its trailing backslash.
inline std::string TempDirectory() {
  char path[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof path, path);
  return std::string(path, n <= MAX_PATH ? n : 0);
}

class DllUnderTest {
 public:
  DllUnderTest() : module_(LoadLibraryA((ProgramFolder() + "Tarvish.dll").c_str())) {}
  ~DllUnderTest() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  DllUnderTest(const DllUnderTest&) = delete;
  DllUnderTest& operator=(const DllUnderTest&) = delete;

  HMODULE module() const { return module_; }

  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

}  // namespace tarvish_test
