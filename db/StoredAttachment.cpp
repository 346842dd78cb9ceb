#include "StoredAttachment.h"

#include "Database.h"
#include "Statement.h"

namespace {

// An older file opened read-only keeps its 邮件表 without the file's columns.
bool hasAttachmentColumns(Database &connection)
{
    // The server's tables are made whole.
    if (connection.engine() == Engine::Postgres)
        return true;
    Statement columns(connection,
                      QStringLiteral("select count(*) from pragma_table_info('邮件表') where name in ('附件名称', '附件内容')"));
    columns.step();
    return columns.column(0).toInt() == 2;
}

} // namespace

std::optional<StoredAttachment> storedAttachment(Database &connection, qint64 mailId)
{
    if (!hasAttachmentColumns(connection))
        return std::nullopt;
    // length() of a blob reads the record's header, not the bytes.
    Statement query(connection,
                    QStringLiteral("select 附件名称, length(附件内容) from 邮件表 where \"邮件ID\" = ? and 附件名称 <> ''"));
    query.bind(1, mailId);
    if (!query.step())
        return std::nullopt;
    return StoredAttachment{query.column(0).toString(), query.column(1).toLongLong()};
}

std::optional<AttachmentFile> readAttachment(Database &connection, qint64 mailId)
{
    if (!hasAttachmentColumns(connection))
        return std::nullopt;
    Statement query(connection,
                    QStringLiteral("select 附件名称, 附件内容 from 邮件表 where \"邮件ID\" = ? and 附件名称 <> ''"));
    query.bind(1, mailId);
    if (!query.step())
        return std::nullopt;
    return AttachmentFile{query.column(0).toString(), query.column(1).toByteArray()};
}
