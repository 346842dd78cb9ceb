#pragma once

#include <QByteArray>
#include <QChar>
#include <QStringView>

// The UTF-8 of the text appended to out, the bytes QString::toUtf8 gives: a surrogate without
// its partner becomes "?". (QStringEncoder would write U+FFFD there instead.)
inline void appendUtf8(QByteArray &out, QStringView text)
{
    const qsizetype had = out.size();
    out.resize(had + text.size() * 3);
    char *to = out.data() + had;
    const char16_t *from = text.utf16();
    const char16_t *const end = from + text.size();
    while (from < end) {
        const char32_t u = *from++;
        if (u < 0x80) {
            *to++ = char(u);
        } else if (u < 0x800) {
            *to++ = char(0xC0 | u >> 6);
            *to++ = char(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            *to++ = char(0xE0 | u >> 12);
            *to++ = char(0x80 | (u >> 6 & 0x3F));
            *to++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && from < end && QChar::isLowSurrogate(*from)) {
            // Two units, four bytes: within the three bytes a unit has room for.
            const char32_t point = QChar::surrogateToUcs4(char16_t(u), *from++);
            *to++ = char(0xF0 | point >> 18);
            *to++ = char(0x80 | (point >> 12 & 0x3F));
            *to++ = char(0x80 | (point >> 6 & 0x3F));
            *to++ = char(0x80 | (point & 0x3F));
        } else {
            *to++ = '?';
        }
    }
    out.truncate(to - out.data());
}
