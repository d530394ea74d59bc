#pragma once
// Crash-file naming: every minidump and snapshot file is named
// "<prefix or temp dir>Quillvex YYYY_MM_DD HH_MM_SS_mmm" from the local time.
//
// Runs inside the crash filter, possibly on an exhausted stack: small fixed
// locals only, writes into the caller's buffer.

#include <cstdint>

namespace tarvish {

// Buffer size every caller passes to BuildCrashFileName.
constexpr std::uint32_t kCrashNameLimit = 256;

// Module-level prefix, MAX_PATH + 1 characters; "QuillvexStartup" until the
// crash handler is installed, which empties it. Written only at load.
extern char CrashNamePrefix[261];

// Writes a NUL-terminated crash-file name (no extension) into `buffer`.
// `prefix` may be null. Always produces a name. Windows builds only.
void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                        bool allowTempDirectory);

}  // namespace tarvish
