#include "HeaderCoding.h"

#include "SmtpReply.h"

#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace {

constexpr int kMaxEncodedWord = 75;

bool isWhitespaceByte(char b)
{
    return b == ' ' || b == '\t' || b == '\r' || b == '\n';
}

// Whether the text holds an encoded word this system would itself decode: then a "=" in plain
// text could be mistaken for the start of one.
bool holdsEncodedWord(const QString &text)
{
    static const QRegularExpression word(QStringLiteral("^=\\?([^?]+)\\?[BbQq8]\\?[^?]*\\?=$"));
    for (const QStringView token : QStringView(text).tokenize(u' ', Qt::SkipEmptyParts)) {
        if (!token.startsWith(u"=?"))
            continue;
        const QRegularExpressionMatch match = word.match(token.toString());
        if (match.hasMatch() && canConvertCharset(match.captured(1)))
            return true;
    }
    return false;
}

// The text converted character by character: where each character's bytes begin, so that runs
// of words can be cut into encoded words of whole characters.
class ConvertedText
{
public:
    ConvertedText(const QString &text, const CharsetEncoder &encoder)
    {
        m_sourceStart.reserve(text.size() + 1);
        m_byteStart.reserve(text.size() + 1);
        m_bytes.reserve(text.size() * 2);
        for (qsizetype i = 0; i < text.size(); ++i) {
            m_sourceStart.push_back(i);
            m_byteStart.push_back(m_bytes.size());
            const QChar c = text.at(i);
            // Every header charset carries ASCII unchanged.
            if (c.unicode() < 0x80) {
                m_bytes.append(char(c.unicode()));
                continue;
            }
            const qsizetype length
                = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
            encoder.appendCharacter(QStringView(text).mid(i, length), m_bytes);
            i += length - 1;
        }
        m_sourceStart.push_back(text.size());
        m_byteStart.push_back(m_bytes.size());
    }

    qsizetype count() const { return qsizetype(m_sourceStart.size()) - 1; }
    QByteArrayView bytes(qsizetype from, qsizetype to) const
    {
        return QByteArrayView(m_bytes).sliced(m_byteStart[from], m_byteStart[to] - m_byteStart[from]);
    }
    qsizetype sourceStart(qsizetype unit) const { return m_sourceStart[unit]; }
    bool isWhitespace(qsizetype unit) const
    {
        const QByteArrayView b = bytes(unit, unit + 1);
        return b.size() == 1 && isWhitespaceByte(b.at(0));
    }

private:
    std::vector<qsizetype> m_sourceStart;
    std::vector<qsizetype> m_byteStart;
    QByteArray m_bytes;
};

class HeaderEncoder
{
public:
    HeaderEncoder(const QString &text, QStringView specials, const CharsetEncoder &encoder)
        : m_text(text)
        , m_encoder(encoder)
        , m_converted(text, encoder)
        , m_equalsUnsafe(text.contains(QChar(0)) || holdsEncodedWord(text))
        , m_prefix(QStringLiteral("=?") + encoder.charset().label + QStringLiteral("?B?"))
        // The most bytes whose base64 form still fits an encoded word.
        , m_maxChunk((kMaxEncodedWord - m_prefix.size() - 2) / 4 * 3)
    {
        for (const QChar c : specials) {
            if (c.unicode() < 128)
                m_isSpecial[c.unicode()] = true;
        }
    }

    QString encode()
    {
        const qsizetype n = m_converted.count();
        qsizetype runStart = -1;
        qsizetype p = 0;
        while (p < n) {
            qsizetype r = p;
            while (r < n && m_converted.isWhitespace(r))
                ++r;
            qsizetype q = r;
            bool needsEncoding = false;
            for (; q < n && !m_converted.isWhitespace(q); ++q) {
                if (!needsEncoding)
                    needsEncoding = this->needsEncoding(q);
            }

            if (!needsEncoding) {
                if (runStart >= 0)
                    writeRun(runStart, p);
                runStart = -1;
                writePlain(p, q);
            } else if (runStart < 0) {
                writePlain(p, r);
                runStart = r;
            }
            p = q;
        }
        if (runStart >= 0)
            writeRun(runStart, n);
        return m_out;
    }

private:
    bool needsEncoding(qsizetype unit) const
    {
        for (const char b : m_converted.bytes(unit, unit + 1)) {
            const uchar u = uchar(b);
            if (u < 32 || u > 126 || (u == '=' && m_equalsUnsafe) || m_isSpecial[u])
                return true;
        }
        return false;
    }

    void writePlain(qsizetype from, qsizetype to) { m_out += QLatin1StringView(m_converted.bytes(from, to)); }

    // The bytes of the characters from one unit to another as one encoded word must hold them.
    QByteArray chunkBytes(qsizetype from, qsizetype to) const
    {
        if (m_encoder.isStateful()) {
            const qsizetype begin = m_converted.sourceStart(from);
            return m_encoder.encode(QStringView(m_text).mid(begin, m_converted.sourceStart(to) - begin));
        }
        return m_converted.bytes(from, to).toByteArray();
    }

    qsizetype chunkSize(qsizetype from, qsizetype to) const
    {
        return m_encoder.isStateful() ? chunkBytes(from, to).size() : m_converted.bytes(from, to).size();
    }

    void writeRun(qsizetype from, qsizetype to)
    {
        qsizetype chunkStart = from;
        while (chunkStart < to) {
            // At least one character, however many bytes it takes.
            qsizetype chunkEnd = chunkStart + 1;
            while (chunkEnd < to && chunkSize(chunkStart, chunkEnd + 1) <= m_maxChunk)
                ++chunkEnd;
            if (chunkStart > from)
                m_out += u"\r\n ";
            m_out += m_prefix;
            m_out += QLatin1StringView(chunkBytes(chunkStart, chunkEnd).toBase64());
            m_out += u"?=";
            chunkStart = chunkEnd;
        }
    }

    const QString &m_text;
    const CharsetEncoder &m_encoder;
    ConvertedText m_converted;
    bool m_equalsUnsafe;
    QString m_prefix;
    qsizetype m_maxChunk;
    bool m_isSpecial[128] = {};
    QString m_out;
};

bool needsEncodedName(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 32 || c.unicode() >= 127)
            return true;
    }
    return false;
}

QString quotedName(const QString &name)
{
    QString quoted;
    quoted.reserve(name.size() + 2);
    quoted += u'"';
    for (const QChar c : name) {
        if (c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

} // namespace

QString encodeHeader(const QString &text, QStringView specials, const CharsetEncoder &encoder)
{
    return HeaderEncoder(text, specials, encoder).encode();
}

QString encodeAddress(const MailAddress &item, const CharsetEncoder &encoder)
{
    // Blanks and line ends around an address are no part of it (the session leaves them out of its
    // commands too).
    const QString address = trimControls(item.address);
    if (item.name.isEmpty())
        return address;
    const QString name = singleLine(item.name);
    const QString namePart = needsEncodedName(name) ? encodeHeader(name, nameSpecials, encoder) : quotedName(name);
    return namePart + QStringLiteral(" <") + address + u'>';
}

QString encodeAddressList(const MailAddressList &list, const CharsetEncoder &encoder)
{
    QStringList values;
    values.reserve(list.count());
    for (const MailAddress &item : list)
        values.append(encodeAddress(item, encoder));
    return values.join(QStringLiteral(", "));
}

QString singleLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}
