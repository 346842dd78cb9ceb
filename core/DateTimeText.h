#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The text of a local moment: the user's short date, one blank, the user's long time. The long
// time always has hours, minutes and seconds: the hour with a leading zero only where the region
// writes one, minutes and seconds as two digits, and on a 12-hour clock the region's morning or
// afternoon designator before or after the time, as the region places it.
QString formatDateTime(const QDateTime &moment, const QLocale &locale = QLocale::system());

// The moment formatDateTime wrote in the same region; invalid when the text is not one (written in
// another region, say). A two-digit year is taken in this century or the last, whichever puts it
// nearer to `reference`.
QDateTime parseDateTime(const QString &text, const QLocale &locale = QLocale::system(),
                        const QDateTime &reference = QDateTime::currentDateTime());

// The long time alone, as formatDateTime writes it.
QString formatLongTime(const QTime &time, const QLocale &locale = QLocale::system());

// What a grid cell shows for a date and time: formatDateTime, without the time at exactly midnight.
QString formatGridDateTime(const QDateTime &moment, const QLocale &locale = QLocale::system());
