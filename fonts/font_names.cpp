#include "fonts/font_names.h"

#include <cstring>

namespace tarvish {

std::optional<std::string> FontResourcePath(const std::string& path,
                                            const LeadByteTest& isLeadByte) {
  const std::size_t driveEnd = (path.size() >= 2 && path[1] == ':') ? 2 : 0;
  std::size_t directoryEnd = driveEnd;  // one past the last separator
  std::optional<std::size_t> lastDot;
  for (std::size_t i = driveEnd; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (i + 1 < path.size() && isLeadByte(c)) {
      ++i;  // the trail byte belongs to this character
    } else if (c == '\\' || c == '/') {
      directoryEnd = i + 1;
    } else if (c == '.') {
      lastDot = i;
    }
  }
  const std::size_t extensionStart =
      (lastDot && *lastDot >= directoryEnd) ? *lastDot : path.size();

  const std::size_t directoryLength = directoryEnd - driveEnd;
  const std::size_t baseLength = extensionStart - directoryEnd;
  const std::size_t extensionLength = path.size() - extensionStart;
  if (directoryLength > kMaxPathComponent || baseLength > kMaxPathComponent ||
      extensionLength > kMaxPathComponent) {
    return std::nullopt;
  }
  std::string result = path.substr(0, extensionStart) + ".FOT";
  if (result.size() > kMaxBuiltPath) return std::nullopt;
  return result;
}

std::optional<FontNames> BuildFontNames(const char* faceName, const char* fileName,
                                        const char* sourceDir, const char* fontsDir,
                                        const LeadByteTest& isLeadByte) {
  if (faceName == nullptr || fileName == nullptr || sourceDir == nullptr ||
      fontsDir == nullptr) {
    return std::nullopt;
  }
  if (std::strlen(faceName) > kMaxFaceName) return std::nullopt;

  FontNames names;
  names.sourcePath = std::string(sourceDir) + '\\' + fileName;
  names.destinationPath = std::string(fontsDir) + '\\' + fileName;
  if (names.sourcePath.size() > kMaxBuiltPath || names.destinationPath.size() > kMaxBuiltPath) {
    return std::nullopt;
  }
  names.valueName = std::string(faceName) + " (TrueType)";
  std::optional<std::string> resource = FontResourcePath(names.destinationPath, isLeadByte);
  if (!resource) return std::nullopt;
  names.resourcePath = std::move(*resource);
  return names;
}

}  // namespace tarvish
