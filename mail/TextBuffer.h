#pragma once

#include "LineSink.h"

#include <QByteArray>

// A line sink that gathers everything written into one buffer, so a whole message text can go to
// the server in one write instead of one per line.
class TextBuffer final : public LineSink
{
public:
    void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) override
    {
        for (const QString &line : lines)
            appendLine(m_bytes, line, encoding);
    }

    void writeLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii) override
    {
        appendLine(m_bytes, line, encoding);
    }

    QByteArray &bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};
