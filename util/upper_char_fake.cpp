// Host stand-in for CharUpperA on one character: ASCII letters only, the way
// the "C" locale and code page 1252 agree for the bytes the tests use.
#include "util/ref_string.h"

namespace tarvish {

unsigned char UpperChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace tarvish
