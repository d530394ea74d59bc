#include "exports/file_description.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "exports/error_location.h"

namespace tarvish {

namespace {

// The last description handed to the engine; it owns the text the export
// returned until the next call replaces it.
RefString& LastDescription() {
  static RefString last;
  return last;
}

}  // namespace

std::string DescriptionQueryPath(std::uint16_t language, std::uint16_t codePage) {
  char path[512];
  std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\fileDescription",
                static_cast<unsigned>(language), static_cast<unsigned>(codePage));
  return path;
}

RefString ReadFileDescription(VersionResources& platform, const char* path) {
  const std::uint32_t size = path != nullptr ? platform.InfoSize(path) : 0;
  // An empty block holds no version resource, and one that could not be read
  // holds none we can trust; neither is handed to the queries, which would
  // otherwise read a header that is not there.
  std::vector<unsigned char> block(size);
  if (size == 0 || !platform.ReadInfo(path, size, block.data())) {
    RaiseFailure(kCodePageFailureLine, kCodePageFailure);
  }

  const void* translation = nullptr;
  std::uint32_t translationLength = 0;
  if (!platform.QueryValue(block.data(), "\\VarFileInfo\\Translation", &translation,
                           &translationLength) ||
      translation == nullptr || translationLength < 2 * sizeof(std::uint16_t)) {
    RaiseFailure(kCodePageFailureLine, kCodePageFailure);
  }
  std::uint16_t pair[2];
  std::memcpy(pair, translation, sizeof pair);

  const std::string queryPath = DescriptionQueryPath(pair[0], pair[1]);
  const void* value = nullptr;
  std::uint32_t valueLength = 0;
  if (!platform.QueryValue(block.data(), queryPath.c_str(), &value, &valueLength)) {
    RaiseFailure(kVersionStringFailureLine, kVersionStringFailure);
  }
  // The text is copied up to its NUL, but never past the end of the block: a
  // malformed resource may leave it unterminated.
  const auto* text = static_cast<const unsigned char*>(value);
  const unsigned char* blockEnd = block.data() + block.size();
  if (text < block.data() || text >= blockEnd) {
    RaiseFailure(kVersionStringFailureLine, kVersionStringFailure);
  }
  const auto available = static_cast<std::size_t>(blockEnd - text);
  const void* nul = std::memchr(text, '\0', available);
  const std::size_t length =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - text)
                     : available;
  return RefString(reinterpret_cast<const char*>(text), static_cast<std::int32_t>(length));
}

const char* FileDescriptionForEngine(VersionResources& platform, const char* path) {
  try {
    // The first call builds the holder, which may allocate the shared empty
    // record: that can fail too, and must not reach the engine either.
    RefString& last = LastDescription();
    try {
      last = ReadFileDescription(platform, path);
      return last.Text();
    } catch (...) {
      // The raised message (or an allocation failure) ends here: the record
      // already says what failed, and the engine gets empty text.
    }
    last = RefString();
  } catch (...) {
  }
  return "";
}

}  // namespace tarvish
