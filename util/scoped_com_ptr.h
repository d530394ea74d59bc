#pragma once
// One reference to a COM interface, released when it goes out of scope.
// Holds null when nothing was obtained: pass receive() as the out parameter
// of CoCreateInstance or QueryInterface.
//
// Needs only the interface's Release(), so it builds without windows.h.

#include <utility>

namespace tarvish {

template <typename Interface>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  ~ScopedComPtr() { reset(); }
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
  ScopedComPtr(ScopedComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ScopedComPtr& operator=(ScopedComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }

  Interface* get() const { return p_; }
  Interface* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  // For an out parameter: releases any interface held and hands out the slot
  // as the void** that CoCreateInstance and QueryInterface take.
  void** receive() {
    reset();
    return reinterpret_cast<void**>(&p_);
  }

  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  Interface* p_ = nullptr;
};

}  // namespace tarvish
