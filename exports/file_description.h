#pragma once
// The file description query behind GetFileDescription, apart from VERSION.

#include <cstdint>
#include <string>

#include "util/ref_string.h"

namespace tarvish {

// The version-resource operations the query needs. Bound to VERSION.DLL in
// file_description_win.cpp; faked in host tests.
class VersionResources {
 public:
  virtual ~VersionResources() = default;
  // Bytes of version information in the file at `path`; 0 when the file is
  // missing or carries none.
  virtual std::uint32_t InfoSize(const char* path) = 0;
  // Fills block[0, size) with the file's version information; false when it
  // could not be read.
  virtual bool ReadInfo(const char* path, std::uint32_t size, void* block) = 0;
  // Looks `valuePath` up in a block filled by ReadInfo. On success `*value`
  // points at the value and `*length` is its length as the platform reports
  // it (bytes for binary values). The platform may write into the block
  // (ANSI copies of Unicode text), so the block must stay writable.
  virtual bool QueryValue(void* block, const char* valuePath, const void** value,
                          std::uint32_t* length) = 0;
};

// Failures, as recorded in the error location record.
inline constexpr std::int32_t kCodePageFailureLine = 694;
inline constexpr std::int32_t kVersionStringFailureLine = 702;
inline constexpr const char kCodePageFailure[] = "Can't open code page string";
inline constexpr const char kVersionStringFailure[] = "Can't open version string";

// "\StringFileInfo\llllcccc\fileDescription" with the language and code page
// as four lower-case hex digits each: always 40 characters.
std::string DescriptionQueryPath(std::uint16_t language, std::uint16_t codePage);

// The "fileDescription" text of the first language and code page that the
// file's version resource lists. Raises (RaiseFailure) the code-page failure
// when there is no usable translation pair (no version information, no
// Translation value, or one shorter than a pair), and the version-string
// failure when the first pair has no description; no other pair is tried.
// A null path is a file without version information.
RefString ReadFileDescription(VersionResources& platform, const char* path);

// The export's side of ReadFileDescription: never throws. A failure is still
// recorded in the error location record, and gives empty text. The text
// returned stays valid until the next call.
const char* FileDescriptionForEngine(VersionResources& platform, const char* path);

}  // namespace tarvish
