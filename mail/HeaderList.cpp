#include "HeaderList.h"

namespace {

bool isContinuation(const QString &line)
{
    return line.startsWith(u' ') || line.startsWith(u'\t');
}

QString trimRight(const QString &s)
{
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1).unicode() <= 32)
        --end;
    return s.left(end);
}

} // namespace

QStringList foldHeaderLine(const QString &line, int foldLength)
{
    // Most header lines are short and hold no line break: nothing to fold.
    if (line.size() < foldLength && !line.contains(u'\r'))
        return {trimRight(line)};

    // Positions are 1-based, as in the folding rule; at(p) reads position p.
    const qsizetype length = line.size();
    const auto at = [&line](qsizetype p) { return line.at(p - 1); };
    const auto mid = [&line](qsizetype from, qsizetype to) { return QStringView(line).mid(from - 1, to - from + 1); };

    QString out;
    out.reserve(length + length / foldLength * 3 + 3);
    qsizetype col = 1;
    qsizetype pos = 1;
    qsizetype start = 1;
    qsizetype brk = 0;
    bool quoted = false;
    bool existing = false;

    while (pos <= length) {
        const QChar c = at(pos);
        if (c == u'\r' && !quoted) {
            existing = mid(pos, pos + 2) == u"\r\n ";
            if (existing) {
                pos += 2;
                brk = pos;
            }
        } else if ((c == u'\t' || c == u' ' || c == u',') && !quoted) {
            brk = pos;
        } else if (c == u'"') {
            quoted = !quoted;
        }
        ++pos;
        ++col;

        if (quoted)
            continue;
        if (!existing && (col <= foldLength || brk <= start))
            continue;

        col = pos - brk;
        out += mid(start, brk);
        if (c != u'"') {
            while (pos <= length) {
                const QChar skip = at(pos);
                if (skip != u'\t' && skip != u' ' && skip != u',' && skip != u'\r' && skip != u'\n')
                    break;
                ++pos;
            }
            if (!existing && pos < length)
                out += u"\r\n ";
        }
        ++brk;
        start = brk;
        existing = false;
    }
    if (start <= length)
        out += mid(start, length);

    QStringList lines = out.split(QStringLiteral("\r\n"));
    for (QString &l : lines)
        l = trimRight(l);
    return lines;
}

qsizetype HeaderList::indexOfName(const QString &name) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString &line = m_lines.at(i);
        const qsizetype colon = line.indexOf(u':');
        if (colon >= 0 && QStringView(line).left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype HeaderList::endOfHeader(qsizetype index) const
{
    qsizetype end = index + 1;
    while (end < m_lines.size() && isContinuation(m_lines.at(end)))
        ++end;
    return end;
}

void HeaderList::setValue(const QString &name, const QString &value)
{
    qsizetype index = indexOfName(name);
    if (index >= 0)
        m_lines.remove(index, endOfHeader(index) - index);
    if (value.isEmpty())
        return;
    if (index < 0)
        index = m_lines.size();
    const QStringList folded = foldHeaderLine(name + QStringLiteral(": ") + value, foldLength);
    for (qsizetype i = 0; i < folded.size(); ++i)
        m_lines.insert(index + i, folded.at(i));
}

void HeaderList::appendValue(const QString &name, const QString &value)
{
    if (value.isEmpty())
        return;
    QString line;
    line.reserve(name.size() + 2 + value.size());
    line += name;
    line += u": ";
    line += value;
    m_lines.append(foldHeaderLine(line, foldLength));
}

QString HeaderList::value(const QString &name) const
{
    const qsizetype index = indexOfName(name);
    if (index < 0)
        return QString();
    QString unfolded = m_lines.at(index);
    const qsizetype end = endOfHeader(index);
    for (qsizetype i = index + 1; i < end; ++i)
        unfolded += m_lines.at(i);
    unfolded.remove(0, unfolded.indexOf(u':') + 1);
    qsizetype blanks = 0;
    while (blanks < unfolded.size() && (unfolded.at(blanks) == u' ' || unfolded.at(blanks) == u'\t'))
        ++blanks;
    return unfolded.mid(blanks);
}
