#pragma once
// The process-wide unhandled-exception filter.
//
// Windows builds only.

#include <windows.h>

namespace tarvish {

// Registered by InstallCrashHandler. Writes the crash's files as the
// settings ask and always answers EXCEPTION_CONTINUE_SEARCH.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exceptionPointers);

}  // namespace tarvish
