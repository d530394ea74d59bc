#pragma once
// Recording stand-in for the temp-directory and clock queries of the crash
// file name.

#include <string>
#include <vector>

#include "crash/crash_file_name.h"

namespace tarvish {

class FakeCrashNameSource final : public CrashNameSource {
 public:
  // What TempPath delivers: the directory is copied in when it fits, the
  // way GetTempPathA does it, and its length (or the size it would need) is
  // returned, unless `forcedTempResult` says otherwise.
  std::string tempDirectory = "C:\\Temp\\";
  bool forceTempResult = false;
  std::uint32_t forcedTempResult = 0;
  CrashLocalTime time{2024, 3, 5, 7, 8, 9, 10};

  // The size argument of each TempPath call.
  std::vector<std::uint32_t> tempPathCalls;
  int localTimeCalls = 0;

  std::uint32_t TempPath(std::uint32_t size, char* buffer) override;
  CrashLocalTime LocalTime() override;
};

}  // namespace tarvish
