#include "util/ref_string.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace tarvish {
namespace {

const char kEmptyText[] = "";

// The shared empty record. Its count starts at 1, the module's own hold,
// which is never released.
RefStringRep* SharedEmptyRep() {
  static RefStringRep* rep = nullptr;
  if (rep == nullptr) {
    rep = new RefStringRep{kEmptyText, 0, 1, true, false};
  }
  return rep;
}

RefStringRep* Hold(RefStringRep* rep) {
  ++rep->refs;
  return rep;
}

void Release(RefStringRep* rep) {
  if (--rep->refs != 0) return;
  if (rep->inlineText) {
    ::operator delete(rep);
    return;
  }
  if (!rep->staticText) ::operator delete(const_cast<char*>(rep->text));
  ::operator delete(rep);
}

// One allocation: the record, then count bytes of text and a NUL. The caller
// fills the text through the returned pointer.
RefStringRep* NewInline(std::uint32_t count, char** text) {
  // The record, the text and its NUL must fit one size_t (a concern only
  // for a 32-bit process joining two strings of gigabytes).
  if (count > SIZE_MAX - sizeof(RefStringRep) - 1) throw std::bad_alloc();
  void* block = ::operator new(sizeof(RefStringRep) + count + 1);
  char* chars = static_cast<char*>(block) + sizeof(RefStringRep);
  chars[count] = '\0';
  *text = chars;
  return new (block) RefStringRep{chars, 0, 1, false, true};
}

// Sets the length once the text is in place: bytes before the first NUL.
RefStringRep* Seal(RefStringRep* rep, std::uint32_t count) {
  rep->length = static_cast<std::uint32_t>(strnlen(rep->text, count));
  return rep;
}

RefStringRep* CopyInline(const char* bytes, std::uint32_t count) {
  char* text = nullptr;
  RefStringRep* rep = NewInline(count, &text);
  if (count != 0) std::memcpy(text, bytes, count);
  return Seal(rep, count);
}

}  // namespace

RefString::RefString() : rep_(Hold(SharedEmptyRep())) {}

RefString::RefString(const char* text, std::int32_t count) {
  std::uint32_t size = 0;
  if (text != nullptr) {
    size = count < 0 ? static_cast<std::uint32_t>(std::strlen(text))
                     : static_cast<std::uint32_t>(count);
  }
  rep_ = size == 0 ? Hold(SharedEmptyRep()) : CopyInline(text, size);
}

RefString::RefString(const RefString& other) : rep_(Hold(other.rep_)) {}

RefString& RefString::operator=(const RefString& other) {
  if (this == &other || rep_ == other.rep_) return *this;
  Hold(other.rep_);
  Release(rep_);
  rep_ = other.rep_;
  return *this;
}

RefString::~RefString() { Release(rep_); }

char RefString::CharAt(std::uint32_t position) const {
  return position < rep_->length ? rep_->text[position] : '\0';
}

int RefString::Equals(const char* text) const {
  if (text == nullptr) return 0;
  return TextsDiffer(rep_->text, text) == 0 ? 1 : 0;
}

RefString RefString::Concat(const RefString& other) const {
  const std::uint32_t left = rep_->length;
  const std::uint32_t right = other.rep_->length;
  if (right > UINT32_MAX - left) throw std::bad_alloc();
  char* text = nullptr;
  RefStringRep* rep = NewInline(left + right, &text);
  std::memcpy(text, rep_->text, left);
  std::memcpy(text + left, other.rep_->text, right);
  return RefString(Seal(rep, left + right));
}

RefString& RefString::Append(const RefString& other) {
  RefString joined = Concat(other);
  return *this = joined;
}

RefString RefString::Substring(std::uint32_t position, std::uint32_t count) const {
  if (position >= rep_->length) return EmptyString();
  const std::uint32_t available = rep_->length - position;
  if (count > available) count = available;
  return RefString(CopyInline(rep_->text + position, count));
}

RefString RefString::UpperCopy() const {
  char* text = nullptr;
  RefStringRep* rep = NewInline(rep_->length, &text);
  for (std::uint32_t i = 0; i < rep_->length; ++i) {
    text[i] = static_cast<char>(UpperChar(static_cast<unsigned char>(rep_->text[i])));
  }
  return RefString(Seal(rep, rep_->length));
}

RefString& RefString::EmptyString() {
  // Constructed on first call; a throwing construction is retried on the
  // next call. Its destructor runs when the module unloads.
  static RefString empty;
  return empty;
}

int TextsDiffer(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return 1;
    if (*a == '\0') return 0;
  }
}

}  // namespace tarvish
