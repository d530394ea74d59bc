#pragma once
// A recording stand-in for COM's shell link object and the shell: every call
// lands in `calls`, each operation can be made to fail.

#include <map>
#include <string>
#include <vector>

#include "exports/shortcut.h"

namespace tarvish {

class FakeShell final : public ShellPlatform {
 public:
  ComStatus comStatus = 0;
  bool linkCreated = true;
  bool persistFileGiven = true;
  ComStatus loadStatus = 0;
  std::string shortTarget = "C:\\PROGRA~1\\QUILLV~1\\EDITOR.EXE";
  ComStatus setTargetStatus = 0;
  ComStatus saveStatus = 0;
  // Path -> what FullLongPath answers; paths not listed answer themselves.
  std::map<std::string, std::string> fullPaths;
  // What CompareFiles answers for any two paths.
  FileIdentity identity = FileIdentity::Different;
  // FullLongPath throws std::bad_alloc, as its allocation may.
  bool fullPathThrows = false;

  // "CoInitialize", "CreateShellLink", "QueryInterface(IPersistFile)",
  // "Load(p)", "GetPath", "SetPath(t)", "Save(p)", "FullPath(p)",
  // "CompareFiles(a,b)", "DeleteFile(p)", "SHChangeNotify", "Release(IPersistFile)",
  // "Release(IShellLinkA)".
  std::vector<std::string> calls;

  ComStatus InitializeCom() override;
  std::unique_ptr<ShellLink> CreateShellLink() override;
  void RemoveFile(const char* path) override;
  void NotifyDesktopChanged() override;
  std::string FullLongPath(const char* path) override;
  FileIdentity CompareFiles(const char* a, const char* b) override;
};

}  // namespace tarvish
