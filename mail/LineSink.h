#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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
    virtual void writeLine(const QString &line, TextEncoding encoding = TextEncoding::Ascii) = 0;

    // As writeLine, with one more "." in front of a line that begins with "." (RFC 5321 transparency).
    void writeDotStuffedLine(const QString &line, TextEncoding encoding = TextEncoding::Ascii)
    {
        writeLine(line.startsWith(QLatin1Char('.')) ? QLatin1Char('.') + line : line, encoding);
    }

    void writeDotStuffedLines(const QStringList &lines, TextEncoding encoding = TextEncoding::Ascii)
    {
        for (const QString &line : lines)
            writeDotStuffedLine(line, encoding);
    }

    // The bytes of one line, CR LF included.
    static QByteArray encodeLine(const QString &line, TextEncoding encoding)
    {
        QByteArray bytes;
        switch (encoding) {
        case TextEncoding::Utf8: bytes = line.toUtf8(); break;
        case TextEncoding::Ascii:
        case TextEncoding::Latin1: {
            const char16_t limit = encoding == TextEncoding::Ascii ? 127 : 255;
            // Written in place: base64 bodies make this the path of most of the bytes sent.
            bytes.resize(line.size() + 2);
            char *out = bytes.data();
            // A character outside the BMP is one character: one "?", not one per UTF-16 unit.
            for (qsizetype i = 0; i < line.size(); ++i) {
                const QChar c = line.at(i);
                if (c.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate())
                    ++i;
                *out++ = c.unicode() <= limit ? char(c.unicode()) : '?';
            }
            bytes.truncate(out - bytes.data());
            break;
        }
        }
        bytes.append("\r\n", 2);
        return bytes;
    }
};
