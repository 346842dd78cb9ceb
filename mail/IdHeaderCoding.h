#pragma once

#include "mail/IdCharsets.h"
#include "mail/IdEMailAddress.h"

#include <QString>
#include <QStringView>

// The special characters that make a word of a display name need encoding.
inline constexpr QStringView IdNameSpecials = u"()[]<>:;.,@\\\"";

// Header text with every run of words that are not plain printable ASCII (or hold one of the
// specials) written as RFC 2047 "B" encoded words in the encoder's charset. The words of one run
// are joined by CR LF SPACE, each at most 75 characters and made of whole characters.
QString EncodeHeader(const QString &text, QStringView specials, const IdCharsetEncoder &encoder);

// An address as it stands in a header: the address alone, or the display name (quoted, or
// encoded when it holds anything but printable ASCII), a blank and the address in angle brackets.
QString EncodeAddressItem(const TIdEMailAddressItem &item, const IdCharsetEncoder &encoder);
// The items joined by ", ".
QString EncodeAddressList(const TIdEMailAddressList &list, const IdCharsetEncoder &encoder);

// Every CR and LF replaced by a blank, so that no text can start a header line of its own.
QString IdSingleLine(QString text);
