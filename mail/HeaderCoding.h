#pragma once

#include "Charsets.h"
#include "MailAddress.h"

#include <QString>
#include <QStringView>

// The special characters that make a word of a display name need encoding.
inline constexpr QStringView nameSpecials = u"()[]<>:;.,@\\\"";

// Header text with every run of words that are not plain printable ASCII (or hold one of the
// specials) written as RFC 2047 "B" encoded words in the encoder's charset. The words of one run
// are joined by CR LF SPACE, each at most 75 characters and made of whole characters.
QString encodeHeader(const QString &text, QStringView specials, const CharsetEncoder &encoder);

// An address as it stands in a header: the address alone, or the display name (quoted, or
// encoded when it holds anything but printable ASCII), a blank and the address in angle brackets.
QString encodeAddress(const MailAddress &item, const CharsetEncoder &encoder);
// The items joined by ", ".
QString encodeAddressList(const MailAddressList &list, const CharsetEncoder &encoder);

// Every CR and LF replaced by a blank, so that no text can start a header line of its own.
QString singleLine(QString text);
