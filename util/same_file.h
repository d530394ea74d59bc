#pragma once
// Whether two paths name one file, told by the file system's identity of each
// (volume serial number and file index) rather than by the text of the paths:
// a UNC name and a mapped drive, a substituted drive, a link or an 8.3 name
// all lead to the same identity.

namespace tarvish {

enum class FileIdentity { Same, Different, Unknown };

// Both files are opened without access rights and with every sharing mode,
// and stay open while compared. Unknown when either cannot be opened or
// identified. Bound in same_file_win.cpp; Windows builds only.
FileIdentity CompareFileIdentity(const char* a, const char* b);

}  // namespace tarvish
