#include "exports/installer_exports.h"

namespace tarvish {

// Stub until the shortcut check lands.
int CheckShortCutAndUpdateIfNecessary(const char*, char*, const char*, const char*) { return 3; }

}  // namespace tarvish
