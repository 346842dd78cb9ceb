#pragma once

#include "LineSink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

// How the body travels in the DATA text (RFC 2045 section 6).
enum class TransferEncoding { SevenBit, EightBit, Base64 };

// Calls take with each line of the body in turn: every item divided at each CR LF, lone CR and lone
// LF; the text after the last break, even when empty, is a line too. NUL characters are left out;
// other controls stay. Each line is a view into the item (or into a copy of it without its NULs)
// that lasts for the call: the writer needs no line of its own.
template <typename Take> void forEachBodyLine(const QStringList &body, Take take)
{
    for (QString item : body) {
        // NUL is no character of a message's text (RFC 5322 3.5); a reader would cut the text there.
        if (item.contains(QChar(0)))
            item.remove(QChar(0));
        const QStringView text(item);
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c != u'\r' && c != u'\n')
                continue;
            take(text.sliced(start, i - start));
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
        take(text.sliced(start));
    }
}

// The body's charset as the line writer knows it: anything but UTF-8 or ASCII goes out as Latin-1.
TextEncoding bodyTextEncoding(const QString &charSet);
// The charset parameter of the body's Content-Type for those bytes.
QString bodyCharsetLabel(TextEncoding encoding);

// How the body's lines (forEachBodyLine) travel, in the encoding given: as they are when every line
// is ASCII of at most 998 octets (7bit); as 8-bit data when the server takes it (8BITMIME) and every
// line still fits; base64 otherwise. Decided in one pass over the text, without making the lines or
// their bytes.
TransferEncoding chooseBodyTransferEncoding(const QStringList &body, TextEncoding encoding, bool eightBitMime);
// The Content-Transfer-Encoding value: "7bit", "8bit" or "base64".
QString transferEncodingName(TransferEncoding transfer);

// Base64 of the bytes in lines of 76 characters, each ended by CR LF, encoded a block at a time so
// that a large file needs no second copy of its whole encoded text.
QByteArray base64CrLfLines(const QByteArray &bytes);
