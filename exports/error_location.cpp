#include "exports/error_location.h"

namespace tarvish {

const char* ErrorFile = nullptr;
std::int32_t ErrorLine = 0;

void RaiseFailure(std::int32_t line, const char* message) {
  ErrorFile = kErrorSourceName;
  ErrorLine = line;
  throw message;
}

}  // namespace tarvish
