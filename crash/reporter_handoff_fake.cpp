#include "crash/reporter_handoff_fake.h"

#include <cstring>

namespace tarvish {

const char* FakeReporterPlatform::Name(void* handle) const {
  if (handle == &mapping_) return "mapping";
  if (handle == &process_) return "process";
  if (handle == &thread_) return "thread";
  return "unknown";
}

void* FakeReporterPlatform::CreateParamsMapping() {
  calls.push_back("CreateFileMappingA");
  return mappingFails ? nullptr : &mapping_;
}

unsigned char* FakeReporterPlatform::MapParams(void* mapping) {
  calls.push_back(std::string("MapViewOfFile ") + Name(mapping));
  return viewFails ? nullptr : block.data();
}

void FakeReporterPlatform::UnmapParams(unsigned char* view) {
  calls.push_back(view == block.data() ? "UnmapViewOfFile" : "UnmapViewOfFile (not the view)");
}

void FakeReporterPlatform::CloseHandle(void* handle) {
  calls.push_back(std::string("CloseHandle ") + Name(handle));
}

std::uint32_t FakeReporterPlatform::CurrentProcessId() { return kProcessId; }
std::uint32_t FakeReporterPlatform::CurrentThreadId() { return kThreadId; }

bool FakeReporterPlatform::MemoryUnreadable(const void*, std::uint32_t size) {
  calls.push_back("IsBadReadPtr " + std::to_string(size));
  return badExceptionPointers;
}

bool FakeReporterPlatform::StartReporter(char* line, void** process, void** thread) {
  calls.push_back("CreateProcessA");
  commandLine = line;
  // CreateProcessA may write into the command line; it must be the
  // handoff's own buffer.
  line[0] = 'X';
  if (!reporterStarts) return false;
  *process = &process_;
  *thread = &thread_;
  return true;
}

void FakeReporterPlatform::WaitForProcess(void* process) {
  calls.push_back(std::string("WaitForSingleObject ") + Name(process));
  flagWhileReporterRuns = DumpInProgress;
  if (reporterStoresResult) std::memcpy(block.data() + kParamsResult, &reporterResult, 4);
}

}  // namespace tarvish
