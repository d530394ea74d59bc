#include "exports/installer_exports.h"

namespace tarvish {

// Stub until the icon cache rebuild lands.
int ForceIconCacheRebuild() { return 0; }

}  // namespace tarvish
