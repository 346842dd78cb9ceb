#pragma once

#include "LineSink.h"

#include <QByteArray>
#include <QList>

// A line sink that keeps the bytes in memory, one entry per write, for tests and benchmarks.
class MemorySink : public LineSink
{
public:
    void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) override
    {
        QByteArray block;
        for (const QString &line : lines)
            block += encodeLine(line, encoding);
        writes.append(block);
    }

    void writeLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii) override
    {
        writes.append(encodeLine(line, encoding));
    }

    void writeBytes(const QByteArray &bytes) override { writes.append(bytes); }

    QByteArray bytes() const { return writes.join(); }

    QList<QByteArray> writes;
};
