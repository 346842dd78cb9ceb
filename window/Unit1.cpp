#include "Unit1.h"

#include "ui_Unit1.h"

#include "dispatch/SendCommand.h"
#include "dispatch/SendRun.h"
#include "mail/IdSMTP.h"
#include "shell/Exception.h"
#include "shell/Handlers.h"
#include "shell/MessageBoxes.h"
#include "window/Appearance.h"
#include "window/ColumnList.h"
#include "window/DateTimeText.h"
#include "window/OnWindowThread.h"
#include "window/SendRecordBrowser.h"
#include "window/import/CustomerImport.h"

#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
    , ADOConnection2(std::make_unique<TADOConnection>())
    , ADODataSet1(std::make_unique<TADODataSet>())
    , ADODataSet2(std::make_unique<TADODataSet>())
    , ADODataSet3(std::make_unique<TADODataSet>())
    , ADODataSet4(std::make_unique<TADODataSet>())
    , ADOQuery1(std::make_unique<TADOQuery>())
    , DataSource1(std::make_unique<TDataSource>())
    , DataSource2(std::make_unique<TDataSource>())
    , DataSource3(std::make_unique<TDataSource>())
    , DataSource4(std::make_unique<TDataSource>())
    , IdSMTP1(std::make_unique<TIdSMTP>())
    , OpenDialog1(std::make_unique<TOpenDialog>(this))
    , ui(std::make_unique<Ui::TForm1>())
{
    appearance::install();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(706, 480);
    appearance::applyColors(this);
    const QList<QLabel *> labels = findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->property("AutoSize").toBool())
            label->adjustSize();
    }
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    setUpData();
    m_browser = std::make_unique<TSendRecordBrowser>(
        *DataSource1, *DataSource2, *ADODataSet3, TSendRecordBrowser::Page{ui->ComboBox2, ui->ComboBox3, ui->Label5});
    bindControls();
    connectHandlers();
    FormCreate();
}

TForm1::~TForm1()
{
    // Nothing is released under a run that still uses it: the run is stopped and waited for, while
    // the window goes on serving the calls it makes.
    if (m_sendRun) {
        m_sendRun->requestStop();
        while (m_sendRun->running())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        m_sendRun.reset();
    }
}

void TForm1::setUpData()
{
    for (TADODataSet *dataSet : {ADODataSet1.get(), ADODataSet2.get(), ADODataSet3.get(), ADODataSet4.get()})
        dataSet->setConnection(ADOConnection2.get());
    ADOQuery1->setConnection(ADOConnection2.get());
    OpenDialog1->Filter = QStringLiteral("Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx");

    ADODataSet1->setCommandType(TCommandType::cmdText);
    ADODataSet1->setCommandText(QStringLiteral("select 客户ID, 客户名称, 电子邮件地址,录入日期 from 客户表"));
    ADODataSet2->setCommandType(TCommandType::cmdTable);
    ADODataSet2->setCommandText(QStringLiteral("邮件表"));
    ADODataSet3->setCommandType(TCommandType::cmdTable);
    ADODataSet3->setCommandText(QStringLiteral("发送情况"));
    ADODataSet4->setCommandType(TCommandType::cmdTable);
    ADODataSet4->setCommandText(QStringLiteral("设置"));

    ADODataSet1->AfterOpen = [this] { ADODataSet1AfterOpen(); };
    ADODataSet1->AfterRefresh = [this] { ADODataSet1AfterRefresh(); };
    ADODataSet1->BeforePost = [this] { ADODataSet1BeforePost(); };
    ADODataSet2->BeforePost = [this] { ADODataSet2BeforePost(); };
    ADODataSet3->AfterOpen = [this] { ADODataSet3AfterOpen(); };

    DataSource1->setDataSet(ADODataSet1.get());
    DataSource2->setDataSet(ADODataSet2.get());
    DataSource3->setDataSet(ADODataSet3.get());
    DataSource3->setAutoEdit(false);
    DataSource4->setDataSet(ADODataSet4.get());
}

