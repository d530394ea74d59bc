#include <windows.h>

#include "crash/crash_file_name.h"

namespace tarvish {

namespace {

class SystemCrashNameSource final : public CrashNameSource {
 public:
  std::uint32_t TempPath(std::uint32_t size, char* buffer) override {
    return GetTempPathA(size, buffer);
  }

  CrashLocalTime LocalTime() override {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }
};

}  // namespace

void BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                        bool allowTempDirectory) {
  SystemCrashNameSource source;
  ComposeCrashFileName(prefix, buffer, size, allowTempDirectory, source);
}

}  // namespace tarvish
