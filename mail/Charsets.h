#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <memory>

// The charset in which encoded header words are written: the label that goes into the word and
// the converter (an iconv name) that makes its bytes.
struct HeaderCharset
{
    QString label;
    QByteArray converter;

    friend bool operator==(const HeaderCharset &, const HeaderCharset &) = default;
};

// The header charset of a locale's language and country: Chinese (China) GB2312, other Chinese
// Big5, Japanese ISO-2022-JP, Korean csEUCKR, Russian KOI8-R, Ukrainian windows-1251, else UTF-8.
HeaderCharset headerCharsetFor(const QLocale &locale);

// The process locale as found at start-up.
QLocale processLocale();

// Converts text into a header charset; a character the charset cannot represent becomes "?".
class CharsetEncoder
{
public:
    // Raises MailError "Could not encode header data using charset "<label>"" when there is no
    // converter for the charset.
    explicit CharsetEncoder(const HeaderCharset &charset);
    ~CharsetEncoder();
    CharsetEncoder(const CharsetEncoder &) = delete;
    CharsetEncoder &operator=(const CharsetEncoder &) = delete;

    const HeaderCharset &charset() const { return m_charset; }
    // Whether the charset carries shift states (ISO-2022-JP): then a piece of text converted on its
    // own differs from the same piece converted in context, and every encoded word must stand alone.
    bool isStateful() const { return m_stateful; }

    // The bytes of a text converted from the initial shift state and back to it.
    QByteArray encode(QStringView text) const;
    // The bytes encode gives for one character (a single UTF-16 unit or a surrogate pair), appended
    // to out without a buffer of their own: header encoding converts character by character.
    void appendCharacter(QStringView character, QByteArray &out) const;

    // Whether a reader that decodes by the label gets the text back from encode as it was: false
    // when a character becomes "?", and when the converter writes bytes the label does not cover
    // (GBK beyond GB2312, for instance).
    bool holds(QStringView text) const;

private:
    void convertCharacter(const char *utf8, qsizetype length, QByteArray &out) const;

    HeaderCharset m_charset;
    bool m_stateful;
    // UTF-8 into UTF-8: every text Qt converts to UTF-8 is well formed, so iconv would give the
    // same bytes back.
    bool m_identity;
    void *m_cd;
    // From the label back to UTF-8; not open when iconv does not know the label.
    void *m_decoder;
};

// This thread's encoder for the charset, opened at its first use and kept until the thread ends:
// opening the converters costs more than converting a message's header. Raises as the constructor.
const CharsetEncoder &threadEncoder(const HeaderCharset &charset);

// Whether iconv knows a charset by this name (for telling real encoded words in header text).
bool canConvertCharset(const QString &name);