void TForm1::bindControls()
{
    ui->DBGrid1->setDataSource(DataSource1.get());
    ui->DBNavigator2->setDataSource(DataSource1.get());

    ui->DBGrid2->setDataSource(DataSource2.get());
    ui->DBEdit1->setDataSource(DataSource2.get());
    ui->DBMemo1->setDataSource(DataSource2.get());
    ui->DBNavigator1->setDataSource(DataSource2.get());

    ui->DBGrid3->setDataSource(DataSource3.get());

    for (TDBEdit *edit : {ui->DBEdit2, ui->DBEdit3, ui->DBEdit4, ui->DBEdit5, ui->DBEdit6})
        edit->setDataSource(DataSource4.get());
    ui->DBNavigator3->setDataSource(DataSource4.get());
}

void TForm1::connectHandlers()
{
    // Each handler runs guarded: an error it raises is shown in the error box right here.
    const auto on = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, shell::guarded(this, [this, handler] { (this->*handler)(); }));
    };
    on(ui->Panel1, &TPanel::DblClick, &TForm1::Panel1DblClick);
    on(ui->ComboBox1, &TComboBox::DropDown, &TForm1::ComboBox1DropDown);
    on(ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);

    const std::pair<QRadioButton *, void (TForm1::*)()> radioButtons[] = {
        {ui->RadioButton3, &TForm1::RadioButton3Click},
        {ui->RadioButton4, &TForm1::RadioButton4Click},
        {ui->RadioButton5, &TForm1::RadioButton5Click},
        {ui->RadioButton6, &TForm1::RadioButton6Click},
    };
    for (const auto &[button, handler] : radioButtons) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked)
                shell::runHandler(this, [this, handler = handler] { (this->*handler)(); });
        });
    }
    on(ui->ComboBox2, &TComboBox::DropDown, &TForm1::ComboBox2DropDown);
    on(ui->ComboBox3, &TComboBox::DropDown, &TForm1::ComboBox3DropDown);
    on(ui->ComboBox2, &QComboBox::activated, &TForm1::ComboBox2Change);
    on(ui->ComboBox3, &QComboBox::activated, &TForm1::ComboBox3Change);

    on(ui->Button2, &QPushButton::clicked, &TForm1::Button2Click);
}

void TForm1::FormCreate()
{
    try {
        ADOConnection2->setConnected(true);
        ADODataSet1->setActive(true);
        ADODataSet2->setActive(true);
        ADODataSet3->setActive(true);
        ADODataSet4->setActive(true);
    } catch (const Exception &e) {
        shell::showError(this, e.message());
    }
}

void TForm1::showCustomerCount()
{
    ui->Label13->setText(QStringLiteral("数量:%1  ").arg(ADODataSet1->RecordCount()));
    ui->Label13->adjustSize();
}

void TForm1::ADODataSet1AfterOpen()
{
    showCustomerCount();
}

void TForm1::ADODataSet1AfterRefresh()
{
    showCustomerCount();
}

void TForm1::ADODataSet1BeforePost()
{
    ADODataSet1->setFieldValue(QStringLiteral("录入日期"), QDateTime::currentDateTime());
}

void TForm1::ADODataSet2BeforePost()
{
    ADODataSet2->setFieldValue(QStringLiteral("建立日期"), QDateTime::currentDateTime());
}

void TForm1::ComboBox1DropDown()
{
    // The list offers the mails as they are now; the walk leaves the mail page on the last mail.
    fillFromColumn(*ui->ComboBox1, *DataSource2, QStringLiteral("邮件ID"));
}

void TForm1::Panel1DblClick()
{
    shell::showMessage(this, DateTimeText(QDateTime::currentDateTime()));
}

void TForm1::Button1Click()
{
    if (const auto refusal = sendCommandRefusal(*ADODataSet1, *ADODataSet2, *ADODataSet4,
                                                ui->ComboBox1->currentText(), *ADOConnection2)) {
        shell::showMessage(this, *refusal);
        return;
    }
    // Disabled before the window serves any further input, so a quick second click starts nothing.
    ui->Button1->setEnabled(false);
    m_sendRun.reset();
    m_sendRun = std::make_unique<SendRun>(*this, *IdSMTP1, ADOConnection2->path());
    m_sendRun->start();
}

void TForm1::runStarted()
{
    onWindowThread(this, [this] {
        ui->Button1->setText(QStringLiteral("邮件发送中..."));
        ui->Button1->setEnabled(false);
        ui->DBNavigator1->setEnabled(false);
        ui->DBNavigator3->setEnabled(false);
        ui->ComboBox1->setEnabled(false);
    });
}

