#include "mail/IdCharsets.h"

#include "mail/IdException.h"

#include <cerrno>
#include <iconv.h>

namespace {

iconv_t handle(void *cd)
{
    return static_cast<iconv_t>(cd);
}

bool isOpen(void *cd)
{
    return cd != reinterpret_cast<void *>(iconv_t(-1));
}

} // namespace

IdHeaderCharset IdHeaderCharsetFor(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        if (locale.territory() == QLocale::China)
            return {QStringLiteral("GB2312"), "CP936"};
        return {QStringLiteral("Big5"), "CP950"};
    case QLocale::Japanese:
        return {QStringLiteral("ISO-2022-JP"), "ISO-2022-JP"};
    case QLocale::Korean:
        return {QStringLiteral("csEUCKR"), "CP949"};
    case QLocale::Russian:
        return {QStringLiteral("KOI8-R"), "KOI8-R"};
    case QLocale::Ukrainian:
        return {QStringLiteral("windows-1251"), "CP1251"};
    default:
        return {QStringLiteral("UTF-8"), "UTF-8"};
    }
}

QLocale IdProcessLocale()
{
    static const QLocale locale = QLocale::system();
    return locale;
}

IdCharsetEncoder::IdCharsetEncoder(const IdHeaderCharset &charset)
    : m_charset(charset)
    , m_stateful(charset.Converter.startsWith("ISO-2022"))
    , m_cd(iconv_open(charset.Converter.constData(), "UTF-8"))
{
    if (!isOpen(m_cd))
        throw EIdException(QStringLiteral("Could not encode header data using charset \"%1\"").arg(charset.Label));
}

IdCharsetEncoder::~IdCharsetEncoder()
{
    iconv_close(handle(m_cd));
}

void IdCharsetEncoder::convertCodePoint(char32_t codePoint, QByteArray &out) const
{
    char in[4];
    size_t inLength = 0;
    if (codePoint < 0x80) {
        in[inLength++] = char(codePoint);
    } else if (codePoint < 0x800) {
        in[inLength++] = char(0xC0 | (codePoint >> 6));
        in[inLength++] = char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        in[inLength++] = char(0xE0 | (codePoint >> 12));
        in[inLength++] = char(0x80 | ((codePoint >> 6) & 0x3F));
        in[inLength++] = char(0x80 | (codePoint & 0x3F));
    } else {
        in[inLength++] = char(0xF0 | (codePoint >> 18));
        in[inLength++] = char(0x80 | ((codePoint >> 12) & 0x3F));
        in[inLength++] = char(0x80 | ((codePoint >> 6) & 0x3F));
        in[inLength++] = char(0x80 | (codePoint & 0x3F));
    }
    char *inPtr = in;
    size_t inLeft = inLength;
    char buffer[16];
    char *outPtr = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(handle(m_cd), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) {
        // Not representable: a "?" in its place, through the converter so that a shifted
        // charset first shifts back.
        char question[] = "?";
        inPtr = question;
        inLeft = 1;
        outPtr = buffer;
        outLeft = sizeof buffer;
        iconv(handle(m_cd), &inPtr, &inLeft, &outPtr, &outLeft);
    }
    out.append(buffer, outPtr - buffer);
}

QByteArray IdCharsetEncoder::encode(QStringView text) const
{
    QByteArray out;
    out.reserve(text.size() * 2);
    iconv(handle(m_cd), nullptr, nullptr, nullptr, nullptr);
    for (const char32_t codePoint : text.toUcs4())
        convertCodePoint(codePoint, out);
    char buffer[16];
    char *outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(handle(m_cd), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    return out;
}

bool IdCanConvertCharset(const QString &name)
{
    const QByteArray latin = name.toLatin1();
    const iconv_t cd = iconv_open("UTF-8", latin.constData());
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}
