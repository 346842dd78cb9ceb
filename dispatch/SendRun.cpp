#include "SendRun.h"

#include "Database.h"
#include "DateTimeText.h"
#include "DispatchLog.h"
#include "Error.h"
#include "Greeting.h"
#include "MailMessage.h"
#include "ServerText.h"
#include "SmtpSession.h"
#include "Statement.h"

#include <QDateTime>

#include <chrono>

namespace {

// The customers in the order the customer grid lists them (its statement, without an order).
QList<Recipient> readCustomers(Database &connection)
{
    QList<Recipient> customers;
    Statement query(connection.handle(), QStringLiteral("select 客户ID, 客户名称, 电子邮件地址 from 客户表"));
    while (query.step()) {
        // A missing name or address counts as the empty text.
        customers.append({query.column(0).toLongLong(), query.column(1).toString(), query.column(2).toString()});
    }
    return customers;
}

MailText readMail(Database &connection, qint64 mailId)
{
    Statement query(connection.handle(), QStringLiteral("select 邮件主题, 邮件内容 from 邮件表 where 邮件ID = ?"));
    query.bind(1, mailId);
    if (!query.step())
        throw Error(QStringLiteral("所选的邮件已不存在，请重新选择要发送的邮件。"));
    return {query.column(0).toString(), query.column(1).toString()};
}

// Gives the new record's key.
qint64 appendSendRecord(Database &connection, qint64 customerId, const QString &mailChoice, const QString &sendDate)
{
    Statement insert(connection.handle(),
                     QStringLiteral("insert into 发送情况(客户ID, 邮件ID, 发送日期) values(?, ?, ?)"));
    insert.bind(1, customerId);
    insert.bind(2, mailChoice);
    insert.bind(3, sendDate);
    insert.step();
    return insert.lastInsertId();
}

} // namespace

SendRun::SendRun(const SendRunInputs &inputs, SmtpSession &smtp, QString databasePath)
    : m_inputs(inputs)
    , m_smtp(smtp)
    , m_databasePath(std::move(databasePath))
{
}

SendRun::~SendRun()
{
    if (m_thread.joinable())
        m_thread.join();
}

void SendRun::start()
{
    m_running = true;
    m_thread = std::thread([this] { work(); });
}

void SendRun::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
}

void SendRun::work()
{
    try {
        sendToEveryCustomer();
        m_smtp.disconnect();
    } catch (const std::exception &e) {
        const auto *error = dynamic_cast<const Error *>(&e);
        const QString message = error ? error->message() : QString::fromUtf8(e.what());
        qCInfo(dispatchLog) << "run stopped:" << message;
        emit failed(message);
        // Whatever ended the run, the connection is closed, with QUIT while it is still up.
        try {
            m_smtp.disconnect();
        } catch (const std::exception &) {
        }
    }
    qCInfo(dispatchLog) << "run ended";
    m_running = false;
    emit finished();
}

void SendRun::sendToEveryCustomer()
{
    Database database(m_databasePath);
    database.setConnected(true);
    const QList<Recipient> customers = readCustomers(database);
    const MailText mail = readMail(database, m_inputs.mailChoice().toLongLong());

    const SendRunInputs::Account account = m_inputs.account();
    const ServerAddress server = parseServerText(account.server);
    m_smtp.host = server.host;
    m_smtp.userName = account.userName;
    m_smtp.port = server.port;
    m_smtp.security = securityForPort(server.port);
    m_smtp.password = account.password;
    // The password never goes into the trace.
    qCInfo(dispatchLog) << "run of mail" << m_inputs.mailChoice() << "to" << customers.size() << "customers through"
                        << account.server << "as" << account.userName;
    m_smtp.connect();

    for (const Recipient &customer : customers) {
        emit customerReached(customer.id);
        const SendRunInputs::Sender boxes = m_inputs.sender();
        MailMessage message;
        fillMessage(message, {boxes.name, boxes.address}, mail, customer);
        try {
            m_smtp.send(message);
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "accepted";
            pause(m_inputs.pauseChoice().toInt());
        } catch (const std::exception &e) {
            qCInfo(dispatchLog) << "customer" << customer.id << customer.address << "failed:" << e.what();
            // A refused message, recipient or login, or a lost connection: the customer still gets
            // the record, and the run goes on with the next one without a pause.
        }

        const QString sendDate = formatDateTime(QDateTime::currentDateTime());
        const QString mailChoice = m_inputs.mailChoice();
        const qint64 key = appendSendRecord(database, customer.id, mailChoice, sendDate);
        emit recordWritten(key, customer.id, mailChoice.toLongLong(), sendDate);

        std::lock_guard lock(m_mutex);
        if (m_stopRequested)
            break;
    }
}

void SendRun::pause(int seconds)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_stopRequested; });
}
