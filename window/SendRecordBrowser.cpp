#include "SendRecordBrowser.h"

#include "ColumnList.h"
#include "RecordView.h"

#include <QComboBox>
#include <QLabel>

namespace {

// The statements the send-record view runs, spacing exactly as given (the combined one has two
// blanks before "where" and none around "=").
QString allRecordsStatement()
{
    return QStringLiteral("select * from 发送情况");
}

QString customerStatement(const QString &customer)
{
    return QStringLiteral("select * from 发送情况 where 客户ID = ") + customer;
}

QString mailStatement(const QString &mail)
{
    return QStringLiteral("select * from 发送情况 where 邮件ID = ") + mail;
}

QString combinedStatement(const QString &customer, const QString &mail)
{
    return QStringLiteral("select * from 发送情况  where 客户ID=") + customer + QStringLiteral(" and 邮件ID=") + mail;
}

} // namespace

SendRecordBrowser::SendRecordBrowser(ViewSource &customers, ViewSource &mails, RecordView &sendRecords,
                                     const Page &page)
    : m_customers(customers)
    , m_mails(mails)
    , m_sendRecords(sendRecords)
    , m_page(page)
{
}

void SendRecordBrowser::filterByCustomer()
{
    enableLists(true, false);
}

void SendRecordBrowser::filterByMail()
{
    enableLists(false, true);
}

void SendRecordBrowser::filterByBoth()
{
    enableLists(true, true);
    // Both lists go to the number 1 where they offer it; a list that does not keeps what it shows.
    m_page.customerFilter->setCurrentText(QStringLiteral("1"));
    m_page.mailFilter->setCurrentText(QStringLiteral("1"));
}

void SendRecordBrowser::showAll()
{
    enableLists(false, false);
    requery(allRecordsStatement());
}

void SendRecordBrowser::fillCustomerFilter()
{
    fillFromColumn(*m_page.customerFilter, m_customers, QStringLiteral("客户ID"));
}

void SendRecordBrowser::fillMailFilter()
{
    fillFromColumn(*m_page.mailFilter, m_mails, QStringLiteral("邮件ID"));
}

void SendRecordBrowser::customerFilterPicked()
{
    const QString customer = m_page.customerFilter->currentText();
    requery(m_page.mailFilter->isEnabled() ? combinedStatement(customer, m_page.mailFilter->currentText())
                                           : customerStatement(customer));
}

void SendRecordBrowser::mailFilterPicked()
{
    const QString mail = m_page.mailFilter->currentText();
    requery(m_page.customerFilter->isEnabled() ? combinedStatement(m_page.customerFilter->currentText(), mail)
                                               : mailStatement(mail));
}

void SendRecordBrowser::showRecordCount()
{
    // Ends where a counting walk over the records ends, on the last one with Eof set, without
    // stepping over the millions of records in between.
    m_sendRecords.first();
    if (!m_sendRecords.eof()) {
        m_sendRecords.last();
        m_sendRecords.next();
    }
    m_page.recordCount->setText(QString::number(m_sendRecords.recordCount()));
}

void SendRecordBrowser::enableLists(bool customers, bool mails)
{
    m_page.customerFilter->setEnabled(customers);
    m_page.mailFilter->setEnabled(mails);
}

// A refused statement leaves the view closed (its grid empty) and the count as it was.
void SendRecordBrowser::requery(const QString &statement)
{
    m_sendRecords.close();
    m_sendRecords.setCommandType(RecordView::CommandType::Text);
    m_sendRecords.setCommandText(statement);
    m_sendRecords.open();
}
