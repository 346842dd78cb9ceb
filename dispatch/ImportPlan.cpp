#include "ImportPlan.h"

#include "RunPlan.h"

#include <QRegularExpression>

namespace {

qsizetype countOf(const QList<SkippedRow> &rows, SkipKind kind)
{
    return std::count_if(rows.begin(), rows.end(), [kind](const SkippedRow &row) { return row.kind == kind; });
}

bool isBlank(const QString &text)
{
    return text.trimmed().isEmpty();
}

} // namespace

bool looksLikeHeading(const QString &address)
{
    const QString trimmed = address.trimmed();
    // A title is a word or two; a longer text, or one with a dot ("zhang.gmail.com"), is a wrong
    // address rather than a heading.
    if (trimmed.isEmpty() || trimmed.contains(u'@') || trimmed.contains(u'.') || trimmed.size() > 20)
        return false;
    static const QRegularExpression separators(QStringLiteral("[\\s\\-_:：（）()]"));
    const QString word = trimmed.toLower().remove(separators);
    static const QStringList titles{QStringLiteral("地址"), QStringLiteral("邮箱"), QStringLiteral("邮件"),
                                    QStringLiteral("信箱"), QStringLiteral("电邮"), QStringLiteral("email"),
                                    QStringLiteral("mail"), QStringLiteral("address")};
    return std::any_of(titles.begin(), titles.end(), [&word](const QString &title) { return word.contains(title); });
}

QString skipReason(SkipKind kind, ImportTarget target)
{
    switch (kind) {
    case SkipKind::NoAddress: return QStringLiteral("没有电子邮件地址");
    case SkipKind::NotAnAddress: return QStringLiteral("电子邮件地址不含“@”");
    case SkipKind::Heading: return QStringLiteral("标题行，未导入");
    case SkipKind::Duplicate:
        return target == ImportTarget::RefusalList ? QStringLiteral("地址已在退订名单中")
                                                   : QStringLiteral("地址重复，未导入");
    case SkipKind::Refused: return QStringLiteral("数据库拒绝");
    }
    return {};
}

void SheetRows::append(const SheetRow &row)
{
    const qsizetype length = row.name.size() + row.address.size();
    if (m_blocks.isEmpty() || m_blocks.last().size() + length > m_blocks.last().capacity()) {
        m_blocks.append(QString());
        m_blocks.last().reserve(std::max(blockSize, length));
    }
    QString &block = m_blocks.last();
    m_entries.append({row.row, int(m_blocks.size() - 1), block.size(), int(row.name.size()), int(row.address.size())});
    block.append(row.name);
    block.append(row.address);
}

SheetRow SheetRows::at(qsizetype i) const
{
    const Entry &entry = m_entries.at(i);
    const QString &block = m_blocks.at(entry.block);
    return {entry.row, block.mid(entry.start, entry.nameLength),
            block.mid(entry.start + entry.nameLength, entry.addressLength)};
}

ImportPlanner::ImportPlanner(ImportTarget target, const QStringList &stored)
{
    m_plan.target = target;
    m_known.reserve(stored.size());
    for (const QString &address : stored)
        m_known.insert(keep(addressKey(address)));
}

QStringView ImportPlanner::keep(const QString &key)
{
    constexpr qsizetype blockSize = 16 * 1024; // characters
    if (m_keyBlocks.isEmpty() || m_keyBlocks.last().size() + key.size() > m_keyBlocks.last().capacity()) {
        m_keyBlocks.append(QString());
        m_keyBlocks.last().reserve(std::max(blockSize, key.size()));
    }
    QString &block = m_keyBlocks.last();
    const qsizetype start = block.size();
    block.append(key);
    return QStringView(block).mid(start, key.size());
}

void ImportPlanner::reserve(qsizetype rows)
{
    m_plan.rows.reserve(rows);
    m_known.reserve(m_known.size() + rows);
}

