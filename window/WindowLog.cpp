#include "WindowLog.h"

Q_LOGGING_CATEGORY(windowLog, "quillon.window", QtWarningMsg)
