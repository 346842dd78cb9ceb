#include "AppTitle.h"

namespace boxes {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

} // namespace boxes
