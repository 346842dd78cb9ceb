#include "DbLog.h"

Q_LOGGING_CATEGORY(dbLog, "quillon.db", QtWarningMsg)
