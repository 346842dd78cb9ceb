#pragma once

#include <QString>

class QComboBox;
class QLabel;
class RecordView;
class ViewSource;

// The send-record page "邮件发送情况": four mode buttons narrow the send-record view to one
// customer number, one mail number, both, or show all records again; the two number lists are
// filled from the customer and mail views each time they drop down; recordCount counts what the view
// holds after every open.
//
// The window hands its handlers on to these. Engine failures (a statement the engine refuses, a list
// dropping down while its view is closed) propagate as DatabaseError for the window's error box.
class SendRecordBrowser
{
public:
    struct Page
    {
        QComboBox *customerFilter; // customer numbers
        QComboBox *mailFilter; // mail numbers
        QLabel *recordCount; // the count
    };

    // `customers`, `mails`: the sources of the views the lists are filled from; `sendRecords`: the
    // view whose statement the browser replaces. The browser holds them all but owns none.
    SendRecordBrowser(ViewSource &customers, ViewSource &mails, RecordView &sendRecords, const Page &page);

    // The mode buttons; each runs only when its button becomes checked.
    void filterByCustomer(); // 客户ID
    void filterByMail(); // 邮件ID
    void filterByBoth(); // 客户ID+邮件ID
    void showAll(); // 所有

    void fillCustomerFilter();
    void fillMailFilter();
    // The user picked an entry.
    void customerFilterPicked();
    void mailFilterPicked();

    // The send-record view's afterOpen hook. Rows added to the open view later (a send run's
    // records) are not counted: the count tells what the last open found.
    void showRecordCount();

private:
    void enableLists(bool customers, bool mails);
    void requery(const QString &statement);

    ViewSource &m_customers;
    ViewSource &m_mails;
    RecordView &m_sendRecords;
    Page m_page;
};
