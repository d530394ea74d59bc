#pragma once
// A kernel handle whose failure value is null (threads, processes, file
// mappings: what CreateThread, CreateProcessA's PROCESS_INFORMATION,
// OpenProcess and CreateFileMappingA give), closed with CloseHandle when it
// goes out of scope. Handles from CreateFileA fail with INVALID_HANDLE_VALUE
// instead and belong in ScopedFileHandle.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void reset(HANDLE handle = nullptr) {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace tarvish
