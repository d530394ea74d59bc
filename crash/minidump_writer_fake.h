#pragma once
// Recording fakes of the minidump writer's platform and of the DBGHELP.DLL
// loader. Every call is recorded as "<thread> <operation> [argument]", the
// thread being "caller" or "worker"; each can be made to fail on demand.
// Worker threads are real threads, so the handshake and the per-thread
// last-error value behave as they do on Windows.

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crash/dbghelp.h"
#include "crash/minidump_writer.h"

namespace tarvish {

class FakeDbgHelpLoader final : public DbgHelpLoader {
 public:
  bool alreadyLoaded = false;
  bool loadable = true;
  bool hasEntryPoint = true;

  std::vector<std::string> calls;

  static void EntryPoint() {}

  void* LoadedModule(const char* name) override;
  void* LoadModule(const char* name) override;
  DbgHelpProc FindProc(void* module, const char* name) override;

 private:
  int module_ = 0;
};

class FakeDumpPlatform final : public MiniDumpPlatform {
 public:
  static constexpr std::uint32_t kCallerThreadId = 100;
  static constexpr std::uint32_t kWorkerThreadId = 200;

  enum class Worker {
    kRuns,               // starts and runs alongside the caller
    kEndsBeforeCreated,  // has run to its end before CreateThread returns
    kNotCreated,         // CreateThread fails with threadCreationError
    kEndsWithoutRunning,  // starts and ends without running its job (as a
                          // thread ended or terminated from outside)
  };

  // Configuration.
  bool badPath = false;
  bool badExceptionPointers = false;
  Worker worker = Worker::kRuns;
  std::uint32_t threadCreationError = 8;  // ERROR_NOT_ENOUGH_MEMORY
  std::int32_t reporterResult = 0;
  std::uint32_t reporterLastError = 2;  // no Report program found
  bool fileCreationFails = false;
  std::uint32_t fileCreationError = 5;  // ERROR_ACCESS_DENIED
  int dumpFailuresBeforeSuccess = 0;    // negative: MiniDumpWriteDump always fails
  std::uint32_t dumpFailureError = 0x8007012B;
  // What a failed MiniDumpWriteDump call leaves in the file at its file
  // pointer (a partial write), and what a successful one writes.
  std::string partialWrite = "partial;";
  std::string wholeDump = "MDMP";

  // Record.
  struct DumpCall {
    void* file;
    std::uint32_t dumpType;
    bool hasException;
    DumpException exception;
    std::uint32_t excludedThreadId;
  };
  std::vector<DumpCall> dumpCalls;
  int openFiles = 0;
  // The dump file's bytes; the fake's file pointer is always at its end.
  std::string fileContent;
  std::uint8_t flagWhenCreatingThread = 0xFF;
  std::uint32_t workerFinalLastError = 0xFFFFFFFF;
  // DumpWorkerThreadId as the worker saw it when it offered the job.
  std::uint32_t workerIdDuringHandoff = 0xFFFFFFFF;
  // How often the caller asked whether the worker had ended (not recorded
  // as calls: the spin asks many times).
  std::atomic<long> threadEndedPolls{0};

  ~FakeDumpPlatform();

  std::vector<std::string> Calls();
  int CountCalls(const std::string& prefix);

  // The calling thread's last-error value, as a test sees it.
  static std::uint32_t ThreadLastError();
  static void SetThreadLastError(std::uint32_t error);

  bool StringUnreadable(const char* text, std::uint32_t maxLength) override;
  bool MemoryUnreadable(const void* address, std::uint32_t size) override;
  void* CreateWorkerThread(DumpRequest* request) override;
  bool ThreadEnded(void* thread) override;
  void WaitForThread(void* thread) override;
  void CloseHandle(void* handle) override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t error) override;
  std::int32_t HandOffToReporter(DumpRequest* request) override;
  bool CreateDumpFile(const char* path, void** file) override;
  void RewindDumpFile(void* file) override;
  void CloseDumpFile(void* file) override;
  std::uint32_t CurrentThreadId() override;
  bool MiniDumpWriteDump(void* file, std::uint32_t dumpType, const DumpException* exception,
                         const std::uint32_t* excludedThreadId) override;

 private:
  void Record(const std::string& call);

  std::mutex mutex_;
  std::vector<std::string> calls_;
  // A worker thread and whether its body has returned, as a thread handle
  // signals once the thread has ended.
  struct WorkerThread {
    std::thread thread;
    std::atomic<bool> ended{false};
  };
  std::list<WorkerThread> threads_;
  int file_ = 0;
};

}  // namespace tarvish
