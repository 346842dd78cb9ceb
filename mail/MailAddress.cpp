#include "MailAddress.h"

#include "SmtpReply.h"

// Both readings walk the text from one special character to the next, cutting what they have
// read off the front. Positions are 1-based as the readings count them; 0 means "none".
namespace {

constexpr QChar kSpace = u' ';
constexpr QChar kTab = u'\t';
constexpr QChar kQuote = u'"';
constexpr QChar kBackslash = u'\\';

bool isControlOrBlank(QChar c)
{
    return c.unicode() <= 32;
}

// Every character of code 32 or less, from both ends.
QString trim(const QString &s)
{
    return trimControls(s);
}

// Spaces and tabs only.
QString blankTrim(const QString &s)
{
    const auto isBlank = [](QChar c) { return c == kSpace || c == kTab; };
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s.at(begin)))
        ++begin;
    while (end > begin && isBlank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

QString leftTrim(const QString &s)
{
    qsizetype begin = 0;
    while (begin < s.size() && isControlOrBlank(s.at(begin)))
        ++begin;
    return s.mid(begin);
}

qsizetype firstOf(const QString &s, QStringView set)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (set.contains(s.at(i)))
            return i + 1;
    }
    return 0;
}

qsizetype lastOf(const QString &s, QStringView set)
{
    for (qsizetype i = s.size(); i > 0; --i) {
        if (set.contains(s.at(i - 1)))
            return i;
    }
    return 0;
}

void cut(QString &s, qsizetype count)
{
    s.remove(0, count);
}

constexpr QStringView kListSpecials = u":;(\", \t";
constexpr QStringView kCommentSpecials = u"(\\)";
constexpr QStringView kQuotedSpecials = u"\"\\";

} // namespace

void MailAddress::setText(const QString &text)
{
    address.clear();
    name.clear();
    QString t = trim(text);
    if (t.isEmpty())
        return;

    qsizetype i = t.contains(u'<') ? firstOf(t, u"(\"< \t") : firstOf(t, u"(\" @\t");
    if (i == 0) {
        address = t;
        return;
    }

    bool inAddress = false;
    bool inBrackets = false;
    bool quoted = false;
    bool afterAt = false;
    int depth = 0;

    while (i != 0) {
        const QChar c = t.at(i - 1);
        if (c == kSpace || c == kTab) {
            if (i == 1) {
                cut(t, 1);
            } else {
                if (afterAt)
                    address += trim(t.left(i - 1));
                else
                    name += t.left(i);
                cut(t, i);
            }
        } else if (c == kQuote) {
            if (quoted) {
                (inBrackets ? address : name) += trim(t.left(i - 1));
                cut(t, i);
                quoted = false;
            } else {
                // A quotation mark inside a word quotes the rest of it: what stands before the
                // mark belongs to the same part.
                (inAddress ? address : name) += t.left(i - 1);
                quoted = true;
                cut(t, i);
            }
        } else if (c == u'(') {
            if (i == 1) {
                cut(t, 1);
            } else {
                if (inAddress)
                    address += trim(t.left(i - 1));
                else if (depth == 0)
                    name += t.left(i - 1);
                cut(t, i);
            }
            ++depth;
        } else if (c == u')') {
            cut(t, i);
            --depth;
        } else if (c == u'.') {
            if (inBrackets) {
                address += blankTrim(trim(t.left(i - 1))) + u'.';
                t = leftTrim(t.mid(i));
            } else {
                address += t.left(i);
                cut(t, i);
            }
        } else if (c == u'<') {
            if (i > 1)
                name += t.left(i - 1);
            name = blankTrim(trim(name));
            inBrackets = true;
            inAddress = true;
            cut(t, i);
        } else if (c == u'>') {
            inAddress = false;
            afterAt = false;
            address += blankTrim(trim(t.left(i - 1)));
            cut(t, i);
        } else if (c == u'@') {
            afterAt = true;
            if (inAddress) {
                address += t.left(i);
                cut(t, i);
            } else if (inBrackets) {
                name += t;
                return;
            } else {
                inAddress = true;
                address += t.left(i);
                cut(t, i);
            }
        } else if (c == kBackslash) {
            // A backslash closing the text has nothing to escape: it is dropped.
            if (quoted)
                (inAddress ? address : name) += t.left(i - 1) + t.mid(i, 1);
            cut(t, i + 1);
        }

        if (depth > 0)
            i = firstOf(t, kCommentSpecials);
        else if (quoted)
            i = lastOf(t, kQuotedSpecials);
        else if (afterAt)
            i = inBrackets ? firstOf(t, u".>(") : firstOf(t, u".( ");
        else if (inAddress)
            i = firstOf(t, u"\"(@>");
        else
            i = firstOf(t, u"(\"< @\t");
    }

    if (inAddress && !inBrackets)
        address += blankTrim(trim(t));
}

MailAddress &MailAddressList::add()
{
    m_items.append(MailAddress());
    return m_items.last();
}

void MailAddressList::setAddresses(const QString &text)
{
    clear();
    if (trim(text).isEmpty())
        return;

    QString v = text;
    qsizetype i = firstOf(v, kListSpecials);
    if (i == 0) {
        // No separator at all: the one item stays even when it reads as empty.
        add().setText(leftTrim(v));
        return;
    }

    // Appends an item read from the text; drops it again when it reads as empty, if asked to.
    const auto addItem = [this](const QString &itemText, bool dropEmpty) {
        MailAddress &item = add();
        item.setText(itemText);
        if (dropEmpty && item.isEmpty())
            remove(count() - 1);
    };

    QString pending;
    int depth = 0;
    bool quoted = false;
    while (i != 0) {
        const QChar c = v.at(i - 1);
        if (c == kSpace || c == kTab) {
            pending += v.left(i);
            cut(v, i);
        } else if (c == kQuote) {
            pending += v.left(i);
            cut(v, i);
            quoted = !quoted;
        } else if (c == u'(') {
            ++depth;
            pending += v.left(i);
            cut(v, i);
        } else if (c == u')') {
            --depth;
            pending += v.left(i);
            cut(v, i);
        } else if (c == kBackslash) {
            pending += v.left(i + 1);
            cut(v, i + 1);
        } else if (c == u',') {
            pending += v.left(i - 1);
            addItem(pending, true);
            pending.clear();
            cut(v, i);
        } else if (c == u':') {
            // What stood before the colon is a group name.
            cut(v, i);
            pending.clear();
        } else if (c == u';') {
            pending += v.left(i - 1);
            if (!trim(pending).isEmpty()) {
                addItem(leftTrim(pending), false);
                pending.clear();
            }
            cut(v, i);
        }

        if (depth > 0)
            i = firstOf(v, kCommentSpecials);
        else if (quoted)
            i = firstOf(v, kQuotedSpecials);
        else
            i = firstOf(v, kListSpecials);
    }

    if (!trim(pending).isEmpty() || !trim(v).isEmpty()) {
        pending += v;
        addItem(leftTrim(pending), true);
    }
}
