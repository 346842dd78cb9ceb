#pragma once

#include "LineSink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// How the body travels in the DATA text (RFC 2045 section 6).
enum class TransferEncoding { SevenBit, EightBit, Base64 };

// The body as lines: every item divided at each CR LF, lone CR and lone LF; the text after the
// last break, even when empty, is a line too. NUL characters are left out; other controls stay.
QStringList bodyLines(const QStringList &body);

// The body's charset as the line writer knows it: anything but UTF-8 or ASCII goes out as Latin-1.
TextEncoding bodyTextEncoding(const QString &charSet);
// The charset parameter of the body's Content-Type for those bytes.
QString bodyCharsetLabel(TextEncoding encoding);

// As they are when every line is ASCII of at most 998 octets (7bit); as 8-bit data when the server
// takes it (8BITMIME) and every line still fits; base64 otherwise. A NUL is allowed in neither 7bit
// nor 8bit data.
TransferEncoding chooseTransferEncoding(const QStringList &lines, TextEncoding encoding, bool eightBitMime);
// The same choice for the body as chooseTransferEncoding(bodyLines(body), ...) makes, in one pass over
// the text, without making the lines or their bytes.
TransferEncoding chooseBodyTransferEncoding(const QStringList &body, TextEncoding encoding, bool eightBitMime);
// The Content-Transfer-Encoding value: "7bit", "8bit" or "base64".
QString transferEncodingName(TransferEncoding transfer);

// Base64 of the bytes in lines of 76 characters.
QStringList base64Lines(const QByteArray &bytes);
