#pragma once
// A device context from GetDC, given back with ReleaseDC (not DeleteDC,
// which is for contexts made by CreateDC) when it goes out of scope.
// Release it on the thread that got it.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

class ScopedGetDC {
 public:
  // A null window asks for the whole screen's context.
  explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~ScopedGetDC() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace tarvish
