#include "SendRecordBrowser.h"

#include "ColumnList.h"
#include "Controls.h"
#include "CustomerPicker.h"
#include "DatabaseError.h"
#include "Database.h"
#include "Error.h"
#include "Handlers.h"
#include "RecordExport.h"
#include "RecordView.h"
#include "ResultSummary.h"
#include "Tables.h"
#include "ViewSource.h"
#include "ViewStatements.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {

// What a statement of the page selects, from the texts of the lists it puts in (a list it leaves out
// is null); none where a text is not a whole number, which the engine refuses as well.
std::optional<SendRecordFilter> filterOf(const QComboBox *customers, const QComboBox *mails)
{
    SendRecordFilter filter;
    const std::pair<const QComboBox *, std::optional<qint64> *> numbers[] = {{customers, &filter.customerId},
                                                                               {mails, &filter.mailId}};
    for (const auto &[list, number] : numbers) {
        if (!list)
            continue;
        bool ok = false;
        *number = chosenKey(*list).toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    }
    return filter;
}

} // namespace

SendRecordBrowser::SendRecordBrowser(Database &database, ViewSource &customers, ViewSource &mails,
                                     RecordView &sendRecords, const Page &page, QWidget *window)
    : m_database(database)
    , m_customers(customers)
    , m_mails(mails)
    , m_sendRecords(sendRecords)
    , m_page(page)
    , m_window(window)
    , m_exportDialog(window, OpenDialog::Purpose::Save)
{
    m_exportDialog.filter = QStringLiteral("Excel 工作簿 (*.xlsx)|*.xlsx|CSV 文件 (*.csv)|*.csv");
    hideMailSummary();
    // The count tells the rows the grid shows: a run's records added to it, a record deleted.
    for (auto signal : {&RecordView::rowInserted, &RecordView::rowRemoved})
        connect(&m_sendRecords, signal, this, &SendRecordBrowser::showShownCount);
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
    page.customerFilter->setSearch(database, [this] { prepareCustomerSearch(); });
    on(page.mailFilter, &DropDownList::dropDown, &SendRecordBrowser::fillMailFilter);
    on(page.customerFilter, &CustomerPicker::customerChosen, &SendRecordBrowser::customerFilterPicked);
    on(page.mailFilter, &QComboBox::activated, &SendRecordBrowser::mailFilterPicked);
    on(page.exportButton, &QPushButton::clicked, &SendRecordBrowser::exportShown);
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
    // The picker offers every customer once it has offered any, as the full list did once it had
    // dropped down.
    m_page.customerFilter->chooseId(QStringLiteral("1"));
    chooseKey(*m_page.mailFilter, QStringLiteral("1"));
}

void SendRecordBrowser::showAll()
{
    enableLists(false, false);
    requery(allSendRecordsStatement(), SendRecordFilter{});
}

void SendRecordBrowser::prepareCustomerSearch()
{
    RecordView *view = m_customers.view();
    if (!view)
        throw DatabaseError::closedDataset();
    m_customers.updateRecord();
    if (view->state() == RecordView::State::Editing || view->state() == RecordView::State::Inserting)
        view->post();
}

void SendRecordBrowser::fillMailFilter()
{
    fillFromColumn(*m_page.mailFilter, m_mails, column::MailId, column::Subject);
}

void SendRecordBrowser::customerFilterPicked()
{
    const QString customer = chosenKey(*m_page.customerFilter);
    if (m_page.mailFilter->isEnabled())
        requery(sendRecordsOfBothStatement(customer, chosenKey(*m_page.mailFilter)),
                filterOf(m_page.customerFilter, m_page.mailFilter));
    else
        requery(sendRecordsOfCustomerStatement(customer), filterOf(m_page.customerFilter, nullptr));
}

void SendRecordBrowser::mailFilterPicked()
{
    const QString mail = chosenKey(*m_page.mailFilter);
    if (m_page.customerFilter->isEnabled())
        requery(sendRecordsOfBothStatement(chosenKey(*m_page.customerFilter), mail),
                filterOf(m_page.customerFilter, m_page.mailFilter));
    else
        requery(sendRecordsOfMailStatement(mail), filterOf(nullptr, m_page.mailFilter));
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
    showShownCount();
    showMailSummary();
}

void SendRecordBrowser::showShownCount()
{
    m_page.recordCount->setText(QString::number(m_sendRecords.recordCount()));
}

void SendRecordBrowser::showMailSummary()
{
    if (!m_shown || !m_shown->mailId || !m_database.isConnected()) {
        hideMailSummary();
        return;
    }
    const ResultSummary summary = readResultSummary(m_database, *m_shown->mailId);
    m_page.mailSummary->setText(resultSummaryText(summary));
    // Not in the line: the four numbers are the page's own; these customers may have got the mail.
    m_page.mailSummary->setToolTip(
        summary.unknown > 0
            ? QStringLiteral("另有 %1 位客户的记录早于发送结果的保存，结果不明").arg(summary.unknown)
            : QString());
    m_page.mailSummary->show();
}

void SendRecordBrowser::hideMailSummary()
{
    m_page.mailSummary->clear();
    m_page.mailSummary->setToolTip(QString());
    m_page.mailSummary->hide();
}

void SendRecordBrowser::exportShown()
{
    if (!m_sendRecords.isActive() || !m_shown)
        throw Error(QStringLiteral("没有显示发送记录，无法导出"));
    // Taken before the dialog: the records written are the ones shown when the button was pressed.
    const SendRecordFilter filter = *m_shown;
    if (!m_exportDialog.execute())
        return;
    RecordExport(m_database.location(), m_window).run(filter, m_exportDialog.fileName);
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

// A refused statement leaves the view closed (its grid empty), the count as it was and no summary.
void SendRecordBrowser::requery(const QString &statement, std::optional<SendRecordFilter> filter)
{
    m_shown = filter;
    hideMailSummary();
    m_sendRecords.close();
    m_sendRecords.setCommandType(RecordView::CommandType::Text);
    m_sendRecords.setCommandText(statement);
    m_sendRecords.open();
}
