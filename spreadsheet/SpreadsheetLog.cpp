#include "SpreadsheetLog.h"

Q_LOGGING_CATEGORY(spreadsheetLog, "quillon.spreadsheet", QtWarningMsg)
