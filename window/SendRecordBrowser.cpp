#include "SendRecordBrowser.h"

#include "ColumnList.h"
#include "Controls.h"
#include "Handlers.h"
#include "RecordView.h"
#include "Tables.h"
#include "ViewStatements.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

SendRecordBrowser::SendRecordBrowser(ViewSource &customers, ViewSource &mails, RecordView &sendRecords,
                                     const Page &page, QWidget *window)
    : m_customers(customers)
    , m_mails(mails)
    , m_sendRecords(sendRecords)
    , m_page(page)
{
    const auto on = [this, window](auto *sender, auto signal, void (SendRecordBrowser::*handler)()) {
        connect(sender, signal, this, boxes::guarded(window, [this, handler] { (this->*handler)(); }));
    };
    const std::pair<QRadioButton *, void (SendRecordBrowser::*)()> modes[] = {
        {page.byCustomer, &SendRecordBrowser::filterByCustomer},
        {page.byMail, &SendRecordBrowser::filterByMail},
        {page.byBoth, &SendRecordBrowser::filterByBoth},
        {page.all, &SendRecordBrowser::showAll},
    };
    for (const auto &[button, handler] : modes) {
        connect(button, &QRadioButton::toggled, this, [this, window, handler = handler](bool checked) {
            if (checked)
                boxes::runHandler(window, [this, handler] { (this->*handler)(); });
        });
    }
    on(page.customerFilter, &DropDownList::dropDown, &SendRecordBrowser::fillCustomerFilter);
    on(page.mailFilter, &DropDownList::dropDown, &SendRecordBrowser::fillMailFilter);
    on(page.customerFilter, &QComboBox::activated, &SendRecordBrowser::customerFilterPicked);
    on(page.mailFilter, &QComboBox::activated, &SendRecordBrowser::mailFilterPicked);
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
    requery(allSendRecordsStatement());
}

void SendRecordBrowser::fillCustomerFilter()
{
    fillFromColumn(*m_page.customerFilter, m_customers, column::CustomerId);
}

void SendRecordBrowser::fillMailFilter()
{
    fillFromColumn(*m_page.mailFilter, m_mails, column::MailId);
}

void SendRecordBrowser::customerFilterPicked()
{
    const QString customer = m_page.customerFilter->currentText();
    requery(m_page.mailFilter->isEnabled() ? sendRecordsOfBothStatement(customer, m_page.mailFilter->currentText())
                                           : sendRecordsOfCustomerStatement(customer));
}

void SendRecordBrowser::mailFilterPicked()
{
    const QString mail = m_page.mailFilter->currentText();
    requery(m_page.customerFilter->isEnabled() ? sendRecordsOfBothStatement(m_page.customerFilter->currentText(), mail)
                                               : sendRecordsOfMailStatement(mail));
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

void SendRecordBrowser::showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate,
                                       const QString &result)
{
    if (!m_sendRecords.isActive())
        return;
    QVariantList values(m_sendRecords.fields().size());
    const std::pair<const QString &, QVariant> columns[] = {{column::CustomerId, customerId},
                                                            {column::MailId, mailId},
                                                            {column::SendDate, sendDate},
                                                            {column::SendResult, result}};
    for (const auto &[name, value] : columns) {
        const int index = m_sendRecords.fieldIndex(name);
        if (index >= 0)
            values[index] = value;
    }
    m_sendRecords.appendRow(values, key);
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
