#pragma once
// Crash-file naming: every minidump and snapshot file is named
// "<prefix or temp dir>Quillvex YYYY_MM_DD HH_MM_SS_mmm" from the local time.
//
// Runs inside the crash filter, possibly on an exhausted stack: small fixed
// locals only, writes into the caller's buffer, never allocates or throws.

#include <cstdint>

namespace tarvish {

// Buffer size every caller passes to BuildCrashFileName.
constexpr std::uint32_t kCrashNameLimit = 256;

// Room kept after a prefix or temp directory: the size of the name format
// "Quillvex %04d_%02d_%02d %02d_%02d_%02d_%03d" with its NUL. A prefix or
// directory is used only when its length plus this is below the limit.
constexpr std::uint32_t kCrashNameRoom = 44;

// Module-level prefix, MAX_PATH + 1 characters; "QuillvexStartup" until the
// crash handler is installed, which empties it. Written only at load.
extern char CrashNamePrefix[261];

// Writes a NUL-terminated crash-file name (no extension) into `buffer`.
// `prefix` may be null. Always produces a name. Windows builds only.
void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                        bool allowTempDirectory);

// --- The platform-free rules behind BuildCrashFileName --------------------

struct CrashLocalTime {
  std::uint16_t year, month, day, hour, minute, second, milliseconds;
};

// What the name needs from the platform. Implementations must be safe to
// call inside the crash filter.
class CrashNameSource {
 public:
  // Writes the temp directory (with its trailing backslash) into `buffer`
  // of `size` characters and returns its length; returns 0 when there is
  // none, or a value of at least `size` when it does not fit.
  virtual std::uint32_t TempPath(std::uint32_t size, char* buffer) = 0;
  virtual CrashLocalTime LocalTime() = 0;

 protected:
  ~CrashNameSource() = default;
};

// BuildCrashFileName over an explicit source. A null buffer or a size of 0
// writes nothing; a buffer too small for the whole name gets as much of it
// as fits, NUL-terminated.
void ComposeCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                          bool allowTempDirectory, CrashNameSource& source);

}  // namespace tarvish
