#pragma once
// A kernel handle whose failure value is null (threads, processes, file
// mappings: what CreateThread, CreateProcessA's PROCESS_INFORMATION,
// OpenProcess and CreateFileMappingA give), closed with CloseHandle. Handles
// that fail with INVALID_HANDLE_VALUE belong in ScopedFileHandle.
//
// Windows builds only.

#include <windows.h>

#include "util/scoped_resource.h"

namespace tarvish {

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { CloseHandle(handle); }
};
using ScopedHandle = UniqueResource<KernelHandleTraits>;

}  // namespace tarvish
