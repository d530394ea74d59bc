// libFuzzer: any bytes either decode and format or give a one-line error.
#include <cstdint>
#include <cstdlib>

#include "tools/qvd/qvd_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qvd::DecodeResult result = qvd::Decode(data, size);
  if (result.snapshot) {
    qvd::FormatText(*result.snapshot);
    qvd::FormatJson(*result.snapshot);
  } else if (result.error.empty() || result.error.find('\n') != std::string::npos) {
    std::abort();
  }
  return 0;
}
