#include <windows.h>

#include "util/ref_string.h"

namespace tarvish {

unsigned char UpperChar(unsigned char c) {
  // CharUpperA takes a single character in place of a string pointer when
  // the high word is zero; the result comes back the same way.
  auto result = reinterpret_cast<ULONG_PTR>(
      CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(c))));
  return static_cast<unsigned char>(result & 0xFF);
}

}  // namespace tarvish
