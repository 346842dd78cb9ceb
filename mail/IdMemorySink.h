#pragma once

#include "mail/LineSink.h"

#include <QByteArray>
#include <QList>

// A line sink that keeps the bytes in memory, one entry per write, for tests and benchmarks.
class IdMemorySink : public IdLineSink
{
public:
    void WriteBlock(const QStringList &lines, IdTextEncoding encoding = IdTextEncoding::Ascii) override
    {
        QByteArray block;
        for (const QString &line : lines)
            block += encodeLine(line, encoding);
        Writes.append(block);
    }

    void WriteLn(const QString &line, IdTextEncoding encoding = IdTextEncoding::Ascii) override
    {
        Writes.append(encodeLine(line, encoding));
    }

    QByteArray bytes() const { return Writes.join(); }

    QList<QByteArray> Writes;
};
