#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class Database;

// The file a mail carries, kept in 邮件表 beside the mail (附件名称, 附件内容). A mail carries one
// when it has a name; the bytes are read only where they are sent.

// A mail's file as the mail page shows it: its name and size, without its bytes.
struct StoredAttachment
{
    QString fileName;
    qint64 size = 0;
};

// Files of this size or less can go with a mail: most providers refuse messages over 25–50 MB,
// and base64 makes the file a third larger on the way.
inline constexpr qint64 MaxAttachmentSize = 20 * 1024 * 1024;

// Nothing when the mail carries no file, when there is no such mail, or when the database file
// has no place for one (an older file that could not be brought up to date).
std::optional<StoredAttachment> storedAttachment(Database &connection, qint64 mailId);

// A mail's file with its bytes, for a send run; nothing as above.
struct AttachmentFile
{
    QString fileName;
    QByteArray content;
};
std::optional<AttachmentFile> readAttachment(Database &connection, qint64 mailId);
