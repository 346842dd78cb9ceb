#pragma once

#include <QLoggingCategory>

// The db subsystem's trace, off by default: QT_LOGGING_RULES="quillon.db.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(dbLog)
