#pragma once
// A file handle from CreateFileA, closed when it goes out of scope. Empty is
// INVALID_HANDLE_VALUE, what CreateFileA returns on failure; handles whose
// failure value is null (threads, mappings, processes) do not belong here.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

class ScopedFileHandle {
 public:
  ScopedFileHandle() = default;
  explicit ScopedFileHandle(HANDLE file) : file_(file) {}
  ~ScopedFileHandle() { reset(); }
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;

  HANDLE get() const { return file_; }
  explicit operator bool() const { return file_ != INVALID_HANDLE_VALUE; }

  void reset(HANDLE file = INVALID_HANDLE_VALUE) {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = file;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace tarvish
