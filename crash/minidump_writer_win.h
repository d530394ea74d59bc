#pragma once
// The Win32 entry points of the minidump writer, for the system and for
// tests that drive them directly. Windows builds only.

#include <windows.h>

#include <dbghelp.h>

namespace tarvish {

// The worker thread's procedure; `parameter` is the caller's DumpRequest.
DWORD WINAPI DumpWorkerProc(LPVOID parameter);

// The dump callback: `param` points to the worker's thread id, which is
// refused on the include-thread callback; everything else is included. Never
// writes `output`.
BOOL CALLBACK ExcludeWorkerCallback(PVOID param, const PMINIDUMP_CALLBACK_INPUT input,
                                    PMINIDUMP_CALLBACK_OUTPUT output);

}  // namespace tarvish
