#pragma once
// An open registry key, closed with RegCloseKey when it goes out of scope.
// Holds null when nothing was opened: RegOpenKeyExA leaves its output
// untouched on some failures, so pass receive() of an empty key.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

class ScopedHKey {
 public:
  ScopedHKey() = default;
  explicit ScopedHKey(HKEY key) : key_(key) {}
  ~ScopedHKey() { reset(); }
  ScopedHKey(const ScopedHKey&) = delete;
  ScopedHKey& operator=(const ScopedHKey&) = delete;

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

  // For an out parameter: closes any key held and hands out the slot.
  HKEY* receive() {
    reset();
    return &key_;
  }

  void reset() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace tarvish
