#pragma once

#include "db/ADOConnection.h"
#include "db/ADODataSet.h"
#include "db/ADOQuery.h"
#include "dispatch/SendRunHost.h"
#include "window/DataSource.h"
#include "window/import/OpenDialog.h"

#include <QWidget>

#include <memory>

class SendRun;
class TIdSMTP;

namespace Ui {
class TForm1;
}
class TSendRecordBrowser;

// The program's one window, Form1: five pages of controls bound to the four record views. It owns
// the connection, the views and the import statement for the life of the program.
class TForm1 : public QWidget, public SendRunHost
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    std::unique_ptr<TADOConnection> ADOConnection2;
    std::unique_ptr<TADODataSet> ADODataSet1; // customers
    std::unique_ptr<TADODataSet> ADODataSet2; // mail texts
    std::unique_ptr<TADODataSet> ADODataSet3; // send records
    std::unique_ptr<TADODataSet> ADODataSet4; // the mail account
    std::unique_ptr<TADOQuery> ADOQuery1;     // the customer import's insert
    std::unique_ptr<TDataSource> DataSource1;
    std::unique_ptr<TDataSource> DataSource2;
    std::unique_ptr<TDataSource> DataSource3;
    std::unique_ptr<TDataSource> DataSource4;
    std::unique_ptr<TIdSMTP> IdSMTP1;
    std::unique_ptr<TOpenDialog> OpenDialog1; // the customer import's file choice

public slots:
    // Opens the connection, then the customer, mail, send-record and settings views. The first
    // step that fails is shown in an error box and the steps after it are skipped; the window
    // opens all the same.
    void FormCreate();

    void ADODataSet1AfterOpen();
    void ADODataSet1AfterRefresh();
    void ADODataSet1BeforePost();
    void ADODataSet2BeforePost();
    void ADODataSet3AfterOpen();

    void ComboBox1DropDown();
    void Panel1DblClick();
    void Button1Click();

    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void ComboBox2DropDown();
    void ComboBox3DropDown();
    void ComboBox2Change();
    void ComboBox3Change();

    void Button2Click();

protected:
    // Closing asks nothing and saves nothing: a record being edited or inserted is dropped.
    void closeEvent(QCloseEvent *event) override;

private:
    // The send run's view of the window; every call comes from the run's thread and is carried
    // out here, on the window's.
    void runStarted() override;
    void runEnded() override;
    QString mailChoice() override;
    QString pauseChoice() override;
    Account account() override;
    Sender sender() override;
    QString dateTimeText(const QDateTime &moment) override;
    void showCustomer(qint64 customerId) override;
    void showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate) override;
    void showError(const QString &message) override;

    void setUpData();
    void bindControls();
    void connectHandlers();
    void showCustomerCount();

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<TSendRecordBrowser> m_browser; // the page 邮件发送情况
    std::unique_ptr<SendRun> m_sendRun;
    // The window was asked to close during a run: it closes once the run has ended.
    bool m_closeAfterRun = false;
};
