#pragma once

#include "SingleInstance.h"

namespace app {

// The single-instance step of start-up: when another instance holds the guard, says so in a
// message box and gives true (the caller then ends with status 0, touching nothing).
bool refuseSecondInstance(SingleInstanceGuard &guard);

} // namespace app
