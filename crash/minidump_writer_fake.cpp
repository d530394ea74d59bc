#include "crash/minidump_writer_fake.h"

namespace tarvish {

namespace {

thread_local std::uint32_t tlsLastError = 0;
thread_local std::uint32_t tlsThreadId = FakeDumpPlatform::kCallerThreadId;

}  // namespace

void* FakeDbgHelpLoader::LoadedModule(const char* name) {
  calls.push_back(std::string("GetModuleHandleA ") + name);
  return alreadyLoaded ? &module_ : nullptr;
}

void* FakeDbgHelpLoader::LoadModule(const char* name) {
  calls.push_back(std::string("LoadLibraryA ") + name);
  return loadable ? &module_ : nullptr;
}

DbgHelpProc FakeDbgHelpLoader::FindProc(void* module, const char* name) {
  calls.push_back(std::string("GetProcAddress ") + name + (module == &module_ ? "" : " (bad module)"));
  return hasEntryPoint ? &FakeDbgHelpLoader::EntryPoint : nullptr;
}

FakeDumpPlatform::~FakeDumpPlatform() {
  for (auto& t : threads_) {
    if (t.thread.joinable()) t.thread.join();
  }
}

std::vector<std::string> FakeDumpPlatform::Calls() {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

int FakeDumpPlatform::CountCalls(const std::string& prefix) {
  int n = 0;
  for (const auto& c : Calls()) n += c.compare(0, prefix.size(), prefix) == 0;
  return n;
}

std::uint32_t FakeDumpPlatform::ThreadLastError() { return tlsLastError; }
void FakeDumpPlatform::SetThreadLastError(std::uint32_t error) { tlsLastError = error; }

void FakeDumpPlatform::Record(const std::string& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back((tlsThreadId == kWorkerThreadId ? "worker " : "caller ") + call);
}

bool FakeDumpPlatform::StringUnreadable(const char*, std::uint32_t maxLength) {
  Record("IsBadStringPtrA " + std::to_string(maxLength));
  return badPath;
}

bool FakeDumpPlatform::MemoryUnreadable(const void*, std::uint32_t size) {
  Record("IsBadReadPtr " + std::to_string(size));
  return badExceptionPointers;
}

void* FakeDumpPlatform::CreateWorkerThread(DumpRequest* request) {
  Record("CreateThread");
  flagWhenCreatingThread = DumpInProgress;
  if (worker == Worker::kNotCreated) {
    tlsLastError = threadCreationError;
    return nullptr;
  }
  WorkerThread* thread = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    thread = &threads_.emplace_back();
  }
  const bool runsItsJob = worker != Worker::kEndsWithoutRunning;
  thread->thread = std::thread([this, request, thread, runsItsJob] {
    tlsThreadId = kWorkerThreadId;
    tlsLastError = 0;
    if (runsItsJob) {
      RunDumpWorker(*request, *this);
      workerFinalLastError = tlsLastError;
    }
    thread->ended.store(true);
  });
  if (worker == Worker::kEndsBeforeCreated) thread->thread.join();
  return thread;
}

bool FakeDumpPlatform::ThreadEnded(void* thread) {
  ++threadEndedPolls;
  return static_cast<WorkerThread*>(thread)->ended.load();
}

void FakeDumpPlatform::WaitForThread(void* thread) {
  Record("WaitForSingleObject");
  auto& t = static_cast<WorkerThread*>(thread)->thread;
  if (t.joinable()) t.join();
}

void FakeDumpPlatform::CloseHandle(void*) { Record("CloseHandle"); }

std::uint32_t FakeDumpPlatform::GetLastError() { return tlsLastError; }

void FakeDumpPlatform::SetLastError(std::uint32_t error) {
  Record("SetLastError " + std::to_string(error));
  tlsLastError = error;
}

std::int32_t FakeDumpPlatform::HandOffToReporter(DumpRequest*) {
  Record("HandOffToReporter");
  workerIdDuringHandoff = DumpWorkerThreadId.load();
  tlsLastError = reporterLastError;
  DumpInProgress = 0;
  return reporterResult;
}

bool FakeDumpPlatform::CreateDumpFile(const char* path, void** file) {
  Record(std::string("CreateFileA ") + path);
  if (fileCreationFails) {
    tlsLastError = fileCreationError;
    return false;
  }
  ++openFiles;
  fileContent.clear();
  *file = &file_;
  return true;
}

void FakeDumpPlatform::RewindDumpFile(void* file) {
  Record(file == &file_ ? "SetEndOfFile file" : "SetEndOfFile (not the file)");
  fileContent.clear();
}

void FakeDumpPlatform::CloseDumpFile(void* file) {
  Record(file == &file_ ? "CloseHandle file" : "CloseHandle (not the file)");
  --openFiles;
}

std::uint32_t FakeDumpPlatform::CurrentThreadId() { return tlsThreadId; }

bool FakeDumpPlatform::MiniDumpWriteDump(void* file, std::uint32_t dumpType,
                                         const DumpException* exception,
                                         const std::uint32_t* excludedThreadId) {
  Record("MiniDumpWriteDump");
  dumpCalls.push_back({file, dumpType, exception != nullptr,
                       exception != nullptr ? *exception : DumpException{0, nullptr},
                       *excludedThreadId});
  const int failuresSoFar = static_cast<int>(dumpCalls.size()) - 1;
  if (dumpFailuresBeforeSuccess < 0 || failuresSoFar < dumpFailuresBeforeSuccess) {
    fileContent += partialWrite;
    tlsLastError = dumpFailureError;
    return false;
  }
  fileContent += wholeDump;
  return true;
}

}  // namespace tarvish
