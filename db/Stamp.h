#pragma once

#include <QDateTime>
#include <QString>

// Date-and-time values are kept in the database as local time in ISO text with milliseconds,
// "2026-12-10 14:05:09.123": the date stamps of the views and the engine's `now` alike.
namespace stamp {

// The stored text of a moment, in local time.
QString toText(const QDateTime &moment);
// The moment a stored text stands for, local time; invalid when the text is not a date and time.
// Accepts the stored form with or without milliseconds, and with "T" between date and time.
QDateTime fromText(const QString &text);
// The stored text of the current local moment.
QString now();
// The engine's expression for its current local moment in the stored form.
QString engineNow();

} // namespace stamp
