#pragma once

#include <QString>

class QComboBox;
class QLabel;
class TADODataSet;
class TDataSource;

// The send-record page "邮件发送情况": four mode buttons narrow the send-record view to one
// customer number, one mail number, both, or show all records again; the two number lists are
// filled from the customer and mail views each time they drop down; Label5 counts what the view
// holds after every open.
//
// The handlers keep the window's names. Engine failures (a statement the engine refuses, a list
// dropping down while its view is closed) propagate as EDatabaseError for the window's error box.
class TSendRecordBrowser
{
public:
    struct Page {
        QComboBox *ComboBox2; // customer numbers
        QComboBox *ComboBox3; // mail numbers
        QLabel *Label5;       // the count
    };

    // `customers`, `mails`: the sources of the views the lists are filled from; `sendRecords`: the
    // view whose statement the browser replaces. The browser holds them all but owns none.
    TSendRecordBrowser(TDataSource &customers, TDataSource &mails, TADODataSet &sendRecords, const Page &page);

    // The mode buttons; each runs only when its button becomes checked.
    void RadioButton3Click(); // 客户ID
    void RadioButton4Click(); // 邮件ID
    void RadioButton5Click(); // 客户ID+邮件ID
    void RadioButton6Click(); // 所有

    void ComboBox2DropDown();
    void ComboBox3DropDown();
    // The user picked an entry.
    void ComboBox2Change();
    void ComboBox3Change();

    // The send-record view's AfterOpen hook. Rows added to the open view later (a send run's
    // records) are not counted: the count tells what the last open found.
    void ADODataSet3AfterOpen();

private:
    void enableLists(bool customers, bool mails);
    void requery(const QString &statement);

    TDataSource &m_customers;
    TDataSource &m_mails;
    TADODataSet &m_sendRecords;
    Page m_page;
};
