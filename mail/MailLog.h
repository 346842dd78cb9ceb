#pragma once

#include <QLoggingCategory>

// The mail subsystem's trace, off by default: QT_LOGGING_RULES="quillon.mail.info=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(mailLog)