void TForm1::runEnded()
{
    onWindowThread(this, [this] {
        ui->Button1->setEnabled(true);
        ui->Button1->setText(QStringLiteral("发送"));
        ui->DBNavigator1->setEnabled(true);
        ui->DBNavigator3->setEnabled(true);
        ui->ComboBox1->setEnabled(true);
        // The run's thread is still returning from this call; the close goes on afterwards.
        if (m_closeAfterRun)
            QTimer::singleShot(0, this, &QWidget::close);
    });
}

QString TForm1::mailChoice()
{
    return onWindowThread(this, [this] { return ui->ComboBox1->currentText(); });
}

QString TForm1::pauseChoice()
{
    return onWindowThread(this, [this] { return ui->ComboBox4->currentText(); });
}

SendRunHost::Account TForm1::account()
{
    return onWindowThread(this, [this] {
        return Account{ui->DBEdit4->text(), ui->DBEdit5->text(), ui->DBEdit6->text()};
    });
}

SendRunHost::Sender TForm1::sender()
{
    return onWindowThread(this, [this] { return Sender{ui->DBEdit2->text(), ui->DBEdit3->text()}; });
}

QString TForm1::dateTimeText(const QDateTime &moment)
{
    return onWindowThread(this, [&moment] { return DateTimeText(moment); });
}

void TForm1::showCustomer(qint64 customerId)
{
    onWindowThread(this, [this, customerId] {
        // A customer the user is typing into is left alone: moving would save the typing unasked.
        if (ADODataSet1->State() == TDataSetState::dsBrowse)
            ADODataSet1->Locate(QStringLiteral("客户ID"), customerId);
    });
}

void TForm1::showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate)
{
    onWindowThread(this, [&, this] {
        // Shown whatever the browser's filter; the count label is not recounted for it.
        if (!ADODataSet3->Active())
            return;
        QVariantList values(ADODataSet3->Fields().size());
        const std::pair<const char16_t *, QVariant> columns[] = {
            {u"客户ID", customerId}, {u"邮件ID", mailId}, {u"发送日期", sendDate}};
        for (const auto &[name, value] : columns) {
            const int index = ADODataSet3->FieldIndex(QString::fromUtf16(name));
            if (index >= 0)
                values[index] = value;
        }
        ADODataSet3->AppendRow(values, key);
    });
}

void TForm1::showError(const QString &message)
{
    onWindowThread(this, [this, &message] { shell::showError(this, message); });
}

void TForm1::RadioButton3Click()
{
    m_browser->RadioButton3Click();
}

void TForm1::RadioButton4Click()
{
    m_browser->RadioButton4Click();
}

void TForm1::RadioButton5Click()
{
    m_browser->RadioButton5Click();
}

void TForm1::RadioButton6Click()
{
    m_browser->RadioButton6Click();
}

void TForm1::ComboBox2DropDown()
{
    m_browser->ComboBox2DropDown();
}

void TForm1::ComboBox3DropDown()
{
    m_browser->ComboBox3DropDown();
}

void TForm1::ComboBox2Change()
{
    m_browser->ComboBox2Change();
}

void TForm1::ComboBox3Change()
{
    m_browser->ComboBox3Change();
}

void TForm1::ADODataSet3AfterOpen()
{
    m_browser->ADODataSet3AfterOpen();
}

void TForm1::Button2Click()
{
    if (!OpenDialog1->Execute())
        return;
    TCustomerImport(*ADOQuery1, [this] { ui->DBNavigator2->BtnClick(nbRefresh); }, this).Run(OpenDialog1->FileName);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // During a run nothing is released yet: the run is told to stop (a pause ends at once, the
    // current customer is finished and recorded, QUIT is sent) and the window closes when it has.
    if (m_sendRun && m_sendRun->running()) {
        m_closeAfterRun = true;
        m_sendRun->requestStop();
        event->ignore();
        return;
    }

    // The controls let go of the views first, so nothing typed is handed over as the window goes.
    for (TDataSource *source : {DataSource1.get(), DataSource2.get(), DataSource3.get(), DataSource4.get()}) {
        TADODataSet *dataSet = source->DataSet();
        source->setDataSet(nullptr);
        if (dataSet && (dataSet->State() == TDataSetState::dsEdit || dataSet->State() == TDataSetState::dsInsert))
            dataSet->Cancel();
    }
    QWidget::closeEvent(event);
}
