#pragma once

#include <QLoggingCategory>

// The spreadsheet subsystem's trace, off by default: QT_LOGGING_RULES="quillon.spreadsheet.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(spreadsheetLog)
