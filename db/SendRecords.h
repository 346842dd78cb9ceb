#pragma once

#include "MailAttachment.h"
#include "Statement.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

class Database;

// What a send run reads and writes: the customers, the chosen mail, who it reached already, and
// the send records it appends to 发送情况. Every statement of a run is here; the run holds none.

// A customer as a run mails them.
struct Recipient
{
    qint64 id = 0;
    QString name;
    QString address;
};

// The mail a run sends.
struct MailText
{
    QString subject;
    QString content;
    bool advertising = false; // 广告: the subject goes out marked as such
    std::optional<AttachmentFile> attachment = std::nullopt; // the file it carries, if any
};

// The customers in the order the customer grid lists them (its statement, without an order). A
// missing name or address reads as the empty text.
QList<Recipient> readCustomers(Database &connection);
// The customers the mail already reached: a record of it reading "成功". A record without a result
// was written before results were kept and says nothing either way.
QSet<qint64> readSentCustomers(Database &connection, qint64 mailId);
// Throws Error "所选的邮件已不存在，请重新选择要发送的邮件。" when there is no such mail.
MailText readMail(Database &connection, qint64 mailId);
// The moments of the messages accepted after `since`, of any mail (records reading "成功"), for the
// daily cap; newest first. Read from the newest record back until one is older, so a long history
// costs nothing; a date that does not read as one (written in another region) is passed over.
QList<QDateTime> readAcceptedSince(Database &connection, const QDateTime &since);
// Whether `mailChoice` is the number of a mail in the file.
bool mailExists(Database &connection, const QString &mailChoice);

// The run's appends to 发送情况.
class SendRecords
{
public:
    // Fails (DatabaseError) when the table or one of its columns is missing.
    explicit SendRecords(Database &connection);

    // A write transaction begun and rolled back: fails now, before any message goes out, when the
    // file cannot take a record (read-only, locked by another program).
    void checkWritable();

    // Gives the new record's key.
    qint64 append(qint64 customerId, const QString &mailChoice, const QString &sendDate, const QString &result);

private:
    Database &m_connection;
    Statement m_insert;
};
