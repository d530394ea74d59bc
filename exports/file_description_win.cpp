#include "exports/installer_exports.h"

namespace tarvish {

// Stub until the file description query lands.
const char* GetFileDescription(const char*) { return ""; }

}  // namespace tarvish
