#pragma once
// The snapshot file on Win32: named like the dumps, with ".qvd".
//
// Windows builds only. Called by the crash filter while it holds the crash
// gate, which owns the snapshot's module-level scratch.

#include <windows.h>

#include "util/scoped_file_handle.h"

namespace tarvish {

// Writes a whole snapshot file for the crash. Contains its own faults; the
// file is closed on every path, a faulted one keeping what was written.
void WriteSnapshot(EXCEPTION_POINTERS* exceptionPointers);

// Creates the file (temp directory, else the current directory) into
// `file` and writes the header. False when no file was created.
bool OpenSnapshotFile(ScopedFileHandle& file);

// Appends the records of the crash to an open snapshot file.
void WriteSnapshotRecords(EXCEPTION_POINTERS* exceptionPointers, HANDLE file);

}  // namespace tarvish
