#pragma once
// An open registry key, closed with RegCloseKey. Holds null when nothing was
// opened: RegOpenKeyExA leaves its output untouched on some failures, so
// pass receive() of an empty key.
//
// Windows builds only.

#include <windows.h>

#include "util/scoped_resource.h"

namespace tarvish {

struct RegistryKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { RegCloseKey(key); }
};
using ScopedHKey = UniqueResource<RegistryKeyTraits>;

}  // namespace tarvish
