#pragma once

#include "SingleInstance.h"

namespace app {

// The single-instance step of start-up: when another instance holds the guard, says so in a
// message box (and on the standard error, for a start from a terminal or a script) and gives true;
// the caller then ends with SecondInstanceStatus, touching nothing.
bool refuseSecondInstance(SingleInstanceGuard &guard);

// The exit status of a start refused because another instance runs: not 0, so that a script
// starting the program can tell.
constexpr int SecondInstanceStatus = 3;

// Whether a window can be shown: a platform was chosen (QT_QPA_PLATFORM other than an X11 or
// Wayland one), or an X11 or Wayland display is set. Without one Qt would abort at start.
bool displayAvailable();

// The one line a start without a display prints before it ends with status 1.
QString noDisplayText();

} // namespace app
