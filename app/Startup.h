#pragma once

#include "DatabaseLocation.h"
#include "SingleInstance.h"

#include <optional>

namespace app {

// The single-instance step of start-up: when another instance holds the guard, says so in a
// message box (and on the standard error, for a start from a terminal or a script) and gives true;
// the caller then ends with SecondInstanceStatus, touching nothing.
bool refuseSecondInstance(SingleInstanceGuard &guard);

// The exit status of a start refused because another instance runs: not 0, so that a script
// starting the program can tell.
constexpr int SecondInstanceStatus = 3;

// The database setting of this start: "--database URL" among the arguments, else "url" in the
// [database] section of quillon.ini in the working directory (beside db.mdb), else db.mdb. A
// setting the program cannot use is said in an error box (and on the standard error) and gives no
// location; the caller then ends with BadSettingStatus rather than fall back to db.mdb, which would
// quietly keep a second customer list.
std::optional<DatabaseLocation> chooseDatabase(const QStringList &arguments);

constexpr int BadSettingStatus = 4;

// Whether a window can be shown: a platform was chosen (QT_QPA_PLATFORM other than an X11 or
// Wayland one), or an X11 or Wayland display is set. Without one Qt would abort at start.
bool displayAvailable();

// The one line a start without a display prints before it ends with status 1.
QString noDisplayText();

} // namespace app
