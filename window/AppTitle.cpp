#include "AppTitle.h"

namespace boxes {

QString applicationTitleFor(const QString &programPath)
{
    const qsizetype slash = programPath.lastIndexOf(QLatin1Char('/'));
    QString name = programPath.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

} // namespace boxes
