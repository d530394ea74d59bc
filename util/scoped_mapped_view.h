#pragma once
// A view from MapViewOfFile, unmapped when it goes out of scope. Null when
// nothing was mapped. Keep the mapping's own handle alive at least as long.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

class ScopedMappedView {
 public:
  ScopedMappedView() = default;
  explicit ScopedMappedView(void* view) : view_(static_cast<unsigned char*>(view)) {}
  ~ScopedMappedView() { reset(); }
  ScopedMappedView(const ScopedMappedView&) = delete;
  ScopedMappedView& operator=(const ScopedMappedView&) = delete;

  unsigned char* get() const { return view_; }
  explicit operator bool() const { return view_ != nullptr; }

  void reset(void* view = nullptr) {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    view_ = static_cast<unsigned char*>(view);
  }

 private:
  unsigned char* view_ = nullptr;
};

}  // namespace tarvish
