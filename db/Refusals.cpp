#include "Refusals.h"

#include "DatabaseError.h"
#include "Field.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// "表.列, 表.列" as the engine names the columns of a failed NOT NULL or UNIQUE: the columns, joined.
QString columnsOf(const QString &named)
{
    QStringList columns;
    for (const QString &part : named.split(u',', Qt::SkipEmptyParts)) {
        const QString trimmed = part.trimmed();
        columns.append(trimmed.mid(trimmed.indexOf(u'.') + 1));
    }
    return columns.join(u'、');
}

QString checkText(const QString &constraint)
{
    // The schema names each width check "<column>超过<n>个字符" and each range "<column>超出范围".
    static const QRegularExpression width(QStringLiteral("^(.+)超过(\\d+)个字符$"));
    static const QRegularExpression range(QStringLiteral("^(.+)超出范围$"));
    if (const QRegularExpressionMatch m = width.match(constraint); m.hasMatch())
        return tooLongText(m.captured(1), m.captured(2).toInt());
    if (const QRegularExpressionMatch m = range.match(constraint); m.hasMatch())
        return QStringLiteral("%1超出允许的范围").arg(m.captured(1));
    // An unnamed check comes as its expression, the column first ("广告 IN (0, 1)"), from a file;
    // a server names it "<table>_<column>_check".
    static const QRegularExpression serverName(QStringLiteral("^[^_]+_(.+)_check$"));
    if (const QRegularExpressionMatch m = serverName.match(constraint); m.hasMatch())
        return QStringLiteral("%1的值不符合要求").arg(m.captured(1));
    static const QRegularExpression expression(QStringLiteral("^(?:length\\()?([^\\s()<>=!]+)"));
    if (const QRegularExpressionMatch m = expression.match(constraint); m.hasMatch())
        return QStringLiteral("%1的值不符合要求").arg(m.captured(1));
    return QStringLiteral("填写的值不符合要求");
}

// The names a server's message quotes, in order: "…" in English (and Chinese), »…« or «…» or „…“ in
// the languages that quote so.
QStringList quotedNames(const QString &message)
{
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]+)\"|“([^”]+)”|»([^«]+)«|«\\s?([^»]+?)\\s?»|„([^“]+)“"));
    QStringList names;
    for (const QRegularExpressionMatch &m : quoted.globalMatch(message)) {
        for (int i = 1; i <= m.lastCapturedIndex(); ++i) {
            if (!m.captured(i).isEmpty()) {
                names.append(m.captured(i));
                break;
            }
        }
    }
    return names;
}

QString uniqueText(const QString &index)
{
    // The do-not-mail list's one index on an expression: the same address in other letter case or blanks.
    return index == QStringLiteral("退订名单_地址") ? QStringLiteral("这个电子邮件地址已在退订名单中")
                                                  : QStringLiteral("已有相同的记录");
}

const QString lockedText = QStringLiteral("数据库文件正被其他程序使用，请稍后再保存");
const QString readOnlyText = QStringLiteral("数据库文件是只读的，无法保存");
const QString diskFullText = QStringLiteral("磁盘已满，无法保存");
const QString mismatchText = QStringLiteral("填写的值类型不符");

// A server's refusal by its SQLSTATE; null for a state that has no words of its own.
QString serverRefusal(const QString &message, const QString &state)
{
    const QStringList names = quotedNames(message);
    if (state == QStringLiteral("23514")) // check_violation: relation, then constraint
        return names.isEmpty() ? checkText({}) : checkText(names.last());
    if (state == QStringLiteral("23502")) // not_null_violation: the column first
        return names.isEmpty() ? QString() : QStringLiteral("%1不能为空").arg(names.first());
    if (state == QStringLiteral("23505")) // unique_violation: the constraint
        return uniqueText(names.isEmpty() ? QString() : names.last());
    if (state == QStringLiteral("55P03") || state == QStringLiteral("40P01")) // lock not available, deadlock
        return lockedText;
    if (state == QStringLiteral("25006")) // read_only_sql_transaction
        return readOnlyText;
    if (state == QStringLiteral("53100")) // disk_full
        return diskFullText;
    if (state == QStringLiteral("22P02") || state == QStringLiteral("42804")) // invalid text representation, datatype mismatch
        return mismatchText;
    return {};
}

