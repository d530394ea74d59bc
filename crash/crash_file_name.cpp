#include "crash/crash_file_name.h"

namespace tarvish {

char CrashNamePrefix[261] = "QuillvexStartup";

namespace {

// Length of `text`, counting no further than `limit`.
std::uint32_t BoundedLength(const char* text, std::uint32_t limit) {
  std::uint32_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

// Appends into a fixed buffer, always leaving room for the NUL.
class BoundedWriter {
 public:
  BoundedWriter(char* out, std::uint32_t size) : out_(out), size_(size) {}

  void Text(const char* text) {
    while (*text != '\0') Char(*text++);
  }

  // Zero-padded decimal, at least `width` digits (more when the value needs them).
  void Number(std::uint32_t value, std::uint32_t width) {
    char digits[10];
    std::uint32_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    for (std::uint32_t pad = count; pad < width; ++pad) Char('0');
    while (count > 0) Char(digits[--count]);
  }

  void Char(char c) {
    if (used_ + 1 < size_) out_[used_++] = c;
  }

  void Finish() { out_[used_] = '\0'; }

 private:
  char* out_;
  std::uint32_t size_;
  std::uint32_t used_ = 0;
};

}  // namespace

void ComposeCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                          bool allowTempDirectory, CrashNameSource& source) {
  if (buffer == nullptr || size == 0) return;

  std::uint32_t nameAt = 0;
  const std::uint32_t prefixLength = prefix != nullptr ? BoundedLength(prefix, size) : 0;
  if (prefixLength > 0 && prefixLength + kCrashNameRoom < size) {
    for (std::uint32_t i = 0; i < prefixLength; ++i) buffer[i] = prefix[i];
    nameAt = prefixLength;
  } else if (allowTempDirectory) {
    // A directory that did not fit, or left too little room, is written
    // over: the name then starts the buffer.
    const std::uint32_t length = source.TempPath(size, buffer);
    if (length != 0 && length + kCrashNameRoom < size) nameAt = length;
  }

  const CrashLocalTime t = source.LocalTime();
  BoundedWriter name(buffer + nameAt, size - nameAt);
  name.Text("Quillvex ");
  name.Number(t.year, 4);
  name.Char('_');
  name.Number(t.month, 2);
  name.Char('_');
  name.Number(t.day, 2);
  name.Char(' ');
  name.Number(t.hour, 2);
  name.Char('_');
  name.Number(t.minute, 2);
  name.Char('_');
  name.Number(t.second, 2);
  name.Char('_');
  name.Number(t.milliseconds, 3);
  name.Finish();
}

}  // namespace tarvish
