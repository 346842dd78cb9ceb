#pragma once

#include "Statement.h"
#include "StoredAttachment.h"

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
// The result a record carries from just before its customer's message goes out until the server's
// reply is known. One still reading so once no run is going (the program was killed or the
// machine stopped meanwhile) tells that the message may or may not have arrived.
inline const QString SendingResult = QStringLiteral("发送中");
// The start of the result of a customer whose whole message went out and whose server reply never
// came (the connection dropped or the wait ran out after the final "."): "结果未知：" and why. Such a
// customer may have the mail, like one whose record still reads 发送中, and counts as they do.
inline const QString UnknownResultPrefix = QStringLiteral("结果未知");

// The customers the mail already reached: a record of it reading "成功". A record without a result
// was written before results were kept and says nothing either way.
QSet<qint64> readSentCustomers(Database &connection, qint64 mailId);
// The customers on the list whose latest record of the mail still reads "发送中" or starts with
// "结果未知", and none "成功": whether the mail reached them is unknown.
QSet<qint64> readUnknownCustomers(Database &connection, qint64 mailId);
// Throws Error "所选的邮件已不存在，请重新选择要发送的邮件。" when there is no such mail.
MailText readMail(Database &connection, qint64 mailId);
// The moments of the messages accepted after `since`, of any mail (records reading "成功"), for the
// daily cap; newest first. Read from the newest record back until one is older, so a long history
// costs nothing; a date that does not read as one (written in another region) is passed over.
QList<QDateTime> readAcceptedSince(Database &connection, const QDateTime &since);
// The subject alone (empty for a missing one), without the mail's file; the same error as readMail.
QString readMailSubject(Database &connection, qint64 mailId);
// Whether `mailChoice` is the number of a mail in the file.
bool mailExists(Database &connection, const QString &mailChoice);

// The run's appends to 发送情况.
class SendRecords
{
public:
    // Fails (DatabaseError) when the table or one of its columns is missing.
    explicit SendRecords(Database &connection);

    // A record written and taken away again in one committed transaction, which the engine must
    // write out and sync: fails now, before any message goes out, when the file cannot take a
    // record (read-only, locked by another program, a full disk).
    void checkWritable();

    // Gives the new record's key.
    qint64 append(qint64 customerId, const QString &mailChoice, const QString &sendDate, const QString &result);
    // The record of a customer whose message is about to go out, reading "发送中", committed
    // before anything is sent; `setResult` then gives it the result. Gives its key.
    qint64 appendIntent(qint64 customerId, const QString &mailChoice, const QString &sendDate);
    void setResult(qint64 key, const QString &sendDate, const QString &result);

private:
    Database &m_connection;
    Statement m_insert;
    Statement m_update;
};
