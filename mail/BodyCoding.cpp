#include "BodyCoding.h"

#include <algorithm>

namespace {

// RFC 5322 section 2.1.1, and RFC 2045 sections 2.7 and 2.8 for 7bit and 8bit data.
constexpr qsizetype kMaxLineOctets = 998;
constexpr qsizetype kBase64LineLength = 76;

} // namespace

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

namespace {

// The octets of the body's lines in one encoding: each line's length checked, and whether any is
// 8-bit. Returns false at the first line too long for 7bit or 8bit data.
template <TextEncoding encoding> bool scanBody(const QStringList &body, bool &eightBit)
{
    for (const QString &item : body) {
        const char16_t *const text = QStringView(item).utf16();
        const qsizetype size = item.size();
        qsizetype octets = 0;
        bool afterCr = false;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t c = text[i];
            // Most characters: no control, no surrogate.
            if (c >= 0x20 && c < 0xD800) {
                afterCr = false;
                if constexpr (encoding == TextEncoding::Utf8) {
                    octets += 1 + (c >= 0x80) + (c >= 0x800);
                    eightBit = eightBit || c >= 0x80;
                } else {
                    ++octets;
                    if constexpr (encoding == TextEncoding::Latin1)
                        eightBit = eightBit || (c >= 0x80 && c <= 0xFF);
                }
                continue;
            }
            // NUL is dropped from the text, so it neither counts nor parts a CR from its LF.
            if (c == 0)
                continue;
            const bool crLf = c == u'\n' && afterCr;
            afterCr = c == u'\r';
            if (crLf)
                continue;
            if (c == u'\r' || c == u'\n') {
                if (octets > kMaxLineOctets)
                    return false;
                octets = 0;
                continue;
            }
            if (!QChar::isSurrogate(c)) {
                // Another control, or a character from U+E000 on.
                if constexpr (encoding == TextEncoding::Utf8) {
                    octets += c < 0x80 ? 1 : 3;
                    eightBit = eightBit || c >= 0x80;
                } else {
                    ++octets;
                }
                continue;
            }
            qsizetype after = i + 1;
            while (after < size && text[after] == 0)
                ++after;
            if (QChar::isHighSurrogate(c) && after < size && QChar::isLowSurrogate(text[after])) {
                // A pair: four bytes of UTF-8, or one "?".
                if constexpr (encoding == TextEncoding::Utf8) {
                    octets += 4;
                    eightBit = true;
                } else {
                    ++octets;
                }
                i = after;
                continue;
            }
            // A surrogate without its partner: "?" in every encoding.
            ++octets;
        }
        if (octets > kMaxLineOctets)
            return false;
    }
    return true;
}

} // namespace

TransferEncoding chooseBodyTransferEncoding(const QStringList &body, TextEncoding encoding, bool eightBitMime)
{
    bool eightBit = false;
    bool fits = false;
    switch (encoding) {
    case TextEncoding::Ascii: fits = scanBody<TextEncoding::Ascii>(body, eightBit); break;
    case TextEncoding::Utf8: fits = scanBody<TextEncoding::Utf8>(body, eightBit); break;
    case TextEncoding::Latin1: fits = scanBody<TextEncoding::Latin1>(body, eightBit); break;
    }
    if (!fits)
        return TransferEncoding::Base64;
    if (!eightBit)
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

QByteArray base64CrLfLines(const QByteArray &bytes)
{
    // Whole lines' worth of input per block: 57 bytes make 76 characters.
    constexpr qsizetype kLineInput = kBase64LineLength / 4 * 3;
    constexpr qsizetype kBlockInput = kLineInput * 1024;
    QByteArray lines;
    lines.reserve((bytes.size() + kLineInput - 1) / kLineInput * (kBase64LineLength + 2));
    for (qsizetype at = 0; at < bytes.size(); at += kBlockInput) {
        const QByteArray block
            = QByteArray::fromRawData(bytes.constData() + at, std::min(kBlockInput, bytes.size() - at)).toBase64();
        for (qsizetype i = 0; i < block.size(); i += kBase64LineLength) {
            lines.append(block.constData() + i, std::min(kBase64LineLength, block.size() - i));
            lines.append("\r\n", 2);
        }
    }
    return lines;
}
