#include "SendRecordBrowser.h"

#include "db/ADODataSet.h"
#include "window/ColumnList.h"

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

TSendRecordBrowser::TSendRecordBrowser(TDataSource &customers, TDataSource &mails, TADODataSet &sendRecords,
                                       const Page &page)
    : m_customers(customers)
    , m_mails(mails)
    , m_sendRecords(sendRecords)
    , m_page(page)
{
}

void TSendRecordBrowser::RadioButton3Click()
{
    enableLists(true, false);
}

void TSendRecordBrowser::RadioButton4Click()
{
    enableLists(false, true);
}

void TSendRecordBrowser::RadioButton5Click()
{
    enableLists(true, true);
    // Both lists go to the number 1 where they offer it; a list that does not keeps what it shows.
    m_page.ComboBox2->setCurrentText(QStringLiteral("1"));
    m_page.ComboBox3->setCurrentText(QStringLiteral("1"));
}

void TSendRecordBrowser::RadioButton6Click()
{
    enableLists(false, false);
    requery(allRecordsStatement());
}

void TSendRecordBrowser::ComboBox2DropDown()
{
    fillFromColumn(*m_page.ComboBox2, m_customers, QStringLiteral("客户ID"));
}

void TSendRecordBrowser::ComboBox3DropDown()
{
    fillFromColumn(*m_page.ComboBox3, m_mails, QStringLiteral("邮件ID"));
}

void TSendRecordBrowser::ComboBox2Change()
{
    const QString customer = m_page.ComboBox2->currentText();
    requery(m_page.ComboBox3->isEnabled() ? combinedStatement(customer, m_page.ComboBox3->currentText())
                                          : customerStatement(customer));
}

void TSendRecordBrowser::ComboBox3Change()
{
    const QString mail = m_page.ComboBox3->currentText();
    requery(m_page.ComboBox2->isEnabled() ? combinedStatement(m_page.ComboBox2->currentText(), mail)
                                          : mailStatement(mail));
}

void TSendRecordBrowser::ADODataSet3AfterOpen()
{
    int count = 0;
    m_sendRecords.First();
    while (!m_sendRecords.Eof()) {
        ++count;
        m_sendRecords.Next();
    }
    m_page.Label5->setText(QString::number(count));
}

void TSendRecordBrowser::enableLists(bool customers, bool mails)
{
    m_page.ComboBox2->setEnabled(customers);
    m_page.ComboBox3->setEnabled(mails);
}

// A refused statement leaves the view closed (its grid empty) and the count as it was.
void TSendRecordBrowser::requery(const QString &statement)
{
    m_sendRecords.Close();
    m_sendRecords.setCommandType(TCommandType::cmdText);
    m_sendRecords.setCommandText(statement);
    m_sendRecords.Open();
}
