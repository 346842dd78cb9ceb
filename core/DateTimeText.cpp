#include "DateTimeText.h"

namespace {

// What the region's time format says about the parts of the long time. The short format is read:
// it names the hour, its leading zero and the designator like the long one, and its separator is
// the plain one between hours and minutes (long formats of some regions spell out units there).
struct LongTimeFormat
{
    bool twelveHour = false;
    bool leadingZero = false;
    bool designatorFirst = false;
    QString separator = QStringLiteral(":");
};

LongTimeFormat longTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    LongTimeFormat result;
    qsizetype hour = -1;
    qsizetype designator = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        // "B" is the region's day period ("上午"), written where the designator goes.
        if ((c == u'a' || c == u'A' || c == u'B') && designator < 0)
            designator = i;
        if ((c == u'h' || c == u'H') && hour < 0) {
            hour = i;
            qsizetype end = i;
            while (end < format.size() && format.at(end) == c)
                ++end;
            result.leadingZero = end - i >= 2;
            // The separator is whatever stands between the hour and the minutes.
            qsizetype minutes = end;
            while (minutes < format.size() && format.at(minutes) != u'm')
                ++minutes;
            if (minutes > end && minutes < format.size())
                result.separator = format.mid(end, minutes - end);
        }
    }
    result.twelveHour = designator >= 0;
    result.designatorFirst = designator >= 0 && hour >= 0 && designator < hour;
    return result;
}

QString twoDigits(const QLocale &locale, int value)
{
    return locale.toString(value).rightJustified(2, locale.zeroDigit().front());
}

} // namespace

QString formatLongTime(const QTime &time, const QLocale &locale)
{
    const LongTimeFormat format = longTimeFormat(locale);
    int hour = time.hour();
    if (format.twelveHour) {
        hour %= 12;
        if (hour == 0)
            hour = 12;
    }
    const QString text = (format.leadingZero ? twoDigits(locale, hour) : locale.toString(hour)) + format.separator
        + twoDigits(locale, time.minute()) + format.separator + twoDigits(locale, time.second());
    if (!format.twelveHour)
        return text;
    const QString designator = time.hour() < 12 ? locale.amText() : locale.pmText();
    return format.designatorFirst ? designator + u' ' + text : text + u' ' + designator;
}

QString formatDateTime(const QDateTime &moment, const QLocale &locale)
{
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' + formatLongTime(moment.time(), locale);
}

QString formatGridDateTime(const QDateTime &moment, const QLocale &locale)
{
    if (moment.time() == QTime(0, 0))
        return locale.toString(moment.date(), QLocale::ShortFormat);
    return formatDateTime(moment, locale);
}

QDateTime parseDateTime(const QString &text, const QLocale &locale, const QDateTime &reference)
{
    // The long time's own format, spelled as the writer above writes it; the separator quoted, as
    // some regions' are letters.
    const LongTimeFormat time = longTimeFormat(locale);
    QString separator = time.separator;
    separator.replace(QLatin1Char('\''), QStringLiteral("''"));
    const QString quoted = QLatin1Char('\'') + separator + QLatin1Char('\'');
    const QString hour(time.leadingZero ? 2 : 1, time.twelveHour ? QLatin1Char('h') : QLatin1Char('H'));
    QString timeFormat = hour + quoted + QStringLiteral("mm") + quoted + QStringLiteral("ss");
    if (time.twelveHour)
        timeFormat = time.designatorFirst ? QStringLiteral("AP ") + timeFormat : timeFormat + QStringLiteral(" AP");
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    QDateTime moment = locale.toDateTime(text, dateFormat + QLatin1Char(' ') + timeFormat);
    if (!moment.isValid())
        return moment;
    if (!dateFormat.contains(QStringLiteral("yyyy")) && dateFormat.contains(QStringLiteral("yy"))) {
        // Qt reads "yy" as 19yy.
        const QDateTime later = moment.addYears(100);
        if (qAbs(later.secsTo(reference)) < qAbs(moment.secsTo(reference)))
            moment = later;
    }
    return moment;
}
