#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "exports/installer_exports.h"
#include "exports/shortcut.h"
#include "util/same_file.h"
#include "util/scoped_com_ptr.h"

namespace tarvish {

namespace {

// ANSI (active code page) to UTF-16 in a path buffer; false when it does not
// fit, which the callers report as a failed operation.
bool ToWidePath(const char* path, wchar_t (&wide)[kShortcutPathCapacity]) {
  return MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kShortcutPathCapacity) != 0;
}

class Win32ShortcutFile final : public ShortcutFile {
 public:
  explicit Win32ShortcutFile(ScopedComPtr<IPersistFile> file) : file_(std::move(file)) {}
  ComStatus Load(const char* path) override {
    wchar_t wide[kShortcutPathCapacity];
    if (!ToWidePath(path, wide)) return E_INVALIDARG;
    return file_->Load(wide, STGM_READ);
  }
  ComStatus Save(const char* path) override {
    wchar_t wide[kShortcutPathCapacity];
    if (!ToWidePath(path, wide)) return E_INVALIDARG;
    return file_->Save(wide, TRUE);
  }

 private:
  ScopedComPtr<IPersistFile> file_;
};

class Win32ShellLink final : public ShellLink {
 public:
  explicit Win32ShellLink(ScopedComPtr<IShellLinkA> link) : link_(std::move(link)) {}
  std::unique_ptr<ShortcutFile> OpenFile() override {
    ScopedComPtr<IPersistFile> file;
    if (FAILED(link_->QueryInterface(IID_IPersistFile, file.receive())) || !file) return nullptr;
    return std::make_unique<Win32ShortcutFile>(std::move(file));
  }
  void GetShortTarget(char* target, std::size_t capacity) override {
    WIN32_FIND_DATAA found;
    link_->GetPath(target, static_cast<int>(capacity), &found, SLGP_SHORTPATH);
  }
  ComStatus SetTarget(const char* path) override { return link_->SetPath(path); }

 private:
  ScopedComPtr<IShellLinkA> link_;
};

class Win32Shell final : public ShellPlatform {
 public:
  ComStatus InitializeCom() override { return CoInitialize(nullptr); }
  std::unique_ptr<ShellLink> CreateShellLink() override {
    ScopedComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.receive())) ||
        !link) {
      return nullptr;
    }
    return std::make_unique<Win32ShellLink>(std::move(link));
  }
  void RemoveFile(const char* path) override { DeleteFileA(path); }
  void NotifyDesktopChanged() override {
    // An empty item-ID list (its first size field is 0) names the desktop.
    static const USHORT desktop[1] = {0};
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST, desktop, nullptr);
  }
  std::string FullLongPath(const char* path) override {
    char full[MAX_PATH];
    const DWORD fullLength = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (fullLength == 0 || fullLength >= MAX_PATH) return std::string();
    char expanded[MAX_PATH];
    const DWORD expandedLength = GetLongPathNameA(full, expanded, MAX_PATH);
    if (expandedLength == 0 || expandedLength >= MAX_PATH) return full;  // not there (yet)
    return expanded;
  }
  FileIdentity CompareFiles(const char* a, const char* b) override {
    return CompareFileIdentity(a, b);
  }
};

}  // namespace

int CheckShortCutAndUpdateIfNecessary(const char* oldShortcutPath, char* expectedTarget,
                                      const char* newTarget, const char* newShortcutPath) {
  try {
    Win32Shell platform;
    return CheckShortcut(platform, oldShortcutPath, expectedTarget, newTarget, newShortcutPath);
  } catch (...) {
    // Only an allocation failure can get here, and only before the new
    // shortcut was saved: nothing was updated that the engine could rely on.
    return kShortcutNoLinkObject;
  }
}

}  // namespace tarvish
