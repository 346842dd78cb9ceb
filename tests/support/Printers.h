#pragma once

// Readable failure output for Qt values in GoogleTest assertions.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toUtf8().toStdString() << '"';
}

inline void PrintTo(const QByteArray &b, std::ostream *os)
{
    *os << '"' << b.toStdString() << '"';
}

inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '[';
    for (qsizetype i = 0; i < l.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(l.at(i), os);
    }
    *os << ']';
}
