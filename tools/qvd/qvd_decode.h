#pragma once
// Decoding of Quillvex snapshot (.qvd) files, for the qvd tool.
//
// Works on bytes in memory and trusts nothing in them: every offset and
// length is checked against the data before it is read, so any input gives
// either a Snapshot or a one-line error.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvd {

enum class Arch { kX86, kX64 };

struct Record {
  std::uint16_t tag;
  std::size_t offset;  // of the record's tag in the file
  std::size_t length;  // of the payload
};

struct ExceptionInfo {
  std::uint32_t code;
  std::uint32_t flags;
  std::uint64_t nested;  // address of a chained exception record
  std::uint64_t address;
  std::uint32_t numberParameters;  // as stored
  std::vector<std::uint64_t> parameters;  // at most 15
};

struct Register {
  const char* name;
  std::uint64_t value;
};

struct ThreadInfo {
  std::uint64_t exceptionList, stackBase, stackLimit, self;
  std::uint64_t processId, threadId, peb;
};

struct StackInfo {
  std::uint64_t start;  // lowest address held; known only with the thread block
  std::uint64_t end;    // one past the highest
  bool addressesKnown;
  const std::uint8_t* bytes;
  std::size_t length;
};

struct Snapshot {
  Arch arch;
  std::vector<Record> records;
  std::optional<ExceptionInfo> exception;
  std::vector<Register> registers;  // empty without a context record
  std::optional<ThreadInfo> thread;
  std::optional<StackInfo> stack;
  std::uint64_t stackPointer = 0;
  bool hasStackPointer = false;
};

struct DecodeResult {
  std::optional<Snapshot> snapshot;
  std::string error;  // one line, set when snapshot is empty
};

// `data` must outlive the result: the stack bytes are not copied.
DecodeResult Decode(const std::uint8_t* data, std::size_t size);

// "EXCEPTION_ACCESS_VIOLATION" and the like, or nullptr for an unknown code.
const char* ExceptionName(std::uint32_t code);

// How many bytes of the stack the dumps show.
inline constexpr std::size_t kStackDumpBytes = 256;

std::string FormatText(const Snapshot& snapshot);
std::string FormatJson(const Snapshot& snapshot);

}  // namespace qvd
