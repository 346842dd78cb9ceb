#pragma once

#include "Database.h"
#include "ImportStatement.h"
#include "OpenDialog.h"
#include "RecordView.h"
#include "SendRunHost.h"
#include "ViewSource.h"

#include <QWidget>

#include <memory>

class SendRun;
class SmtpSession;

namespace Ui {
class MainWindow;
}
class SendRecordBrowser;

// The program's one window, MainWindow: five pages of controls bound to the four record views. It owns
// the connection, the views and the import statement for the life of the program.
class MainWindow : public QWidget, public SendRunHost
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    std::unique_ptr<Database> database;
    std::unique_ptr<RecordView> customers; // customers
    std::unique_ptr<RecordView> mails; // mail texts
    std::unique_ptr<RecordView> sendRecords; // send records
    std::unique_ptr<RecordView> account; // the mail account
    std::unique_ptr<ImportStatement> importStatement; // the customer import's insert
    std::unique_ptr<ViewSource> customerSource;
    std::unique_ptr<ViewSource> mailSource;
    std::unique_ptr<ViewSource> sendRecordSource;
    std::unique_ptr<ViewSource> accountSource;
    std::unique_ptr<SmtpSession> smtp;
    std::unique_ptr<OpenDialog> openDialog; // the customer import's file choice

public slots:
    // Opens the connection, then the customer, mail, send-record and settings views. The first
    // step that fails is shown in an error box and the steps after it are skipped; the window
    // opens all the same.
    void open();

    void showCustomerCount();
    void stampCustomer();
    void stampMail();
    void showRecordCount();

    void fillMailChoice();
    void showDateTime();
    void send();

    void filterByCustomer();
    void filterByMail();
    void filterByBoth();
    void showAll();
    void fillCustomerFilter();
    void fillMailFilter();
    void customerFilterPicked();
    void mailFilterPicked();

    void importCustomers();

protected:
    // Closing asks nothing and saves nothing: a record being edited or inserted is dropped.
    void closeEvent(QCloseEvent *event) override;

private:
    // The send run's view of the window; every call comes from the run's thread and is carried
    // out here, on the window's.
    void runStarted() override;
    void runEnded() override;
    QString chosenMail() override;
    QString chosenPause() override;
    Account accountBoxes() override;
    Sender senderBoxes() override;
    QString dateTimeText(const QDateTime &moment) override;
    void showCustomer(qint64 customerId) override;
    void showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate) override;
    void showError(const QString &message) override;

    void setUpData();
    void bindControls();
    void connectHandlers();

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<SendRecordBrowser> m_browser; // the page 邮件发送情况
    std::unique_ptr<SendRun> m_sendRun;
    // The window was asked to close during a run: it closes once the run has ended.
    bool m_closeAfterRun = false;
};
