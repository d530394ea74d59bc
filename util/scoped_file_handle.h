#pragma once
// A handle whose failure value is INVALID_HANDLE_VALUE (CreateFileA,
// CreateToolhelp32Snapshot), closed with CloseHandle. Handles whose failure
// value is null (threads, mappings, processes) belong in ScopedHandle.
//
// Windows builds only.

#include <windows.h>

#include "util/scoped_resource.h"

namespace tarvish {

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { CloseHandle(handle); }
};
using ScopedFileHandle = UniqueResource<FileHandleTraits>;

}  // namespace tarvish
