#include "exports/installer_exports.h"

namespace tarvish {

// Stub until the crash handler lands.
void OnModuleDetach(bool) {}

}  // namespace tarvish
