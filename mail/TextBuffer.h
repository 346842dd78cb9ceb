#pragma once

#include "LineSink.h"

#include <QByteArray>
#include <QList>

// A line sink that gathers everything written, so a whole message text can go to the server in one
// write instead of one per line. Lines are gathered into one buffer; large bytes handed over whole
// (a file's encoded text, shared by every message of a run) stay a piece of their own, kept by
// reference, so a message with a file costs no copy of it.
class TextBuffer final : public LineSink
{
public:
    void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) override
    {
        QByteArray &into = open();
        for (const QString &line : lines)
            appendLine(into, line, encoding);
    }

    void writeLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii) override
    {
        appendLine(open(), line, encoding);
    }

    // Bytes under the limit are copied (cheaper than a write of their own); larger ones are kept
    // shared, their own piece.
    void writeBytes(const QByteArray &bytes) override
    {
        if (bytes.size() < kShareFrom) {
            open().append(bytes);
            return;
        }
        m_pieces.append(bytes);
        m_lastShared = true;
    }

    static constexpr qsizetype kShareFrom = 64 * 1024;

    // The text in order: one piece unless large bytes were handed over whole.
    const QList<QByteArray> &pieces() const { return m_pieces; }

private:
    // The piece lines are appended to: the last one, unless it is shared bytes.
    QByteArray &open()
    {
        if (m_pieces.isEmpty() || m_lastShared) {
            m_pieces.append(QByteArray());
            m_lastShared = false;
        }
        return m_pieces.last();
    }

    QList<QByteArray> m_pieces;
    bool m_lastShared = false;
};
