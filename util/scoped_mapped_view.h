#pragma once
// A view from MapViewOfFile, unmapped when it goes out of scope. Null when
// nothing was mapped. Keep the mapping's own handle alive at least as long.
//
// Windows builds only.

#include <windows.h>

#include "util/scoped_resource.h"

namespace tarvish {

struct MappedViewTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type view) { UnmapViewOfFile(view); }
};
using ScopedMappedView = UniqueResource<MappedViewTraits>;

// The view's bytes.
inline unsigned char* Bytes(const ScopedMappedView& view) {
  return static_cast<unsigned char*>(view.get());
}

}  // namespace tarvish
