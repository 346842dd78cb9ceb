#include "MessageId.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>

#include <atomic>

namespace {

// A domain as the right side of a Message-ID may hold it: dot-separated atoms of ASCII letters,
// digits and the other characters RFC 5322 allows in an atom.
QString usableDomain(const QString &text)
{
    static const QRegularExpression dotAtom(
        QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(\\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)*$"));
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QString domain = ascii ? text : QString::fromLatin1(QUrl::toAce(text));
    return dotAtom.match(domain).hasMatch() ? domain : QString();
}

} // namespace

QString messageIdDomain(const QString &senderAddress)
{
    const QString address = senderAddress.trimmed();
    const qsizetype at = address.lastIndexOf(u'@');
    if (at >= 0) {
        const QString domain = usableDomain(address.mid(at + 1));
        if (!domain.isEmpty())
            return domain;
    }
    const QString host = usableDomain(QSysInfo::machineHostName());
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

QString makeMessageId(const QString &senderAddress, const QDateTime &moment)
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("<%1.%2.%3.%4@%5>")
        .arg(moment.toUTC().toString(QStringLiteral("yyyyMMddHHmmss")))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'))
        .arg(messageIdDomain(senderAddress));
}
