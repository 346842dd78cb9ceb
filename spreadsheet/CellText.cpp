#include "CellText.h"

#include <QDate>
#include <QTime>

#include <array>
#include <charconv>
#include <cmath>

namespace celltext {

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // A sheet keeps 15 significant digits; rounding to them first turns 0.30000000000000004 back
    // into the 0.3 the user typed, and the shortest fixed form then never needs an exponent.
    std::array<char, 32> scientific{};
    const auto rounded = std::to_chars(scientific.data(), scientific.data() + scientific.size(), value,
                                       std::chars_format::scientific, 14);
    double shown = value;
    std::from_chars(scientific.data(), rounded.ptr, shown);
    if (shown == 0)
        shown = 0; // no "-0"
    std::array<char, 400> fixed{};
    const auto end = std::to_chars(fixed.data(), fixed.data() + fixed.size(), shown, std::chars_format::fixed);
    return QString::fromLatin1(fixed.data(), end.ptr - fixed.data());
}

namespace {

DateKind builtInKind(int id)
{
    switch (id) {
    case 14:
    case 15:
    case 16:
    case 17:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 36:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 57:
    case 58: return DateKind::Date;
    case 18:
    case 19:
    case 20:
    case 21:
    case 32:
    case 33:
    case 34:
    case 35:
    case 45:
    case 46:
    case 47:
    case 55:
    case 56: return DateKind::Time;
    case 22: return DateKind::DateTime;
    default: return DateKind::None;
    }
}

} // namespace

DateKind dateKindOfFormat(int numFmtId, const QString &formatCode)
{
    if (formatCode.isEmpty())
        return builtInKind(numFmtId);
    bool date = false;
    bool time = false;
    bool month = false; // "m" is a month unless it stands among hours and seconds
    // Only the first section (positive numbers) decides; quoted text, escaped characters, fill and
    // spacing characters and bracketed parts other than elapsed time are not tokens.
    for (qsizetype i = 0; i < formatCode.size(); ++i) {
        const QChar c = formatCode.at(i).toLower();
        const QChar next = i + 1 < formatCode.size() ? formatCode.at(i + 1) : QChar();
        if (c == u';') {
            break;
        } else if (c == u'"') {
            i = formatCode.indexOf(u'"', i + 1);
            if (i < 0)
                break;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype close = formatCode.indexOf(u']', i + 1);
            if (close < 0)
                break;
            // [h], [mm], [ss]: elapsed time; colours, conditions and locales are no tokens.
            const QString inside = formatCode.mid(i + 1, close - i - 1).toLower();
            if (!inside.isEmpty() && QStringLiteral("hms").contains(inside.at(0))
                && inside.count(inside.at(0)) == inside.size())
                time = true;
            i = close;
        } else if (formatCode.mid(i, 7).compare(u"General", Qt::CaseInsensitive) == 0) {
            i += 6;
        } else if (c == u'e' && (next == u'+' || next == u'-')) {
            ++i; // an exponent, "0.00E+00"
        } else if (formatCode.mid(i, 5).compare(u"AM/PM", Qt::CaseInsensitive) == 0) {
            time = true;
            i += 4;
        } else if (formatCode.mid(i, 3).compare(u"A/P", Qt::CaseInsensitive) == 0) {
            time = true;
            i += 2;
        } else if (c == u'y' || c == u'd' || c == u'e' || c == u'g' || c == u'b') {
            date = true; // "e" and "b" count years in other calendars, "g" the era
        } else if (c == u'h' || c == u's') {
            time = true;
        } else if (c == u'm') {
            month = true;
        }
    }
    if (month && !time)
        date = true;
    if (date && time)
        return DateKind::DateTime;
    if (date)
        return DateKind::Date;
    if (time)
        return DateKind::Time;
    return builtInKind(numFmtId);
}

QString serialDateText(double serial, DateKind kind, bool date1904)
{
    // 9999-12-31 is the last day a sheet can show.
    if (kind == DateKind::None || !(serial >= 0) || serial >= 2958466)
        return numberText(serial);
    auto seconds = static_cast<qint64>(std::llround(serial * 86400.0));
    qint64 days = seconds / 86400;
    seconds %= 86400;
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days);
    } else {
        // The 1900 system counts a 29 February 1900 that never was: serial 60. Days before it
        // count from 31 December 1899; that phantom day shows as the day before 1 March.
        date = days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
    }
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    switch (kind) {
    case DateKind::Date: return date.toString(u"yyyy-MM-dd");
    case DateKind::Time: return time.toString(u"HH:mm:ss");
    case DateKind::DateTime: return date.toString(u"yyyy-MM-dd") + u' ' + time.toString(u"HH:mm:ss");
    case DateKind::None: break;
    }
    return numberText(serial);
}

} // namespace celltext
