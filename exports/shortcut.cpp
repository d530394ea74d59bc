#include "exports/shortcut.h"

#include <cstring>

#include "util/ref_string.h"

namespace tarvish {

namespace {

bool FitsPathBuffer(const char* path) {
  return path != nullptr && ::strnlen(path, kShortcutPathCapacity) < kShortcutPathCapacity;
}

// a-z to A-Z and nothing else: the comparison must not depend on the code
// page, so accented letters match only byte for byte.
char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool NameOneFile(ShellPlatform& platform, const char* a, const char* b) {
  const std::string fullA = platform.FullLongPath(a);
  const std::string fullB = platform.FullLongPath(b);
  if (fullA.empty() || fullB.empty()) return true;
  bool sameText = fullA.size() == fullB.size();
  for (std::size_t i = 0; sameText && i < fullA.size(); ++i) {
    // File names compare without case in the system's code page, so the
    // platform's upper-casing decides here, accented letters included.
    sameText = UpperChar(static_cast<unsigned char>(fullA[i])) ==
               UpperChar(static_cast<unsigned char>(fullB[i]));
  }
  if (sameText) return true;
  // Different texts may still name one file: a UNC name and a mapped drive,
  // a substituted drive, a link, or an 8.3 name the long-name lookup missed.
  return platform.CompareFiles(a, b) != FileIdentity::Different;
}

int CheckShortcut(ShellPlatform& platform, const char* oldShortcut, char* expectedTarget,
                  const char* newTarget, const char* newShortcut) {
  if (!FitsPathBuffer(oldShortcut) || !FitsPathBuffer(newShortcut) || expectedTarget == nullptr ||
      newTarget == nullptr) {
    return kShortcutUnusable;
  }
  if (platform.InitializeCom() < 0) return kShortcutComUnavailable;

  // Declared link first, file second: on every return the persist-file
  // interface is released before the shell link.
  const std::unique_ptr<ShellLink> link = platform.CreateShellLink();
  if (!link) return kShortcutNoLinkObject;
  const std::unique_ptr<ShortcutFile> file = link->OpenFile();
  if (!file) return kShortcutNoLinkObject;

  if (file->Load(oldShortcut) < 0) return kShortcutUnusable;

  char target[kShortcutPathCapacity] = {};
  link->GetShortTarget(target, sizeof target);
  target[sizeof target - 1] = '\0';

  // The length test comes before any change to the caller's buffer.
  const std::size_t length = std::strlen(target);
  if (std::strlen(expectedTarget) != length) return kShortcutNotRetargeted;
  for (std::size_t i = 0; i < length; ++i) {
    target[i] = UpperAscii(target[i]);
    expectedTarget[i] = UpperAscii(expectedTarget[i]);
  }
  if (std::memcmp(target, expectedTarget, length) != 0) return kShortcutTargetDiffers;

  if (link->SetTarget(newTarget) < 0) return kShortcutNotRetargeted;
  // A shortcut that could not be saved must not lose its only copy.
  if (file->Save(newShortcut) < 0) return kShortcutNotRetargeted;
  // From here on the new shortcut exists, and the result must say so: a
  // failure to tell the two names apart keeps the old file instead.
  bool oneFile = true;
  try {
    oneFile = NameOneFile(platform, oldShortcut, newShortcut);
  } catch (...) {
  }
  if (!oneFile) platform.RemoveFile(oldShortcut);
  platform.NotifyDesktopChanged();
  return kShortcutUpdated;
}

}  // namespace tarvish
