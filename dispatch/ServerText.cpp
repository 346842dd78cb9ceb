#include "ServerText.h"

#include "Error.h"

ServerAddress parseServerText(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {text, 25};

    const QString portText = text.mid(colon + 1);
    const bool digitsOnly = !portText.isEmpty() && std::all_of(portText.cbegin(), portText.cend(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    bool ok = false;
    const uint port = digitsOnly ? portText.toUInt(&ok) : 0;
    if (!ok || port < 1 || port > 65535)
        throw Error(QStringLiteral("SMTP服务器“%1”的端口无效：端口应是 1 到 65535 之间的数字").arg(text));
    return {text.left(colon), quint16(port)};
}
