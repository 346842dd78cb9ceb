#include "ResultSummary.h"

#include "Database.h"
#include "Dialect.h"
#include "Statement.h"

namespace {

// Each customer's standing with the mail (?1): 1 成功, 2 失败, 3 跳过, 4 unknown (no result, 发送中
// left by a run that never learnt the reply, or 结果未知：… when the reply was lost), null when no
// record of the mail names the customer. Within a customer's records the latest is the one with
// the greatest key (records are only ever appended).
const QString summaryStatement = QStringLiteral(R"(
with 记录 as (
    select "客户ID",
           max(case when 发送结果 = '成功' then 1 else 0 end) over (partition by "客户ID") as 曾成功,
           row_number() over (partition by "客户ID" order by %1 desc) as 新旧,
           发送结果
    from 发送情况
    where "邮件ID" = ?1
),
状态 as (
    select "客户ID",
           case
               when 曾成功 = 1 then 1
               when 发送结果 is null or 发送结果 = '' or 发送结果 = '发送中'
                    or substr(发送结果, 1, 4) = '结果未知' then 4
               when substr(发送结果, 1, 3) = '跳过：' then 3
               else 2
           end as 结果
    from 记录
    where 新旧 = 1
)
select count(case when 状态.结果 = 1 then 1 end),
       count(case when 状态.结果 = 2 then 1 end),
       count(case when 状态.结果 = 3 then 1 end),
       count(case when 状态.结果 is null then 1 end),
       count(case when 状态.结果 = 4 then 1 end)
from 客户表 left join 状态 on 状态."客户ID" = 客户表."客户ID"
)");

} // namespace

ResultSummary readResultSummary(Database &connection, qint64 mailId)
{
    Statement query(connection, summaryStatement.arg(dialect::recordKey(connection.engine())));
    query.bind(1, mailId);
    query.step(); // an aggregate always yields its one row
    return {query.column(0).toLongLong(), query.column(1).toLongLong(), query.column(2).toLongLong(),
            query.column(3).toLongLong(), query.column(4).toLongLong()};
}

QString resultSummaryText(const ResultSummary &summary)
{
    return QStringLiteral("成功 %1，失败 %2，跳过 %3，未发送 %4")
        .arg(summary.succeeded)
        .arg(summary.failed)
        .arg(summary.skipped)
        .arg(summary.notSent);
}
