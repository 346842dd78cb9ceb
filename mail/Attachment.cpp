#include "Attachment.h"

#include "BodyCoding.h"
#include "HeaderCoding.h"

#include <QCryptographicHash>
#include <QMimeDatabase>

#include <algorithm>

namespace {

// RFC 2231 continuations keep each piece of a long name short enough for the header to fold
// between them.
constexpr qsizetype kNameSegment = 60;

// The name as RFC 2231 gives it to current readers: UTF-8, percent-encoded, split into numbered
// pieces when long, a "%XX" never cut.
QString extendedParameter(const QString &attribute, const QString &name)
{
    const QByteArray encoded = name.toUtf8().toPercentEncoding();
    if (encoded.size() <= kNameSegment)
        return attribute + QLatin1String("*=UTF-8''") + QString::fromLatin1(encoded);
    QStringList pieces;
    for (qsizetype at = 0; at < encoded.size();) {
        qsizetype end = std::min(at + kNameSegment, encoded.size());
        if (end < encoded.size()) {
            if (encoded.at(end - 1) == '%')
                end -= 1;
            else if (encoded.at(end - 2) == '%')
                end -= 2;
        }
        pieces.append(attribute + u'*' + QString::number(pieces.size()) + u'*' + u'='
                      + (pieces.isEmpty() ? QLatin1String("UTF-8''") : QLatin1String())
                      + QString::fromLatin1(encoded.mid(at, end - at)));
        at = end;
    }
    return pieces.join(QLatin1String("; "));
}

} // namespace

Attachment::Attachment(const QString &fileName, const QByteArray &content)
    : m_fileName(singleLine(fileName))
    , m_mimeType(QStringLiteral("application/octet-stream"))
    , m_size(content.size())
    , m_encodedLines(base64CrLfLines(content))
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(m_fileName, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault())
        m_mimeType = type.name();
}

HeaderList Attachment::partHeaders(const CharsetEncoder &encoder) const
{
    QString type = m_mimeType;
    QString disposition = QStringLiteral("attachment");
    if (!m_fileName.isEmpty()) {
        // Inside quotes a reader takes every character as it stands except the quote and the
        // backslash: a word holding either goes into an encoded word with the words that need one.
        const QString quoted = u'"' + encodeHeader(m_fileName, u"\"\\", encoder) + u'"';
        type += QLatin1String("; name=") + quoted;
        disposition += QLatin1String("; ") + extendedParameter(QStringLiteral("filename"), m_fileName)
                       + QLatin1String("; filename=") + quoted;
    }
    HeaderList headers;
    headers.appendValue(QStringLiteral("Content-Type"), type);
    headers.appendValue(QStringLiteral("Content-Disposition"), disposition);
    headers.appendValue(QStringLiteral("Content-Transfer-Encoding"), transferEncodingName(TransferEncoding::Base64));
    return headers;
}

QString multipartBoundary(const QString &seed, const QStringList &body)
{
    // A delimiter is a line that begins with "--" and the boundary. Base64 (the file, and the text
    // when it travels so) never holds "=_": "=" stands only at the end of the encoded text. The part
    // headers begin with a name or a blank. So only the text written as it is (7bit or 8bit) can
    // hold one, and only if typed on purpose: such a line rules out one candidate, and the next is
    // taken, so a text of n lines needs at most n + 1.
    for (quint32 candidate = 0;; ++candidate) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(seed.toUtf8());
        hash.addData(QByteArray::number(candidate));
        const QString boundary = QLatin1String("=_") + QString::fromLatin1(hash.result().toHex().left(32));
        const QString delimiter = QLatin1String("--") + boundary;
        bool clash = false;
        // The boundary is ASCII, which every body charset carries unchanged: a line begins with it
        // on the wire exactly when its text does.
        forEachBodyLine(body, [&](QStringView line) { clash = clash || line.startsWith(delimiter); });
        if (!clash)
            return boundary;
    }
}
