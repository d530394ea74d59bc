#pragma once
// RefString: the module's reference-counted ANSI string.
//
// A RefString is one pointer to a shared RefStringRep. Copies share the
// record; the last holder frees it. Text is never changed in place. All
// empty strings share one record that is created on first use and never
// freed.
//
// Not thread-safe: reference counts are plain integers. Keep a string and
// all of its copies on one thread.
//
// Allocation failure throws std::bad_alloc out of the operation.

#include <cstdint>

namespace tarvish {

struct RefStringRep {
  const char* text;      // never null
  std::uint32_t length;  // bytes before the first NUL of text
  std::int32_t refs;     // holders; freed when it drops to 0
  bool staticText;       // text is the constant "" and not owned
  bool inlineText;       // text follows the record in the same allocation
};

class RefString {
 public:
  RefString();
  // count < 0: measure text up to its NUL. A caller giving a count must give
  // at least that many readable bytes.
  RefString(const char* text, std::int32_t count = -1);  // NOLINT: implicit by design
  RefString(const RefString& other);
  RefString& operator=(const RefString& other);
  ~RefString();

  const char* Text() const { return rep_->text; }
  std::uint32_t Length() const { return rep_->length; }
  char CharAt(std::uint32_t position) const;
  int Equals(const char* text) const;

  RefString Concat(const RefString& other) const;
  RefString& Append(const RefString& other);
  RefString Substring(std::uint32_t position, std::uint32_t count) const;
  // Upper-cases each byte through the platform (UpperChar).
  RefString UpperCopy() const;

  // The module-level empty string; created on first call and released when
  // the module unloads.
  static RefString& EmptyString();

  // For tests and diagnostics: the record this string holds.
  const RefStringRep* Rep() const { return rep_; }

 private:
  explicit RefString(RefStringRep* rep) : rep_(rep) {}
  RefStringRep* rep_;
};

// 0 when both texts hold the same bytes up to and including their NULs,
// else 1. Exact, case-sensitive, no locale. Neither may be null.
int TextsDiffer(const char* a, const char* b);

// Platform upper-casing of one character (CharUpperA on Windows); bound in
// upper_char_win.cpp, faked in host tests.
unsigned char UpperChar(unsigned char c);

}  // namespace tarvish
