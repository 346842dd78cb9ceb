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
    // An unnamed check comes as its expression, the column first ("广告 IN (0, 1)").
    static const QRegularExpression expression(QStringLiteral("^(?:length\\()?([^\\s()<>=!]+)"));
    if (const QRegularExpressionMatch m = expression.match(constraint); m.hasMatch())
        return QStringLiteral("%1的值不符合要求").arg(m.captured(1));
    return QStringLiteral("填写的值不符合要求");
}

} // namespace

QString tooLongText(const QString &fieldName, int limit)
{
    return QStringLiteral("%1不能超过 %2 个字符").arg(fieldName).arg(limit);
}

QString refusalText(const QString &engineText)
{
    static const QRegularExpression check(QStringLiteral("^CHECK constraint failed: (.+)$"));
    static const QRegularExpression notNull(QStringLiteral("^NOT NULL constraint failed: (.+)$"));
    static const QRegularExpression uniqueIndex(QStringLiteral("^UNIQUE constraint failed: index '(.+)'$"));
    static const QRegularExpression unique(QStringLiteral("^UNIQUE constraint failed: (.+)$"));
    const QString text = engineText.trimmed();
    if (const QRegularExpressionMatch m = check.match(text); m.hasMatch())
        return checkText(m.captured(1).trimmed());
    if (const QRegularExpressionMatch m = notNull.match(text); m.hasMatch())
        return QStringLiteral("%1不能为空").arg(columnsOf(m.captured(1)));
    // The do-not-mail list's one index on an expression: the same address in other letter case or blanks.
    if (const QRegularExpressionMatch m = uniqueIndex.match(text); m.hasMatch())
        return m.captured(1) == QStringLiteral("退订名单_地址") ? QStringLiteral("这个电子邮件地址已在退订名单中")
                                                              : QStringLiteral("已有相同的记录");
    if (const QRegularExpressionMatch m = unique.match(text); m.hasMatch())
        return QStringLiteral("已有%1相同的记录").arg(columnsOf(m.captured(1)));
    if (text == QStringLiteral("datatype mismatch"))
        return QStringLiteral("填写的值类型不符");
    if (text == QStringLiteral("database is locked"))
        return QStringLiteral("数据库文件正被其他程序使用，请稍后再保存");
    if (text == QStringLiteral("attempt to write a readonly database"))
        return QStringLiteral("数据库文件是只读的，无法保存");
    if (text == QStringLiteral("database or disk is full"))
        return QStringLiteral("磁盘已满，无法保存");
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
