#include "crash/crash_filter_fake.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace tarvish {

std::vector<std::string> FakeCrashPlatform::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

void FakeCrashPlatform::Record(std::string event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(std::move(event));
}

std::uint32_t FakeCrashPlatform::CurrentThreadId() {
  return std::this_thread::get_id() == home_ ? threadId : threadId + 1;
}

void FakeCrashPlatform::Pause() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++pauses_;
  }
  if (pauseSleeps) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool FakeCrashPlatform::IsDumpWorker(std::uint32_t id) {
  return dumpWorkerThreadId != 0 && id == dumpWorkerThreadId;
}

int FakeCrashPlatform::Pauses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pauses_;
}

void FakeCrashPlatform::DebugOutput(const char* text) { Record(std::string("debug ") + text); }

// Names are numbered so that every call visibly builds a fresh one.
void FakeCrashPlatform::BuildCrashFileName(const char* prefix, char* buffer, std::uint32_t size,
                                           bool allowTempDirectory) {
  Record(std::string("name ") + (prefix ? "'" + std::string(prefix) + "'" : "null") +
         " temp=" + (allowTempDirectory ? "1" : "0"));
  const char* dir = (allowTempDirectory && tempDirectoryAvailable) ? "C:\\Temp\\" : "";
  std::snprintf(buffer, size, "%s%sQuillvex %d", prefix ? prefix : "", dir, ++names_);
}

std::int32_t FakeCrashPlatform::WriteMiniDump(std::uint32_t dumpType, const char* path,
                                              std::uint32_t thread, void* exceptionPointers) {
  std::ostringstream event;
  event << "dump " << dumpType << " " << path << " " << std::hex << thread << " "
        << exceptionPointers;
  Record(event.str());
  if (duringWrite) duringWrite();
  std::int32_t result = 5;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!writerResults.empty()) {
      result = writerResults.front();
      writerResults.pop_front();
    }
  }
  if (result == kFault) throw FakeFault{};
  return result;
}

void FakeCrashPlatform::WriteSnapshot(void* exceptionPointers) {
  std::ostringstream event;
  event << "snapshot " << exceptionPointers;
  Record(event.str());
}

bool FakeCrashPlatform::RunGuarded(void (*body)(void*), void* context) {
  try {
    body(context);
    return true;
  } catch (const FakeFault&) {
    Record("fault caught");
    return false;
  }
}

}  // namespace tarvish
