#pragma once

#include "Database.h"
#include "OpenDialog.h"
#include "RecordView.h"
#include "ViewSource.h"

#include <QWidget>

#include <memory>

namespace Ui {
class MainWindow;
}
class AttachmentControls;
class SendPanel;
class SendRecordBrowser;

// The program's one window, MainWindow: five pages of controls bound to the four record views. It
// owns the connection and the views for the life of the program, opens them, and hands the pages
// with behaviour of their own to their classes: the send panel (SendPanel) and the send-record
// page (SendRecordBrowser).
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // The window on the database the location names: db.mdb in the working directory unless a
    // setting names a server.
    explicit MainWindow(const DatabaseLocation &location = DatabaseLocation::inFile(QStringLiteral("db.mdb")),
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // What the window shows, for tests and measurements to look at and drive.
    struct Views
    {
        Database &database;
        RecordView &customers;
        RecordView &mails;
        RecordView &sendRecords;
        RecordView &account; // the one row of the mail account
        SendRecordBrowser &browser;
        RecordView &refusals; // the do-not-mail list
    };
    Views views() const;

    // Opens the connection, then the customer, mail, send-record and settings views. The first
    // step that fails is shown in an error box and the steps after it are skipped; the window
    // opens all the same.
    void open();

protected:
    // Closing with changes not yet saved asks whether to save them; what is not saved is dropped.
    void closeEvent(QCloseEvent *event) override;

private:
    // The handlers and hooks of the customer and mail pages.
    void showCustomerCount();
    void stampCustomer();
    void stampMail();
    void showDateTime();
    void importCustomers();
    void showRefusalCount();
    void stampRefusal();
    void importRefusals();
    // Puts the address of the customer the page shows on the do-not-mail list and says how it went.
    void refuseCustomerAddress();
    void refuseSendRecordCustomer();
    void refuseAddress(const QString &address);

    // Asks whether to save what the views hold unsaved and does as answered; false when the
    // window is to stay open. A refused save throws, and the window stays open too.
    bool settleUnsavedChanges();

    // On a server, the program's tables: there already, or made now if the user agrees. False
    // (and the connection closed, so that a refresh asks again) when the window is to stay empty.
    bool haveServerTables();
    // The database in the user's words: 数据库文件“full path”, or 数据库“URL” on a server.
    QString databaseNamed() const;

    bool isDatabaseOpen() const;
    // The send and import commands need every view: without them they say why, in the user's words.
    void requireOpenDatabase() const;

    void setUpData();
    void bindControls();
    void connectHandlers();

    std::unique_ptr<Database> m_database;
    bool m_tablesDeclined = false; // the user did not want the tables made on the empty server database
    std::unique_ptr<RecordView> m_customers;
    std::unique_ptr<RecordView> m_mails;
    std::unique_ptr<RecordView> m_sendRecords;
    std::unique_ptr<RecordView> m_account;
    std::unique_ptr<RecordView> m_refusals;
    std::unique_ptr<ViewSource> m_customerSource;
    std::unique_ptr<ViewSource> m_mailSource;
    std::unique_ptr<ViewSource> m_sendRecordSource;
    std::unique_ptr<ViewSource> m_accountSource;
    std::unique_ptr<ViewSource> m_refusalSource;
    std::unique_ptr<OpenDialog> m_openDialog; // the customer import's file choice
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<SendRecordBrowser> m_browser; // the page 邮件发送情况
    std::unique_ptr<AttachmentControls> m_attachment; // the mail's file on the page 邮件信息
    std::unique_ptr<SendPanel> m_sendPanel; // goes first: it stops and joins a run still going
};
