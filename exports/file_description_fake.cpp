#include "exports/file_description_fake.h"

#include <cstring>

namespace tarvish {

std::uint32_t FakeVersionResources::InfoSize(const char* path) {
  calls.push_back(std::string("InfoSize(") + path + ")");
  return size;
}

bool FakeVersionResources::ReadInfo(const char* path, std::uint32_t blockSize, void* block) {
  calls.push_back(std::string("ReadInfo(") + path + "," + std::to_string(blockSize) + ")");
  lastBlock = block;
  auto* bytes = static_cast<unsigned char*>(block);
  std::memset(bytes, 0xCD, blockSize);
  offsets_.clear();
  std::size_t at = 0;
  for (const auto& [name, value] : values) {
    if (at + value.size() > blockSize) break;
    std::memcpy(bytes + at, value.data(), value.size());
    offsets_[name] = at;
    at += value.size();
  }
  return readSucceeds;
}

bool FakeVersionResources::QueryValue(void* block, const char* valuePath, const void** value,
                                      std::uint32_t* length) {
  calls.push_back(std::string("QueryValue(") + valuePath + ")");
  auto found = offsets_.find(valuePath);
  if (found == offsets_.end()) return false;
  const bool text = std::strncmp(valuePath, "\\StringFileInfo", 15) == 0;
  *value = text && textPointer ? *textPointer
                               : static_cast<const unsigned char*>(block) + found->second;
  *length = static_cast<std::uint32_t>(values.at(valuePath).size());
  return true;
}

std::vector<unsigned char> TranslationBytes(
    std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> pairs) {
  std::vector<unsigned char> bytes;
  for (const auto& [language, codePage] : pairs) {
    for (std::uint16_t word : {language, codePage}) {
      bytes.push_back(static_cast<unsigned char>(word & 0xFF));
      bytes.push_back(static_cast<unsigned char>(word >> 8));
    }
  }
  return bytes;
}

std::vector<unsigned char> TextBytes(const char* text) {
  return std::vector<unsigned char>(text, text + std::strlen(text) + 1);
}

}  // namespace tarvish
