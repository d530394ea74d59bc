#pragma once
// Reads back what a test needs from a minidump file: the signature, the
// thread list, the exception stream and a comment stream.

#include <windows.h>

#include <dbghelp.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tarvish_test {

struct DumpException {
  DWORD threadId;
  DWORD code;
};

class MiniDumpFile {
 public:
  explicit MiniDumpFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::size_t size() const { return bytes_.size(); }

  bool HasSignature() const {
    MINIDUMP_HEADER header{};
    return Read(0, &header) && header.Signature == 0x504D444D;  // "MDMP"
  }

  std::vector<DWORD> ThreadIds() const {
    std::vector<DWORD> ids;
    if (auto dir = Stream(ThreadListStream)) {
      ULONG32 count = 0;
      Read(dir->Location.Rva, &count);
      for (ULONG32 i = 0; i < count; ++i) {
        MINIDUMP_THREAD thread{};
        if (!Read(dir->Location.Rva + 4 + i * sizeof(MINIDUMP_THREAD), &thread)) break;
        ids.push_back(thread.ThreadId);
      }
    }
    return ids;
  }

  std::optional<DumpException> Exception() const {
    auto dir = Stream(ExceptionStream);
    MINIDUMP_EXCEPTION_STREAM stream{};
    if (!dir || !Read(dir->Location.Rva, &stream)) return std::nullopt;
    return DumpException{stream.ThreadId, stream.ExceptionRecord.ExceptionCode};
  }

  std::string Comment() const {
    auto dir = Stream(CommentStreamA);
    if (!dir || dir->Location.Rva + dir->Location.DataSize > bytes_.size()) return "";
    const char* text = bytes_.data() + dir->Location.Rva;
    return std::string(text, strnlen(text, dir->Location.DataSize));
  }

 private:
  template <typename T>
  bool Read(std::size_t offset, T* out) const {
    if (offset + sizeof(T) > bytes_.size()) return false;
    std::memcpy(out, bytes_.data() + offset, sizeof(T));
    return true;
  }

  std::optional<MINIDUMP_DIRECTORY> Stream(ULONG32 type) const {
    MINIDUMP_HEADER header{};
    if (!Read(0, &header)) return std::nullopt;
    for (ULONG32 i = 0; i < header.NumberOfStreams; ++i) {
      MINIDUMP_DIRECTORY dir{};
      if (!Read(header.StreamDirectoryRva + i * sizeof dir, &dir)) break;
      if (dir.StreamType == type) return dir;
    }
    return std::nullopt;
  }

  std::vector<char> bytes_;
};

}  // namespace tarvish_test
