#include "Stamp.h"

namespace stamp {

namespace {
const QString storedFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");
}

QString toText(const QDateTime &moment)
{
    return moment.toLocalTime().toString(storedFormat);
}

QDateTime fromText(const QString &text)
{
    static const QString forms[] = {
        storedFormat,
        QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
        QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd"),
    };
    const QString trimmed = text.trimmed();
    for (const QString &form : forms) {
        QDateTime moment = QDateTime::fromString(trimmed, form);
        if (moment.isValid())
            return moment;
    }
    return {};
}

QString now()
{
    return toText(QDateTime::currentDateTime());
}

QString engineNow()
{
    return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f','now','localtime')");
}

} // namespace stamp
