#pragma once

#include <QLoggingCategory>

// The window subsystem's trace, off by default: QT_LOGGING_RULES="quillon.window.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(windowLog)
