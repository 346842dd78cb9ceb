// The one-pass shortcuts the message writer takes give the bytes and choices of the plain way.
#include "BodyCoding.h"
#include "Charsets.h"
#include "Utf8.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

// The plain way: the body divided into lines, each line's bytes made and looked at.
QStringList bodyLines(const QStringList &body)
{
    QStringList lines;
    forEachBodyLine(body, [&lines](QStringView line) { lines.append(line.toString()); });
    return lines;
}

TransferEncoding chooseTransferEncoding(const QStringList &lines, TextEncoding encoding, bool eightBitMime)
{
    bool ascii = true;
    for (const QString &line : lines) {
        const QByteArray octets = LineSink::encodeLine(line, encoding).chopped(2);
        if (octets.size() > 998 || octets.contains('\0'))
            return TransferEncoding::Base64;
        if (ascii)
            ascii = std::all_of(octets.begin(), octets.end(), [](char b) { return uchar(b) < 0x80; });
    }
    if (ascii)
        return TransferEncoding::SevenBit;
    return eightBitMime ? TransferEncoding::EightBit : TransferEncoding::Base64;
}

QString units(std::initializer_list<char16_t> list)
{
    return QString(reinterpret_cast<const QChar *>(std::data(list)), qsizetype(list.size()));
}

const char16_t high = 0xD83D;
const char16_t low = 0xDE00;

struct BodyCase
{
    const char *what;
    QStringList body;
};

void PrintTo(const BodyCase &c, std::ostream *os)
{
    *os << c.what;
}

class BodyChoice : public testing::TestWithParam<BodyCase>
{
};

TEST_P(BodyChoice, IsTheChoiceForTheLines)
{
    const QStringList &body = GetParam().body;
    for (const TextEncoding encoding : {TextEncoding::Ascii, TextEncoding::Utf8, TextEncoding::Latin1}) {
        for (const bool eightBitMime : {false, true}) {
            EXPECT_EQ(chooseBodyTransferEncoding(body, encoding, eightBitMime),
                      chooseTransferEncoding(bodyLines(body), encoding, eightBitMime))
                << "encoding " << int(encoding) << ", 8BITMIME " << eightBitMime;
        }
    }
}

const QString chinese333 = QStringLiteral("新").repeated(333); // 999 octets of UTF-8
const QString chinese332 = QStringLiteral("新").repeated(332) + u'a'; // 997
const QString ascii998 = QString(998, u'a');

INSTANTIATE_TEST_SUITE_P(
    Lines, BodyChoice,
    testing::Values(
        BodyCase{"nothing", {}}, BodyCase{"one empty item", {QString()}},
        BodyCase{"ASCII over items and breaks", {QStringLiteral("a\r\nb\rc\nd"), QStringLiteral("e")}},
        BodyCase{"Chinese", {QStringLiteral("你好\n第一行")}}, BodyCase{"Latin-1 letter", {QStringLiteral("café")}},
        BodyCase{"above Latin-1 only", {QStringLiteral("€ and ☃")}}, BodyCase{"998 ASCII octets", {ascii998}},
        BodyCase{"999 ASCII octets", {ascii998 + u'b'}},
        BodyCase{"999 octets of UTF-8 but 333 characters", {chinese333}}, BodyCase{"997 octets of UTF-8", {chinese332}},
        BodyCase{"long line after a CR LF", {QStringLiteral("x\r\n") + ascii998 + u'b'}},
        BodyCase{"NUL between CR and LF is one break", {QStringLiteral("a\r") + QChar(0) + QStringLiteral("\nb")}},
        BodyCase{"NULs do not count", {ascii998 + QChar(0) + QChar(0)}},
        BodyCase{"a pair: four octets or one", {units({u'a', high, low, u'b'})}},
        BodyCase{"a pair split by a NUL is still a pair", {units({high, 0, low})}},
        BodyCase{"a pair at the 998th octet", {QString(995, u'a') + units({high, low})}},
        BodyCase{"a lone high surrogate", {units({u'a', high})}},
        BodyCase{"a lone low surrogate", {units({low, u'a'})}},
        BodyCase{"a high surrogate before a break", {units({high, u'\n', low})}},
        BodyCase{"lone surrogates make a long line", {QString(998, QChar(high))}},
        BodyCase{"CR CR LF", {QStringLiteral("a\r\r\nb")}}));

struct Utf8Case
{
    const char *what;
    QString text;
};

void PrintTo(const Utf8Case &c, std::ostream *os)
{
    *os << c.what;
}

class Utf8Appending : public testing::TestWithParam<Utf8Case>
{
};

TEST_P(Utf8Appending, GivesWhatToUtf8Gives)
{
    QByteArray out("before");
    appendUtf8(out, GetParam().text);
    EXPECT_EQ(out, "before" + GetParam().text.toUtf8());
}

INSTANTIATE_TEST_SUITE_P(Texts, Utf8Appending,
                         testing::Values(Utf8Case{"empty", QString()}, Utf8Case{"ASCII", QStringLiteral("abc")},
                                         Utf8Case{"two-byte", QStringLiteral("é ß")},
                                         Utf8Case{"three-byte", QStringLiteral("新品\uFFFF")},
                                         Utf8Case{"a pair", units({u'x', high, low, u'y'})},
                                         Utf8Case{"lone high at the end", units({u'a', high})},
                                         Utf8Case{"lone high before a pair", units({high, high, low})},
                                         Utf8Case{"lone low", units({low, u'b'})}, Utf8Case{"NUL", units({0, u'a'})}));

// Character by character, the header encoder must get the bytes encode gives for each character,
// in stateless and shifted charsets, for characters they lack and for broken pairs.
TEST(CharacterEncoding, GivesWhatEncodeGives)
{
    const QList<HeaderCharset> charsets{{QStringLiteral("GB2312"), "CP936"},
                                        {QStringLiteral("ISO-2022-JP"), "ISO-2022-JP"},
                                        {QStringLiteral("KOI8-R"), "KOI8-R"},
                                        {QStringLiteral("UTF-8"), "UTF-8"}};
    const QList<QString> characters{
        QStringLiteral("a"), QStringLiteral("新"), QStringLiteral("日"), QStringLiteral("Ж"), QStringLiteral("é"),
        QStringLiteral("€"), units({high, low}),   units({high}),        units({low}),        QStringLiteral("\x01")};
    for (const HeaderCharset &charset : charsets) {
        const CharsetEncoder encoder(charset);
        for (const QString &character : characters) {
            QByteArray out("x");
            encoder.appendCharacter(character, out);
            EXPECT_EQ(out, "x" + encoder.encode(character))
                << charset.label.toStdString() << " U+" << QByteArray::number(character.front().unicode(), 16).data();
        }
    }
}

TEST(CharacterEncoding, Utf8HoldsEveryTextButBrokenPairs)
{
    const CharsetEncoder utf8({QStringLiteral("UTF-8"), "UTF-8"});
    EXPECT_TRUE(utf8.holds(QStringLiteral("上海星辰 é €")));
    EXPECT_TRUE(utf8.holds(units({u'a', high, low})));
    EXPECT_FALSE(utf8.holds(units({u'a', high})));
    EXPECT_FALSE(utf8.holds(units({low, high})));
    EXPECT_FALSE(utf8.holds(units({high, u'b', low})));
}

} // namespace
