#pragma once

#include <QLoggingCategory>

// The dispatch subsystem's trace, off by default: QT_LOGGING_RULES="quillon.dispatch.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(dispatchLog)
