#pragma once

#include "Utf8.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// How characters become bytes on the wire. Without an encoding given, text goes out as 7-bit ASCII,
// every character above 127 becoming "?".
enum class TextEncoding { Ascii, Utf8, Latin1 };

// The three line-output operations the message writer needs. The SMTP connection implements them on
// its socket; tests use an in-memory sink that behaves the same.
class LineSink
{
public:
    virtual ~LineSink() = default;

    // Block write: every line followed by CR LF, all handed over as one write.
    virtual void writeBlock(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii) = 0;
    // One line followed by CR LF, written at once.
    virtual void writeLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii) = 0;
    // Bytes already as they go on the wire (whole lines with their CR LF, none beginning with "."),
    // handed over as they are: a sink keeps a shared copy rather than copying them.
    virtual void writeBytes(const QByteArray &bytes) = 0;

    // As writeLine, with one more "." in front of a line that begins with "." (RFC 5321 transparency).
    void writeDotStuffedLine(QStringView line, TextEncoding encoding = TextEncoding::Ascii)
    {
        if (!line.startsWith(u'.')) {
            writeLine(line, encoding);
            return;
        }
        QString stuffed;
        stuffed.reserve(line.size() + 1);
        stuffed += u'.';
        stuffed += line;
        writeLine(stuffed, encoding);
    }

    // The bytes of one line, CR LF included.
    static QByteArray encodeLine(QStringView line, TextEncoding encoding)
    {
        QByteArray bytes;
        appendLine(bytes, line, encoding);
        return bytes;
    }

    // The same bytes appended to out, without a buffer of their own: the message text is written
    // line by line into one buffer.
    static void appendLine(QByteArray &out, QStringView line, TextEncoding encoding)
    {
        switch (encoding) {
        case TextEncoding::Utf8: appendUtf8(out, line); break;
        case TextEncoding::Ascii:
        case TextEncoding::Latin1: {
            const char16_t limit = encoding == TextEncoding::Ascii ? 127 : 255;
            const qsizetype had = out.size();
            out.resize(had + line.size());
            char *to = out.data() + had;
            const char16_t *const text = line.utf16();
            for (qsizetype i = 0; i < line.size(); ++i) {
                const char16_t c = text[i];
                if (c <= limit) {
                    *to++ = char(c);
                    continue;
                }
                // A character outside the BMP is one character: one "?", not one per UTF-16 unit.
                if (QChar::isHighSurrogate(c) && i + 1 < line.size() && QChar::isLowSurrogate(text[i + 1]))
                    ++i;
                *to++ = '?';
            }
            out.truncate(to - out.data());
            break;
        }
        }
        out.append("\r\n", 2);
    }
};
