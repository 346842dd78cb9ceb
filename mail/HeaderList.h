#pragma once

#include <QString>
#include <QStringList>

// Folds one header line ("Name: value") into lines of about foldLength columns. Breaks go after a
// blank, tab or comma outside quotes; a CR LF SPACE already in the text always breaks there. The
// first line begins with the name, the others with a blank; every line is trimmed on the right.
QStringList foldHeaderLine(const QString &line, int foldLength = 78);

// An ordered list of header lines: a header is its "Name: value" line and the continuation lines
// (beginning with a blank or a tab) that follow it.
class HeaderList
{
public:
    static constexpr int foldLength = 78;

    // Set by name (letter case ignored): an empty value removes the header, a value replaces the
    // header where it stands, folded, or appends it when it is not there yet.
    void setValue(const QString &name, const QString &value);
    // Appends the header, folded, without looking for one of the same name: for a list that is being
    // built header by header. An empty value appends nothing.
    void appendValue(const QString &name, const QString &value);
    // The header's value with its continuation lines joined; empty when there is no such header.
    QString value(const QString &name) const;

    const QStringList &lines() const { return m_lines; }
    void append(const QString &line) { m_lines.append(line); }

private:
    qsizetype indexOfName(const QString &name) const;
    qsizetype endOfHeader(qsizetype index) const;

    QStringList m_lines;
};
