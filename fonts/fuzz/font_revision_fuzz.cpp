// libFuzzer target for the revision reader: any byte string as a font file.
// The reader must never read outside what it was given, never hang, and
// give the same answer for the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fonts/font_revision.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream first(bytes, std::ios::in | std::ios::binary);
  std::istringstream second(bytes, std::ios::in | std::ios::binary);
  if (tarvish::ReadFontRevision(first) != tarvish::ReadFontRevision(second)) std::abort();
  return 0;
}
