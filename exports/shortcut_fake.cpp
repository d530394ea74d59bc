#include "exports/shortcut_fake.h"

#include <cstring>
#include <new>

namespace tarvish {

namespace {

class FakeShortcutFile final : public ShortcutFile {
 public:
  explicit FakeShortcutFile(FakeShell& shell) : shell_(shell) {}
  ~FakeShortcutFile() override { shell_.calls.push_back("Release(IPersistFile)"); }
  ComStatus Load(const char* path) override {
    shell_.calls.push_back(std::string("Load(") + path + ")");
    return shell_.loadStatus;
  }
  ComStatus Save(const char* path) override {
    shell_.calls.push_back(std::string("Save(") + path + ")");
    return shell_.saveStatus;
  }

 private:
  FakeShell& shell_;
};

class FakeShellLink final : public ShellLink {
 public:
  explicit FakeShellLink(FakeShell& shell) : shell_(shell) {}
  ~FakeShellLink() override { shell_.calls.push_back("Release(IShellLinkA)"); }
  std::unique_ptr<ShortcutFile> OpenFile() override {
    shell_.calls.push_back("QueryInterface(IPersistFile)");
    if (!shell_.persistFileGiven) return nullptr;
    return std::make_unique<FakeShortcutFile>(shell_);
  }
  void GetShortTarget(char* target, std::size_t capacity) override {
    shell_.calls.push_back("GetPath");
    std::strncpy(target, shell_.shortTarget.c_str(), capacity);
  }
  ComStatus SetTarget(const char* path) override {
    shell_.calls.push_back(std::string("SetPath(") + path + ")");
    return shell_.setTargetStatus;
  }

 private:
  FakeShell& shell_;
};

}  // namespace

ComStatus FakeShell::InitializeCom() {
  calls.push_back("CoInitialize");
  return comStatus;
}

std::unique_ptr<ShellLink> FakeShell::CreateShellLink() {
  calls.push_back("CreateShellLink");
  if (!linkCreated) return nullptr;
  return std::make_unique<FakeShellLink>(*this);
}

void FakeShell::RemoveFile(const char* path) {
  calls.push_back(std::string("DeleteFile(") + path + ")");
}

void FakeShell::NotifyDesktopChanged() { calls.push_back("SHChangeNotify"); }

std::string FakeShell::FullLongPath(const char* path) {
  calls.push_back(std::string("FullPath(") + path + ")");
  if (fullPathThrows) throw std::bad_alloc();
  auto found = fullPaths.find(path);
  return found != fullPaths.end() ? found->second : std::string(path);
}

FileIdentity FakeShell::CompareFiles(const char* a, const char* b) {
  calls.push_back(std::string("CompareFiles(") + a + "," + b + ")");
  return identity;
}

}  // namespace tarvish
