#pragma once
// UniqueResource<Traits>: owns one platform resource and frees it exactly
// once, when it goes out of scope or is reset. Each kind of resource gets its
// own Traits with the right "empty" value, so a handle type whose failure
// value is INVALID_HANDLE_VALUE cannot be mixed up with one whose failure
// value is null (scoped_file_handle.h vs scoped_handle.h).
//
// Traits provide:
//   using Type = ...;                 the raw resource
//   static Type Invalid();            the empty value
//   static void Close(Type value);    frees a non-empty value
//
// Platform-free: the Win32 traits live in the scoped_*.h headers.

#include <utility>

namespace tarvish {

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }

  // Frees what is held and takes `value` instead.
  void reset(Type value = Traits::Invalid()) {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // Gives up ownership without freeing.
  Type release() { return std::exchange(value_, Traits::Invalid()); }

  // For an out parameter: frees what is held and hands out the empty slot.
  Type* receive() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

}  // namespace tarvish
