#include "DispatchLog.h"

Q_LOGGING_CATEGORY(dispatchLog, "quillon.dispatch", QtWarningMsg)