// A server's refusal by the words of its English message, for a text without its SQLSTATE.
QString serverRefusal(const QString &text)
{
    static const QRegularExpression check(QStringLiteral("violates check constraint \"(.+)\"$"));
    static const QRegularExpression notNull(QStringLiteral("^null value in column \"([^\"]+)\".* violates not-null constraint$"));
    static const QRegularExpression unique(QStringLiteral("^duplicate key value violates unique constraint \"(.+)\"$"));
    if (const QRegularExpressionMatch m = check.match(text); m.hasMatch())
        return checkText(m.captured(1));
    if (const QRegularExpressionMatch m = notNull.match(text); m.hasMatch())
        return QStringLiteral("%1不能为空").arg(m.captured(1));
    if (const QRegularExpressionMatch m = unique.match(text); m.hasMatch())
        return uniqueText(m.captured(1));
    if (text == QStringLiteral("canceling statement due to lock timeout") || text.startsWith(QStringLiteral("could not obtain lock")))
        return lockedText;
    if (text.startsWith(QStringLiteral("cannot execute ")) && text.endsWith(QStringLiteral(" in a read-only transaction")))
        return readOnlyText;
    if (text.startsWith(QStringLiteral("could not extend file")))
        return diskFullText;
    return {};
}

} // namespace

QString tooLongText(const QString &fieldName, int limit)
{
    return QStringLiteral("%1不能超过 %2 个字符").arg(fieldName).arg(limit);
}

QString refusalText(const QString &engineText, const QString &sqlState)
{
    static const QRegularExpression check(QStringLiteral("^CHECK constraint failed: (.+)$"));
    static const QRegularExpression notNull(QStringLiteral("^NOT NULL constraint failed: (.+)$"));
    static const QRegularExpression uniqueIndex(QStringLiteral("^UNIQUE constraint failed: index '(.+)'$"));
    static const QRegularExpression unique(QStringLiteral("^UNIQUE constraint failed: (.+)$"));
    const QString text = engineText.trimmed();
    if (!sqlState.isEmpty()) {
        if (const QString shown = serverRefusal(text, sqlState); !shown.isNull())
            return shown;
    }
    if (const QRegularExpressionMatch m = check.match(text); m.hasMatch())
        return checkText(m.captured(1).trimmed());
    if (const QRegularExpressionMatch m = notNull.match(text); m.hasMatch())
        return QStringLiteral("%1不能为空").arg(columnsOf(m.captured(1)));
    if (const QRegularExpressionMatch m = uniqueIndex.match(text); m.hasMatch())
        return uniqueText(m.captured(1));
    if (const QRegularExpressionMatch m = unique.match(text); m.hasMatch())
        return QStringLiteral("已有%1相同的记录").arg(columnsOf(m.captured(1)));
    if (text == QStringLiteral("datatype mismatch"))
        return mismatchText;
    if (text == QStringLiteral("database is locked"))
        return lockedText;
    if (text == QStringLiteral("attempt to write a readonly database"))
        return readOnlyText;
    if (text == QStringLiteral("database or disk is full"))
        return diskFullText;
    if (const QString shown = serverRefusal(text); !shown.isNull())
        return shown;
    return engineText;
}

void checkLength(const Field &field, const QString &text)
{
    if (field.kind != FieldKind::String || field.size <= 0 || text.size() <= field.size)
        return;
    // Characters beyond the basic plane take two UTF-16 units but are one character to the engine.
    const auto characters = text.size() - std::count_if(text.begin(), text.end(), [](QChar c) { return c.isLowSurrogate(); });
    if (characters > field.size)
        throw DatabaseError(tooLongText(field.fieldName, field.size));
}
