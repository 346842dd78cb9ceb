#pragma once

#include "SingleInstance.h"

namespace app {

// The single-instance step of start-up: when another instance holds the guard, says so in a
// message box and gives true (the caller then ends with status 0, touching nothing).
bool refuseSecondInstance(SingleInstanceGuard &guard);

// Whether a window can be shown: a platform was chosen (QT_QPA_PLATFORM other than an X11 or
// Wayland one), or an X11 or Wayland display is set. Without one Qt would abort at start.
bool displayAvailable();

// The one line a start without a display prints before it ends with status 1.
QString noDisplayText();

} // namespace app
