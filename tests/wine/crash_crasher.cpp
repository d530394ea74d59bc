// crash_crasher MODE TIME_FILE: loads Tarvish.dll from its own folder, as
// the installer engine does (which installs the crash filter), then ends
// as MODE says. Just before the fault it writes the system time (100 ns
// units since 1601) to TIME_FILE, so a test can time the crash handling.
//
//   main         access violation on the main thread
//   thread       access violation on a second thread
//   two-threads  two threads fault at the same moment
//   overflow     stack overflow on the main thread
//   unload       registers a filter of its own, loads and frees the library,
//                then faults: exit code 42 when its own filter is called
//
// Every fault is a call to kFaultAddress, so the exception address is
// known to the test. Exit code 3: the library did not load.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr ULONG_PTR kFaultAddress = 0xBAD0;
const char* gTimeFile = nullptr;
HANDLE gStart = nullptr;

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

void NoteFaultTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long t = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  if (FILE* f = std::fopen(gTimeFile, "w")) {
    std::fprintf(f, "%llu\n", t);
    std::fclose(f);
  }
}

void Fault() { reinterpret_cast<void (*)()>(kFaultAddress)(); }

DWORD WINAPI FaultThread(void*) {
  Fault();
  return 0;
}

DWORD WINAPI FaultWhenStarted(void*) {
  WaitForSingleObject(gStart, INFINITE);
  Fault();
  return 0;
}

// Each frame keeps a buffer the compiler cannot drop; the limit is never
// reached, but the compiler cannot know.
volatile int gNeverReached = -1;
int Recurse(int depth) {
  if (depth == gNeverReached) return 0;
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + frame[0];
}

LONG WINAPI EarlierFilter(EXCEPTION_POINTERS*) { ExitProcess(42); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: crash_crasher MODE TIME_FILE\n", stderr);
    return 2;
  }
  const std::string mode = argv[1];
  gTimeFile = argv[2];

  if (mode == "unload") SetUnhandledExceptionFilter(&EarlierFilter);
  HMODULE dll = LoadLibraryA((ProgramFolder() + "Tarvish.dll").c_str());
  if (dll == nullptr) return 3;

  if (mode == "main") {
    NoteFaultTime();
    Fault();
  } else if (mode == "thread") {
    HANDLE thread = CreateThread(nullptr, 0, &FaultThread, nullptr, 0, nullptr);
    NoteFaultTime();
    WaitForSingleObject(thread, INFINITE);
  } else if (mode == "two-threads") {
    gStart = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE threads[2] = {CreateThread(nullptr, 0, &FaultWhenStarted, nullptr, 0, nullptr),
                         CreateThread(nullptr, 0, &FaultWhenStarted, nullptr, 0, nullptr)};
    Sleep(200);  // both threads are waiting on the event by now
    NoteFaultTime();
    SetEvent(gStart);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  } else if (mode == "overflow") {
    NoteFaultTime();
    return Recurse(0);
  } else if (mode == "unload") {
    FreeLibrary(dll);
    NoteFaultTime();
    Fault();
  } else {
    return 2;
  }
  return 1;  // not reached: every mode ends in a fault
}
