#pragma once
// A recording stand-in for the version-resource operations: a file's version
// information is a set of value paths and their bytes, laid out in the block
// that ReadInfo fills.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exports/file_description.h"

namespace tarvish {

class FakeVersionResources final : public VersionResources {
 public:
  // What InfoSize reports; the block must be at least as large as the values.
  std::uint32_t size = 256;
  bool readSucceeds = true;
  // Value path -> bytes, as VerQueryValueA would find them.
  std::map<std::string, std::vector<unsigned char>> values;
  // When set, QueryValue answers this pointer for the \StringFileInfo values
  // it finds instead of their place in the block.
  std::optional<const void*> textPointer;

  // Every call in order: "InfoSize(p)", "ReadInfo(p,size)", "QueryValue(v)".
  std::vector<std::string> calls;
  const void* lastBlock = nullptr;

  std::uint32_t InfoSize(const char* path) override;
  bool ReadInfo(const char* path, std::uint32_t size, void* block) override;
  bool QueryValue(void* block, const char* valuePath, const void** value,
                  std::uint32_t* length) override;

 private:
  std::map<std::string, std::size_t> offsets_;
};

// The bytes of a Translation value holding the given pairs.
std::vector<unsigned char> TranslationBytes(
    std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> pairs);
// Text with its NUL.
std::vector<unsigned char> TextBytes(const char* text);

}  // namespace tarvish
