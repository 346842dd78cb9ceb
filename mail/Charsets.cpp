#include "Charsets.h"

#include "MailError.h"
#include "Utf8.h"

#include <iconv.h>

#include <algorithm>
#include <memory>
#include <vector>

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

HeaderCharset headerCharsetFor(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        if (locale.territory() == QLocale::China)
            return {QStringLiteral("GB2312"), "CP936"};
        return {QStringLiteral("Big5"), "CP950"};
    case QLocale::Japanese: return {QStringLiteral("ISO-2022-JP"), "ISO-2022-JP"};
    case QLocale::Korean: return {QStringLiteral("csEUCKR"), "CP949"};
    case QLocale::Russian: return {QStringLiteral("KOI8-R"), "KOI8-R"};
    case QLocale::Ukrainian: return {QStringLiteral("windows-1251"), "CP1251"};
    default: return {QStringLiteral("UTF-8"), "UTF-8"};
    }
}

QLocale processLocale()
{
    static const QLocale locale = QLocale::system();
    return locale;
}

CharsetEncoder::CharsetEncoder(const HeaderCharset &charset)
    : m_charset(charset)
    , m_stateful(charset.converter.startsWith("ISO-2022"))
    , m_identity(charset.converter == "UTF-8")
    , m_cd(iconv_open(charset.converter.constData(), "UTF-8"))
    , m_decoder(reinterpret_cast<void *>(iconv_t(-1)))
{
    if (!isOpen(m_cd))
        throw MailError(QStringLiteral("无法用字符集“%1”编码邮件头").arg(charset.label));
    m_decoder = iconv_open("UTF-8", charset.label.toLatin1().constData());
}

CharsetEncoder::~CharsetEncoder()
{
    iconv_close(handle(m_cd));
    if (isOpen(m_decoder))
        iconv_close(handle(m_decoder));
}

void CharsetEncoder::convertCharacter(const char *utf8, qsizetype length, QByteArray &out) const
{
    char *inPtr = const_cast<char *>(utf8);
    size_t inLeft = size_t(length);
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

QByteArray CharsetEncoder::encode(QStringView text) const
{
    const QByteArray utf8 = text.toUtf8();
    if (m_identity)
        return utf8;
    // Mostly the charset holds every character: then one call converts the whole text, to the same
    // bytes as one character at a time (the converter keeps its shift state between calls).
    {
        QByteArray whole(utf8.size() * 4 + 16, Qt::Uninitialized);
        char *inPtr = const_cast<char *>(utf8.constData());
        size_t inLeft = size_t(utf8.size());
        char *outPtr = whole.data();
        size_t outLeft = size_t(whole.size());
        iconv(handle(m_cd), nullptr, nullptr, nullptr, nullptr);
        if (iconv(handle(m_cd), &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1)
            && iconv(handle(m_cd), nullptr, nullptr, &outPtr, &outLeft) != size_t(-1)) {
            whole.truncate(outPtr - whole.data());
            return whole;
        }
    }
    // One character at a time, so that one the charset lacks becomes one "?". Qt's UTF-8 is well
    // formed: a lead byte tells the length of its character.
    QByteArray out;
    out.reserve(utf8.size());
    iconv(handle(m_cd), nullptr, nullptr, nullptr, nullptr);
    for (qsizetype i = 0; i < utf8.size();) {
        const uchar lead = uchar(utf8.at(i));
        const qsizetype length = qMin(lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4, utf8.size() - i);
        convertCharacter(utf8.constData() + i, length, out);
        i += length;
    }
    char buffer[16];
    char *outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(handle(m_cd), nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, outPtr - buffer);
    return out;
}

void CharsetEncoder::appendCharacter(QStringView character, QByteArray &out) const
{
    if (character.size() > 2) {
        out += encode(character);
        return;
    }
    // The character's UTF-8 as encode converts it, written at the end of out and taken off again
    // before the converted bytes go there.
    const qsizetype had = out.size();
    appendUtf8(out, character);
    if (m_identity)
        return;
    char utf8[8];
    const qsizetype length = out.size() - had;
    std::copy(out.cbegin() + had, out.cend(), utf8);
    out.truncate(had);

    char buffer[32];
    char *inPtr = utf8;
    size_t inLeft = size_t(length);
    char *outPtr = buffer;
    size_t outLeft = sizeof buffer;
    // A charset without shift states is in its initial state after every conversion: only a shifted
    // one needs the reset before and the return to the initial state after.
    if (m_stateful)
        iconv(handle(m_cd), nullptr, nullptr, nullptr, nullptr);
    if (iconv(handle(m_cd), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)
        || (m_stateful && iconv(handle(m_cd), nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))) {
        // A character the charset lacks: the "?" as encode writes it.
        out += encode(character);
        return;
    }
    out.append(buffer, outPtr - buffer);
}

bool CharsetEncoder::holds(QStringView text) const
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return true;
    if (!isOpen(m_decoder))
        return false;
    if (m_identity && m_charset.label.compare(u"UTF-8", Qt::CaseInsensitive) == 0) {
        // UTF-8 there and back gives every character again; only a surrogate without its partner
        // became "?".
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!text[i].isSurrogate())
                continue;
            if (!text[i].isHighSurrogate() || i + 1 == text.size() || !text[i + 1].isLowSurrogate())
                return false;
            ++i;
        }
        return true;
    }

    QByteArray bytes = encode(text);
    QByteArray decoded(bytes.size() * 4 + 16, Qt::Uninitialized);
    char *inPtr = bytes.data();
    size_t inLeft = size_t(bytes.size());
    char *outPtr = decoded.data();
    size_t outLeft = size_t(decoded.size());
    iconv(handle(m_decoder), nullptr, nullptr, nullptr, nullptr);
    if (iconv(handle(m_decoder), &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)
        || iconv(handle(m_decoder), nullptr, nullptr, &outPtr, &outLeft) == size_t(-1))
        return false;
    decoded.truncate(outPtr - decoded.data());
    return QString::fromUtf8(decoded) == text;
}

const CharsetEncoder &threadEncoder(const HeaderCharset &charset)
{
    // Every conversion starts from the initial state, so one encoder serves every message in turn.
    thread_local std::vector<std::unique_ptr<CharsetEncoder>> encoders;
    for (const auto &encoder : encoders) {
        if (encoder->charset() == charset)
            return *encoder;
    }
    encoders.push_back(std::make_unique<CharsetEncoder>(charset));
    return *encoders.back();
}

bool canConvertCharset(const QString &name)
{
    const QByteArray latin = name.toLatin1();
    const iconv_t cd = iconv_open("UTF-8", latin.constData());
    if (cd == iconv_t(-1))
        return false;
    iconv_close(cd);
    return true;
}
