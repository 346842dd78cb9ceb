#include "Clock.h"

#include "MailError.h"

#include <cstdio>
#include <ctime>

namespace {

class SystemClock : public Clock
{
public:
    QDateTime now() const override
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        if (now == std::time_t(-1) || !localtime_r(&now, &local))
            return QDateTime();
        return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                         QTime(local.tm_hour, local.tm_min, qMin(local.tm_sec, 59)), Qt::OffsetFromUTC,
                         int(local.tm_gmtoff));
    }
};

} // namespace

const Clock &systemClock()
{
    static const SystemClock clock;
    return clock;
}

QString dateHeaderValue(const QDateTime &moment)
{
    if (!moment.isValid())
        throw MailError(QStringLiteral("无法取得时区信息，邮件的日期无法写出"));

    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate date = moment.date();
    const QTime time = moment.time();
    const int offset = moment.offsetFromUtc();
    const int offsetMinutes = qAbs(offset) / 60;
    // The C library's formatting: Qt's costs several times as much, and this line is made for every message.
    char text[64];
    const int length
        = std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", days[date.dayOfWeek() - 1],
                        date.day(), months[date.month() - 1], date.year(), time.hour(), time.minute(), time.second(),
                        offset < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return QString::fromLatin1(text, qMin(length, int(sizeof text) - 1));
}
