#include "SendClaims.h"

#include "Database.h"

namespace {

// One statement decides: the insert wins when nobody holds the customer; the update on conflict
// wins only under the conditions SendClaims names. The row is locked for the statement, so a run
// claiming at the same moment sees the winner's row and its own conditions fail against it. A row
// comes back only to the winner.
const QString ClaimStatement = QStringLiteral(R"(
insert into 发送认领 as 认领 ("客户ID", "邮件ID", 认领者, 认领时间) values (?1, ?2, ?3, localtimestamp(3))
on conflict ("客户ID", "邮件ID") do update
    set 认领者 = excluded.认领者, 认领时间 = excluded.认领时间, 结果时间 = null, 结束时间 = null
    where 认领.认领者 = excluded.认领者
       or 认领.结束时间 < cast(?4 as timestamp(3))
       or (认领.结果时间 is null and 认领.结束时间 is null
           and 认领.认领时间 < localtimestamp(3) - cast(?5 as bigint) * interval '1 millisecond')
returning 认领者
)");

QString serverNow(Database &connection)
{
    Statement now(connection, QStringLiteral("select cast(localtimestamp(3) as text)"));
    now.step();
    return now.column(0).toString();
}

} // namespace

SendClaims::SendClaims(Database &connection, QString runId, qint64 mailId, std::chrono::milliseconds staleAfter)
    : m_connection(connection)
    , m_runId(std::move(runId))
    , m_mailId(mailId)
    , m_staleAfterMs(staleAfter.count())
    , m_startedAt(serverNow(connection))
    , m_claim(connection, ClaimStatement)
    , m_settle(connection, QStringLiteral("update 发送认领 set 结果时间 = localtimestamp(3) "
                                          "where \"客户ID\" = ? and \"邮件ID\" = ? and 认领者 = ?"))
{
}

bool SendClaims::claim(qint64 customerId)
{
    m_claim.reset();
    m_claim.bind(1, customerId);
    m_claim.bind(2, m_mailId);
    m_claim.bind(3, m_runId);
    m_claim.bind(4, m_startedAt);
    m_claim.bind(5, m_staleAfterMs);
    const bool won = m_claim.step();
    m_claim.reset();
    return won;
}

void SendClaims::settle(qint64 customerId)
{
    m_settle.reset();
    m_settle.bind(1, customerId);
    m_settle.bind(2, m_mailId);
    m_settle.bind(3, m_runId);
    m_settle.step();
    m_settle.reset();
}

void SendClaims::end()
{
    Statement end(m_connection, QStringLiteral("update 发送认领 set 结束时间 = localtimestamp(3) where 认领者 = ?"));
    end.bind(1, m_runId);
    end.step();
}
