#include <windows.h>

#include "util/same_file.h"
#include "util/scoped_file_handle.h"

namespace tarvish {

namespace {

// No access rights and every sharing mode: the question must not fail for a
// file that someone else holds open.
ScopedFileHandle OpenToIdentify(const char* path) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  return ScopedFileHandle(
      CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

FileIdentity CompareFileIdentity(const char* a, const char* b) {
  // Both stay open while compared: a file index is only sure to name one
  // file while that file is open.
  const ScopedFileHandle fileA = OpenToIdentify(a);
  const ScopedFileHandle fileB = OpenToIdentify(b);
  BY_HANDLE_FILE_INFORMATION infoA = {}, infoB = {};
  if (!fileA || !fileB || !GetFileInformationByHandle(fileA.get(), &infoA) ||
      !GetFileInformationByHandle(fileB.get(), &infoB)) {
    return FileIdentity::Unknown;
  }
  const bool same = infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
                    infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
                    infoA.nFileIndexLow == infoB.nFileIndexLow;
  return same ? FileIdentity::Same : FileIdentity::Different;
}

}  // namespace tarvish
