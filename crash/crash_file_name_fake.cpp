#include "crash/crash_file_name_fake.h"

#include <cstring>

namespace tarvish {

std::uint32_t FakeCrashNameSource::TempPath(std::uint32_t size, char* buffer) {
  tempPathCalls.push_back(size);
  const auto length = static_cast<std::uint32_t>(tempDirectory.size());
  if (length < size) std::memcpy(buffer, tempDirectory.c_str(), length + 1);
  if (forceTempResult) return forcedTempResult;
  return length < size ? length : length + 1;
}

CrashLocalTime FakeCrashNameSource::LocalTime() {
  ++localTimeCalls;
  return time;
}

}  // namespace tarvish
