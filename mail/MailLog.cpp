#include "MailLog.h"

Q_LOGGING_CATEGORY(mailLog, "quillon.mail", QtWarningMsg)