void ImportPlanner::add(const SheetRow &row)
{
    if (isBlank(row.name) && isBlank(row.address))
        return;
    const bool first = std::exchange(m_first, false);
    const auto skip = [&](SkipKind kind) { m_plan.skipped.append({row, kind, skipReason(kind, m_plan.target)}); };
    if (first && looksLikeHeading(row.address))
        return skip(SkipKind::Heading);
    if (isBlank(row.address))
        return skip(SkipKind::NoAddress);
    if (!row.address.contains(u'@'))
        return skip(SkipKind::NotAnAddress);
    const QString key = addressKey(row.address);
    const bool known = m_known.contains(key);
    if (known && m_plan.target == ImportTarget::RefusalList)
        return skip(SkipKind::Duplicate);
    if (known)
        m_plan.duplicates.insert(m_plan.rows.size());
    m_plan.rows.append(row);
    if (!known)
        m_known.insert(key == row.address ? m_plan.rows.address(m_plan.rows.size() - 1) : keep(key));
}

QString previewText(const ImportPlan &plan)
{
    const bool list = plan.target == ImportTarget::RefusalList;
    QStringList lines;
    lines.append(list ? QStringLiteral("可加入退订名单 %1 个地址。").arg(plan.rows.size())
                      : QStringLiteral("可导入 %1 位客户。").arg(plan.rows.size()));
    if (!plan.duplicates.isEmpty())
        lines.append(QStringLiteral("其中 %1 位的地址已在客户中或在表中重复。").arg(plan.duplicates.size()));
    if (!plan.skipped.isEmpty()) {
        lines.append(QStringLiteral("将跳过 %1 行：").arg(plan.skipped.size()));
        for (SkipKind kind : {SkipKind::NoAddress, SkipKind::NotAnAddress, SkipKind::Heading, SkipKind::Duplicate}) {
            if (const qsizetype n = countOf(plan.skipped, kind))
                lines.append(QStringLiteral("    %1：%2 行").arg(skipReason(kind, plan.target)).arg(n));
        }
    }
    if (!plan.readFailure.isEmpty())
        lines.append(QStringLiteral("读取在中途停止（%1），只导入此前读到的行。").arg(plan.readFailure));
    lines.append(QStringLiteral("是否开始导入？"));
    return lines.join(u'\n');
}

QString reportHeadline(const ImportOutcome &outcome)
{
    return outcome.target == ImportTarget::RefusalList
        ? QStringLiteral("导入 %1 个地址；跳过 %2 行").arg(outcome.imported).arg(outcome.skipped.size())
        : QStringLiteral("导入 %1 位客户；跳过 %2 行").arg(outcome.imported).arg(outcome.skipped.size());
}

QString reportText(const ImportOutcome &outcome)
{
    QStringList lines{reportHeadline(outcome)};
    for (SkipKind kind : {SkipKind::NoAddress, SkipKind::NotAnAddress, SkipKind::Heading}) {
        if (const qsizetype n = countOf(outcome.skipped, kind))
            lines.append(QStringLiteral("%1：%2 行").arg(skipReason(kind, outcome.target)).arg(n));
    }
    if (outcome.target == ImportTarget::RefusalList) {
        if (const qsizetype n = countOf(outcome.skipped, SkipKind::Duplicate))
            lines.append(QStringLiteral("地址已在退订名单中：%1 行").arg(n));
    } else if (outcome.duplicates > 0) {
        lines.append(QStringLiteral("地址重复：%1 行（%2）")
                         .arg(outcome.duplicates)
                         .arg(outcome.duplicatesWritten ? QStringLiteral("已导入") : QStringLiteral("未导入")));
    }
    if (const qsizetype n = countOf(outcome.skipped, SkipKind::Refused))
        lines.append(QStringLiteral("数据库拒绝：%1 行").arg(n));
    if (!outcome.skipped.isEmpty()) {
        lines.append(QString());
        for (const SkippedRow &row : outcome.skipped.first(std::min(outcome.skipped.size(), ReportedRows)))
            lines.append(QStringLiteral("第 %1 行：%2").arg(row.row.row).arg(row.reason));
        if (outcome.skipped.size() > ReportedRows)
            lines.append(QStringLiteral("……另有 %1 行，可保存跳过的行查看全部。").arg(outcome.skipped.size() - ReportedRows));
    }
    if (!outcome.readFailure.isEmpty())
        lines.append(QStringLiteral("读取在中途停止（%1），其后的行未导入。").arg(outcome.readFailure));
    if (!outcome.failure.isEmpty())
        lines.append(QStringLiteral("导入未完成：%1。已导入的 %2 行已保存，其余未导入。").arg(outcome.failure).arg(outcome.imported));
    return lines.join(u'\n');
}
