#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The text of a local moment: the user's short date, one blank, the user's long time. The long
// time always has hours, minutes and seconds: the hour with a leading zero only where the region
// writes one, minutes and seconds as two digits, and on a 12-hour clock the region's morning or
// afternoon designator before or after the time, as the region places it.
QString DateTimeText(const QDateTime &moment, const QLocale &locale = QLocale::system());

// The long time alone, as DateTimeText writes it.
QString LongTimeText(const QTime &time, const QLocale &locale = QLocale::system());

// What a grid cell shows for a date and time: DateTimeText, without the time at exactly midnight.
QString GridDateTimeText(const QDateTime &moment, const QLocale &locale = QLocale::system());
