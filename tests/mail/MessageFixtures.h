#pragma once

#include "Clock.h"
#include "MailMessage.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

// A clock that always tells the same moment.
class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime moment)
        : m_moment(std::move(moment))
    {
    }
    QDateTime now() const override { return m_moment; }

private:
    QDateTime m_moment;
};

// 3 September 2012, 14:05:09, eight hours east of UTC.
inline QDateTime sampleMoment(int offsetSeconds = 8 * 3600)
{
    return QDateTime(QDate(2012, 9, 3), QTime(14, 5, 9), Qt::OffsetFromUTC, offsetSeconds);
}

inline QLocale chinaLocale()
{
    return QLocale(QLocale::Chinese, QLocale::China);
}
