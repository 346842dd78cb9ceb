#include "BodyCoding.h"

#include <algorithm>

namespace {

// RFC 5322 section 2.1.1, and RFC 2045 sections 2.7 and 2.8 for 7bit and 8bit data.
constexpr qsizetype kMaxLineOctets = 998;
constexpr qsizetype kBase64LineLength = 76;

} // namespace

QStringList bodyLines(const QStringList &body)
{
    QStringList lines;
    for (QString item : body) {
        // NUL is no character of a message's text (RFC 5322 3.5); a reader would cut the text there.
        item.remove(QChar(0));
        qsizetype start = 0;
        for (qsizetype i = 0; i < item.size(); ++i) {
            const QChar c = item.at(i);
            if (c != u'\r' && c != u'\n')
                continue;
            lines.append(item.mid(start, i - start));
            if (c == u'\r' && i + 1 < item.size() && item.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
        lines.append(item.mid(start));
    }
    return lines;
}

TextEncoding bodyTextEncoding(const QString &charSet)
{
    if (charSet.compare(u"utf-8", Qt::CaseInsensitive) == 0 || charSet.compare(u"utf8", Qt::CaseInsensitive) == 0)
        return TextEncoding::Utf8;
    if (charSet.compare(u"us-ascii", Qt::CaseInsensitive) == 0)
        return TextEncoding::Ascii;
    return TextEncoding::Latin1;
}

QString bodyCharsetLabel(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8: return QStringLiteral("UTF-8");
    case TextEncoding::Ascii: return QStringLiteral("US-ASCII");
    case TextEncoding::Latin1: break;
    }
    return QStringLiteral("ISO-8859-1");
}

TransferEncoding chooseTransferEncoding(const QStringList &lines, TextEncoding encoding, bool eightBitMime)
{
    bool ascii = true;
    for (const QString &line : lines) {
        const QByteArray bytes = LineSink::encodeLine(line, encoding);
        const QByteArrayView octets = QByteArrayView(bytes).chopped(2);
        if (octets.size() > kMaxLineOctets || octets.contains('\0'))
            return TransferEncoding::Base64;
        if (ascii)
            ascii = std::all_of(octets.begin(), octets.end(), [](char b) { return uchar(b) < 0x80; });
    }
    if (ascii)
        return TransferEncoding::SevenBit;
    return eightBitMime ? TransferEncoding::EightBit : TransferEncoding::Base64;
}

QString transferEncodingName(TransferEncoding transfer)
{
    switch (transfer) {
    case TransferEncoding::SevenBit: return QStringLiteral("7bit");
    case TransferEncoding::EightBit: return QStringLiteral("8bit");
    case TransferEncoding::Base64: break;
    }
    return QStringLiteral("base64");
}

QStringList base64Lines(const QByteArray &bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QStringList lines;
    lines.reserve(encoded.size() / kBase64LineLength + 1);
    for (qsizetype i = 0; i < encoded.size(); i += kBase64LineLength)
        lines.append(QString::fromLatin1(encoded.mid(i, kBase64LineLength)));
    return lines;
}
