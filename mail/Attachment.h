#pragma once

#include "Charsets.h"
#include "HeaderList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A file that goes with a message: its name, its MIME type and its content already in base64. It is
// made once for a whole run and shared by every message that carries it, so the file is encoded
// once and its encoded text exists once however many customers are mailed.
class Attachment
{
public:
    // The name is the file's name as readers show it (without folders); the MIME type comes from its
    // extension only, application/octet-stream when the extension says nothing.
    Attachment(const QString &fileName, const QByteArray &content);

    const QString &fileName() const { return m_fileName; }
    const QString &mimeType() const { return m_mimeType; }
    // The content's size in bytes before encoding.
    qsizetype size() const { return m_size; }
    // The content in base64, lines of 76 characters each ended by CR LF: the part's body as it goes
    // on the wire. No base64 line begins with ".", so none needs dot-stuffing.
    const QByteArray &encodedLines() const { return m_encodedLines; }

    // The file part's header lines: Content-Type with the name, Content-Disposition with the name in
    // RFC 2231 form and, for readers that know only that, in RFC 2047 words of the given charset,
    // and Content-Transfer-Encoding.
    HeaderList partHeaders(const CharsetEncoder &encoder) const;

private:
    QString m_fileName;
    QString m_mimeType;
    qsizetype m_size = 0;
    QByteArray m_encodedLines;
};

// The boundary between the parts of a message with a file: "=_" and hex digits derived from the
// seed (the Message-ID), taking the next candidate while a line of the text part would read as a
// delimiter.
QString multipartBoundary(const QString &seed, const QStringList &body);
