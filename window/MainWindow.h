#pragma once

#include "Database.h"
#include "OpenDialog.h"
#include "RecordView.h"
#include "SendRun.h"
#include "SendRunInputs.h"
#include "ViewSource.h"

#include <QWidget>

#include <memory>


namespace Ui {
class MainWindow;
}
class SendRecordBrowser;
class SendRunDisplay;

// The program's one window, MainWindow: five pages of controls bound to the four record views. It owns
// the connection, the views and the import statement for the life of the program.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    std::unique_ptr<Database> database;
    std::unique_ptr<RecordView> customers;
    std::unique_ptr<RecordView> mails;
    std::unique_ptr<RecordView> sendRecords;
    std::unique_ptr<RecordView> account; // the one row of the mail account
    std::unique_ptr<ViewSource> customerSource;
    std::unique_ptr<ViewSource> mailSource;
    std::unique_ptr<ViewSource> sendRecordSource;
    std::unique_ptr<ViewSource> accountSource;
    std::unique_ptr<OpenDialog> openDialog; // the customer import's file choice
    SendRunLimits runLimits; // the send run's own time limits

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
    // The user turned the skip choice on or off: kept in the file at once.
    void storeSkipSent();

    void filterByCustomer();
    void filterByMail();
    void filterByBoth();
    void showAll();
    void fillCustomerFilter();
    void fillMailFilter();
    void customerFilterPicked();
    void mailFilterPicked();

    void importCustomers();

    // A send record written elsewhere (by the send run, `key` is its row's key), shown at once in
    // the send-record grid whatever its filter.
    void showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate, const QString &result);

protected:
    // Closing with changes not yet saved asks whether to save them; what is not saved is dropped.
    void closeEvent(QCloseEvent *event) override;

private:
    // The send run's signals, received on the window's thread.
    void showCustomer(qint64 customerId);
    void showProgress(int sent, int failed, int total);
    void runEnded();

    // Asks whether to save what the views hold unsaved and does as answered; false when the
    // window is to stay open. A refused save throws, and the window stays open too.
    bool settleUnsavedChanges();

    void showRunning();
    void keepRunInputsCurrent();
    // The skip choice as the file keeps it, once the file is open.
    void loadSkipSent();

    bool isDatabaseOpen() const;
    void requireOpenDatabase() const;

    void setUpData();
    void bindControls();
    void connectHandlers();

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<SendRecordBrowser> m_browser; // the page 邮件发送情况
    SendRunInputs m_runInputs;
    std::unique_ptr<SendRun> m_sendRun;
    std::unique_ptr<SendRunDisplay> m_runDisplay; // what the window shows of the run, once a frame
    // The box that tells how the run ended, shown once the controls are back.
    struct RunEndBox
    {
        bool isError = false;
        QString text;
    };
    RunEndBox m_runEndBox;
    // The window was asked to close during a run: it closes once the run has ended.
    bool m_closeAfterRun = false;
};
