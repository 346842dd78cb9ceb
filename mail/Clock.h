#pragma once

#include <QDateTime>
#include <QString>

// Where the present moment comes from, so that the Date line can be made exact in tests.
class Clock
{
public:
    virtual ~Clock() = default;
    // The local date and time with the offset from UTC in force at that moment; an invalid
    // value when the local time zone cannot be read.
    virtual QDateTime now() const = 0;
};

// The computer's clock and time zone (daylight saving time included).
const Clock &systemClock();

// The Date value of a moment: "Mon, 3 Sep 2012 14:05:09 +0800", English names whatever the locale.
// Raises MailError "Failed attempting to retrieve time zone information." for an invalid moment.
QString dateHeaderValue(const QDateTime &moment);
