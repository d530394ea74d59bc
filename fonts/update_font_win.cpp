#include "exports/installer_exports.h"

namespace tarvish {

// Stub until font installation lands.
int UpdateFont(const char*, const char*, const char*, const char*) { return 0; }

}  // namespace tarvish
