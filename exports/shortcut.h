#pragma once
// The decision behind CheckShortCutAndUpdateIfNecessary, apart from COM and
// the shell.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "util/same_file.h"

namespace tarvish {

// A COM status: negative is failure; S_FALSE (1) is not.
using ComStatus = std::int32_t;

// Paths live in buffers of this many characters, NUL included.
inline constexpr std::size_t kShortcutPathCapacity = 260;

// The persist-file interface of a shell link. Destruction releases it.
class ShortcutFile {
 public:
  virtual ~ShortcutFile() = default;
  // Loads the shortcut stored at `path` read-only. `path` is ANSI text of
  // fewer than kShortcutPathCapacity characters.
  virtual ComStatus Load(const char* path) = 0;
  // Saves to `path` (same limits) and makes it the object's current file.
  virtual ComStatus Save(const char* path) = 0;
};

// The shell link interface of a shell link object. Destruction releases it.
class ShellLink {
 public:
  virtual ~ShellLink() = default;
  // The object's persist-file interface; null when it gives none.
  virtual std::unique_ptr<ShortcutFile> OpenFile() = 0;
  // The target path in short (8.3) form into target[0, capacity). The
  // caller's buffer is zeroed beforehand; what a failed query leaves there
  // is used as it is.
  virtual void GetShortTarget(char* target, std::size_t capacity) = 0;
  virtual ComStatus SetTarget(const char* path) = 0;
};

class ShellPlatform {
 public:
  virtual ~ShellPlatform() = default;
  // Initialises COM on the calling thread (single-threaded apartment); it
  // stays initialised after the call.
  virtual ComStatus InitializeCom() = 0;
  // A new shell link object; null when it cannot be created.
  virtual std::unique_ptr<ShellLink> CreateShellLink() = 0;
  virtual void RemoveFile(const char* path) = 0;
  // Tells the shell that the desktop folder's contents changed.
  virtual void NotifyDesktopChanged() = 0;
  // The full path of `path` with 8.3 components of existing files expanded;
  // empty when it cannot be formed.
  virtual std::string FullLongPath(const char* path) = 0;
  // Whether two existing files are one, by their identity on the volume;
  // Unknown when either cannot be opened or identified.
  virtual FileIdentity CompareFiles(const char* a, const char* b) = 0;
};

enum ShortcutResult : int {
  kShortcutUpdated = 0,
  kShortcutNotRetargeted = 1,   // target length differs, or the new target or save was refused
  kShortcutTargetDiffers = 2,   // same length, different text (argument 2 left upper-cased)
  kShortcutUnusable = 3,        // unusable argument, or the old shortcut could not be loaded
  kShortcutNoLinkObject = 4,    // no shell link object or no persist-file interface
  kShortcutComUnavailable = 5,  // COM could not be initialised on this thread
};

// Checks the shortcut at `oldShortcut` and, when its target (short form)
// equals `expectedTarget` apart from the case of a-z, gives it `newTarget`,
// saves it as `newShortcut`, deletes `oldShortcut` (unless both name one
// file, or that cannot be told) and notifies the shell. Once the new
// shortcut is saved, the result is kShortcutUpdated whatever follows.
//
// `expectedTarget` is the caller's writable buffer: when its length equals
// the target's it is upper-cased in place (a-z only), else left untouched.
// A null argument, or a shortcut path of kShortcutPathCapacity characters or
// more, gives kShortcutUnusable before anything is touched.
int CheckShortcut(ShellPlatform& platform, const char* oldShortcut, char* expectedTarget,
                  const char* newTarget, const char* newShortcut);

// True when the two paths name one file: their FullLongPath forms are equal
// apart from letter case, or else the files' identities are the same. Also
// true when either path cannot be resolved or either identity cannot be
// read, so that a doubtful case keeps the file.
bool NameOneFile(ShellPlatform& platform, const char* a, const char* b);

}  // namespace tarvish
