#pragma once

#include "OpenDialog.h"
#include "SendRecordRows.h"

#include <QObject>
#include <QString>

#include <optional>

class CustomerPicker;
class Database;
class DropDownList;
class QLabel;
class QPushButton;
class QRadioButton;
class QWidget;
class RecordView;
class ViewSource;

// The send-record page "邮件发送情况": four mode buttons narrow the send-record view to one
// customer number, one mail number, both, or show all records again; the customer is found by
// typing (CustomerPicker, which searches the database), the mail list is filled from the mail view
// each time it drops down; recordCount counts what the view
// holds, and while the records shown are one mail's, mailSummary tells how the
// customers stand with that mail. 导出… writes the records shown to a file.
//
// The page's controls are connected straight to these, each run through the handler guard: engine
// failures (a statement the engine refuses, a list dropping down while its view is closed) show in
// the error box.
class SendRecordBrowser : public QObject
{
    Q_OBJECT
public:
    struct Page
    {
        CustomerPicker *customerFilter; // customer numbers, found by typing
        DropDownList *mailFilter; // mail numbers
        QLabel *recordCount; // the count
        QRadioButton *byCustomer;
        QRadioButton *byMail;
        QRadioButton *byBoth;
        QRadioButton *all;
        QLabel *mailSummary; // the chosen mail's results, one line
        QPushButton *exportButton; // 导出…
    };

    // `database`: the window's connection, which the customer picker searches; `customers`: the
    // customer view, whose pending edit is saved before each search; `mails`: the source of the
    // view the mail list is filled from; `sendRecords`: the view whose statement the browser replaces. The browser
    // holds them all but owns none; errors show in boxes over `window`.
    SendRecordBrowser(Database &database, ViewSource &customers, ViewSource &mails, RecordView &sendRecords,
                      const Page &page, QWidget *window);

    // The mode buttons; each runs only when its button becomes checked.
    void filterByCustomer(); // 客户ID
    void filterByMail(); // 邮件ID
    void filterByBoth(); // 客户ID+邮件ID
    void showAll(); // 所有

    // Before the customer picker searches: what the customer page holds unsaved is saved first,
    // so that the search finds it.
    void prepareCustomerSearch();
    void fillMailFilter();
    // The user picked an entry.
    void customerFilterPicked();
    void mailFilterPicked();

    // The send-record view's afterOpen hook. The count follows the rows added to the open view later
    // (a send run's records) and those deleted. The mail summary is read afresh, with one statement,
    // when the view shows one mail's records.
    void showRecordCount();

    // 导出…: asks for a file and writes the records the view shows there, as the page filters them.
    void exportShown();
    // Which records the view's statement selects; none when its numbers are not numbers (the
    // engine refuses such a statement).
    std::optional<SendRecordFilter> shownFilter() const { return m_shown; }

    // A send record written elsewhere (by the send run, `key` is its row's key), shown at once in
    // the send-record grid whatever its filter, and counted.
    void showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate, const QString &result);

private:
    void enableLists(bool customers, bool mails);
    void requery(const QString &statement, std::optional<SendRecordFilter> filter);
    void showShownCount();
    void showMailSummary();
    void hideMailSummary();

    Database &m_database;
    ViewSource &m_customers;
    ViewSource &m_mails;
    RecordView &m_sendRecords;
    Page m_page;
    QWidget *m_window;
    OpenDialog m_exportDialog;
    std::optional<SendRecordFilter> m_shown = SendRecordFilter{}; // the view starts on the whole table
};
