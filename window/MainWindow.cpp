#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "Appearance.h"
#include "AttachmentControls.h"
#include "CustomerImport.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "Error.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "RefusalList.h"
#include "RequiredSchema.h"
#include "SendRecordBrowser.h"
#include "SendRecords.h"
#include "SendPanel.h"
#include "ServerSchema.h"
#include "Tables.h"
#include "ViewStatements.h"
#include "WindowLog.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QScreen>


MainWindow::MainWindow(const DatabaseLocation &location, QWidget *parent)
    : QWidget(parent)
    , m_database(std::make_unique<Database>(location))
    , m_customers(std::make_unique<RecordView>())
    , m_mails(std::make_unique<RecordView>())
    , m_sendRecords(std::make_unique<RecordView>())
    , m_account(std::make_unique<RecordView>())
    , m_refusals(std::make_unique<RecordView>())
    , m_customerSource(std::make_unique<ViewSource>())
    , m_mailSource(std::make_unique<ViewSource>())
    , m_sendRecordSource(std::make_unique<ViewSource>())
    , m_accountSource(std::make_unique<ViewSource>())
    , m_refusalSource(std::make_unique<ViewSource>())
    , m_openDialog(std::make_unique<OpenDialog>(this))
    , ui(std::make_unique<Ui::MainWindow>())
{
    appearance::install();
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(706, 480);
    appearance::applyColors(this);
    const QList<QLabel *> labels = findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->property("autoSize").toBool())
            label->adjustSize();
    }
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    setUpData();
    m_browser = std::make_unique<SendRecordBrowser>(
        *m_database, *m_customerSource, *m_mailSource, *m_sendRecords,
        SendRecordBrowser::Page{ui->customerFilter, ui->mailFilter, ui->recordCount, ui->byCustomerButton,
                                ui->byMailButton, ui->byBothButton, ui->allButton, ui->mailSummary,
                                ui->exportButton},
        this);
    m_sendPanel = std::make_unique<SendPanel>(
        *this, *ui, SendPanel::Data{*m_database, *m_customers, *m_mails, *m_account, *m_mailSource, *m_browser},
        [this] { requireOpenDatabase(); });
    m_attachment = std::make_unique<AttachmentControls>(
        *m_mailSource, *m_database,
        AttachmentControls::Page{ui->addAttachmentButton, ui->removeAttachmentButton, ui->attachmentLabel}, this,
        [this] { requireOpenDatabase(); });
    bindControls();
    connectHandlers();
    open();
}

MainWindow::~MainWindow() = default;

MainWindow::Views MainWindow::views() const
{
    return {*m_database, *m_customers, *m_mails, *m_sendRecords, *m_account, *m_browser, *m_refusals};
}

void MainWindow::setUpData()
{
    for (RecordView *view : {m_customers.get(), m_mails.get(), m_sendRecords.get(), m_account.get(), m_refusals.get()})
        view->setDatabase(m_database.get());
    m_openDialog->filter = QStringLiteral("Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx");

    m_customers->setCommandType(RecordView::CommandType::Text);
    m_customers->setCommandText(customerViewStatement());
    m_mails->setCommandType(RecordView::CommandType::Text);
    m_mails->setCommandText(mailViewStatement());
    m_sendRecords->setCommandType(RecordView::CommandType::Table);
    m_sendRecords->setCommandText(table::SendRecords);
    m_account->setCommandType(RecordView::CommandType::Table);
    m_account->setCommandText(table::Settings);
    m_refusals->setCommandType(RecordView::CommandType::Table);
    m_refusals->setCommandText(table::RefusalList);

    m_customers->afterOpen = [this] { showCustomerCount(); };
    m_customers->afterRefresh = [this] { showCustomerCount(); };
    m_customers->beforePost = [this] { stampCustomer(); };
    m_mails->beforePost = [this] { stampMail(); };
    m_sendRecords->afterOpen = [this] { m_browser->showRecordCount(); };
    m_refusals->afterOpen = [this] { showRefusalCount(); };
    m_refusals->afterRefresh = [this] { showRefusalCount(); };
    m_refusals->beforePost = [this] { stampRefusal(); };

    m_customerSource->setView(m_customers.get());
    m_mailSource->setView(m_mails.get());
    m_sendRecordSource->setView(m_sendRecords.get());
    m_sendRecordSource->setAutoEdit(false);
    m_accountSource->setView(m_account.get());
    m_refusalSource->setView(m_refusals.get());
    // The counts follow every row the user adds or deletes, not only the next refresh.
    connect(m_customerSource.get(), &ViewSource::recordCountChanged, this, &MainWindow::showCustomerCount);
    connect(m_refusalSource.get(), &ViewSource::recordCountChanged, this, &MainWindow::showRefusalCount);

    m_customerSource->setNaming({QStringLiteral("客户"), column::CustomerName, column::CustomerId});
    m_mailSource->setNaming({QStringLiteral("邮件"), column::Subject, column::MailId});
    m_refusalSource->setNaming({QStringLiteral("退订地址"), column::Address, QString()});
}

void MainWindow::bindControls()
{
    ui->customerGrid->setSource(m_customerSource.get());
    ui->customerNavigator->setSource(m_customerSource.get());

    ui->mailGrid->setSource(m_mailSource.get());
    ui->subjectEdit->setSource(m_mailSource.get());
    ui->contentEdit->setSource(m_mailSource.get());
    ui->mailNavigator->setSource(m_mailSource.get());

    ui->sendRecordGrid->setSource(m_sendRecordSource.get());
    // A record reading 发送中 is one whose result is not known: left by a run that ended before
    // the server's reply (killed, the machine stopped), or, for a moment, the customer a run is at
    // when the grid is read anew just then (the run then shows the result in its place). Only the
    // grid says so; the file keeps what the run wrote, so that a later run can tell these
    // customers apart and nothing is rewritten behind the user's back.
    if (auto *records = qobject_cast<RecordModel *>(ui->sendRecordGrid->model()))
        records->showValueAs(column::SendResult, SendingResult, QStringLiteral("结果未知"));

    ui->advertisingBox->setSource(m_mailSource.get());

    for (FieldEdit *edit : {ui->senderNameEdit, ui->senderAddressEdit, ui->serverEdit, ui->userEdit, ui->passwordEdit,
                            ui->refusalTextEdit})
        edit->setSource(m_accountSource.get());
    ui->refusalOptionBox->setSource(m_accountSource.get());
    ui->dailyCapBox->setSource(m_accountSource.get());
    ui->accountNavigator->setSource(m_accountSource.get());

    ui->refusalGrid->setSource(m_refusalSource.get());
    ui->refusalNavigator->setSource(m_refusalSource.get());
    // While the database is not open, their refresh tries to open it again.
    for (RecordNavigator *navigator :
         {ui->customerNavigator, ui->mailNavigator, ui->accountNavigator, ui->refusalNavigator})
        navigator->setReopen([this] { open(); });
}

void MainWindow::connectHandlers()
{
    // Each handler runs guarded: an error it raises is shown in the error box right here.
    const auto on = [this](auto *sender, auto signal, void (MainWindow::*handler)()) {
        connect(sender, signal, this, boxes::guarded(this, [this, handler] { (this->*handler)(); }));
    };
    on(ui->customerPanel, &ClickablePanel::doubleClicked, &MainWindow::showDateTime);
    on(ui->importButton, &QPushButton::clicked, &MainWindow::importCustomers);
    on(ui->refusalImportButton, &QPushButton::clicked, &MainWindow::importRefusals);

    // The grids of a customer offer to put their address on the do-not-mail list.
    const auto offerRefusal = [&](QWidget *grid, void (MainWindow::*handler)()) {
        auto *action = new QAction(QStringLiteral("加入退订名单"), grid);
        action->setObjectName(QStringLiteral("refuseAction"));
        grid->addAction(action);
        grid->setContextMenuPolicy(Qt::ActionsContextMenu);
        on(action, &QAction::triggered, handler);
    };
    offerRefusal(ui->customerGrid, &MainWindow::refuseCustomerAddress);
    offerRefusal(ui->sendRecordGrid, &MainWindow::refuseSendRecordCustomer);
}

void MainWindow::open()
{
    const bool server = m_database->engine() == Engine::Postgres;
    try {
        m_database->setConnected(true);
    } catch (const Error &e) {
        if (server)
            boxes::showError(this, QStringLiteral("无法连接数据库“%1”：%2").arg(m_database->location().text(), e.message()));
        else
            boxes::showError(this, QStringLiteral("无法打开数据库文件“%1”：%2")
                                       .arg(QFileInfo(m_database->path()).absoluteFilePath(), e.message()));
        return;
    }
    if (server && !haveServerTables())
        return;
    if (!m_database->upgradeNotice().isEmpty())
        boxes::showMessage(this, m_database->upgradeNotice());
    try {
        // A database without a table or column the program needs is not opened at all: the views
        // would open, and the send would go out without the part (an empty password, say). The
        // next try reads the database afresh.
        const QStringList missing = missingSchemaParts(*m_database);
        if (!missing.isEmpty()) {
            m_database->setConnected(false);
            throw DatabaseError(QStringLiteral("%1缺少%2").arg(databaseNamed(), missing.join(u'、')));
        }
        m_customers->setActive(true);
        m_mails->setActive(true);
        m_sendRecords->setActive(true);
        m_account->setActive(true);
        m_refusals->setActive(true);
    } catch (const Error &e) {
        boxes::showError(this, e.message());
        return;
    }
    m_sendPanel->loadSkipSent();
}

bool MainWindow::haveServerTables()
{
    m_tablesDeclined = false;
    const QString named = databaseNamed();
    try {
        if (!serverHasNoTables(*m_database))
            return true;
    } catch (const Error &e) {
        m_database->setConnected(false);
        boxes::showError(this, QStringLiteral("无法读取%1：%2").arg(named, e.message()));
        return false;
    }
    if (!boxes::askYesNo(this, createTablesQuestion(m_database->location()))) {
        m_database->setConnected(false);
        m_tablesDeclined = true;
        return false;
    }
    try {
        createServerTables(*m_database);
    } catch (const Error &e) {
        m_database->setConnected(false);
        boxes::showError(this, QStringLiteral("无法在%1中创建本程序的表：%2").arg(named, e.message()));
        return false;
    }
    return true;
}

QString MainWindow::databaseNamed() const
{
    if (m_database->engine() == Engine::Postgres)
        return QStringLiteral("数据库“%1”").arg(m_database->location().text());
    return QStringLiteral("数据库文件“%1”").arg(QFileInfo(m_database->path()).absoluteFilePath());
}

bool MainWindow::isDatabaseOpen() const
{
    return m_database->isConnected() && m_customers->isActive() && m_mails->isActive() && m_sendRecords->isActive()
        && m_account->isActive();
}

void MainWindow::requireOpenDatabase() const
{
    if (isDatabaseOpen())
        return;
    if (m_tablesDeclined)
        throw Error(QStringLiteral("数据库没有打开：%1中还没有本程序的表。点导航条上的刷新按钮，回答“是”即可创建这些表")
                        .arg(databaseNamed()));
    throw Error(QStringLiteral("数据库没有打开。请检查%1，然后点导航条上的刷新按钮重新打开").arg(databaseNamed()));
}

void MainWindow::showCustomerCount()
{
    ui->customerCount->setText(QStringLiteral("数量:%1  ").arg(m_customerSource->savedRecordCount()));
    ui->customerCount->adjustSize();
}

void MainWindow::stampCustomer()
{
    m_customers->setFieldValue(column::EntryDate, QDateTime::currentDateTime());
}

void MainWindow::showRefusalCount()
{
    ui->refusalCount->setText(QStringLiteral("数量:%1").arg(m_refusalSource->savedRecordCount()));
}

void MainWindow::stampRefusal()
{
    // An address typed with blanks around it is kept as the list compares it.
    const QString address = m_refusals->fieldByName(column::Address).toString();
    if (address != address.trimmed())
        m_refusals->setFieldValue(column::Address, address.trimmed());
    if (m_refusals->fieldByName(column::RefusalDate).toString().isEmpty())
        m_refusals->setFieldValue(column::RefusalDate, QDateTime::currentDateTime());
}

void MainWindow::importRefusals()
{
    requireOpenDatabase();
    if (!m_refusals->isActive())
        throw Error(QStringLiteral("退订名单没有打开。"));
    OpenDialog dialog(this);
    dialog.filter = QStringLiteral("Excel文件或文本文件(*.xls;*.xlsx;*.txt)|*.xls;*.xlsx;*.txt");
    if (!dialog.execute())
        return;
    CustomerImport(
        m_database->location(), [this] { ui->refusalNavigator->click(RecordNavigator::Refresh); }, this,
        ImportTarget::RefusalList)
        .run(dialog.fileName);
}

void MainWindow::refuseCustomerAddress()
{
    requireOpenDatabase();
    if (m_customers->recordCount() == 0)
        return;
    refuseAddress(m_customers->fieldByName(column::Address).toString());
}

void MainWindow::refuseSendRecordCustomer()
{
    requireOpenDatabase();
    if (m_sendRecords->recordCount() == 0)
        return;
    refuseAddress(customerAddress(*m_database, m_sendRecords->fieldByName(column::CustomerId).toLongLong()));
}

void MainWindow::refuseAddress(const QString &address)
{
    if (address.trimmed().isEmpty()) {
        boxes::showMessage(this, QStringLiteral("这位客户没有电子邮件地址。"));
        return;
    }
    if (!m_refusals->isActive())
        throw Error(QStringLiteral("退订名单没有打开。"));
    if (!RefusalList(*m_database).add(address, RefusalByHandReason)) {
        boxes::showMessage(this, QStringLiteral("%1 已在退订名单中。").arg(address.trimmed()));
        return;
    }
    ui->refusalNavigator->click(RecordNavigator::Refresh);
    boxes::showMessage(this, QStringLiteral("已将 %1 加入退订名单。").arg(address.trimmed()));
}

void MainWindow::stampMail()
{
    m_mails->setFieldValue(column::CreationDate, QDateTime::currentDateTime());
}

void MainWindow::showDateTime()
{
    boxes::showMessage(this, formatDateTime(QDateTime::currentDateTime()));
}

void MainWindow::importCustomers()
{
    requireOpenDatabase();
    if (!m_openDialog->execute())
        return;
    CustomerImport(
        m_database->location(), [this] { ui->customerNavigator->click(RecordNavigator::Refresh); }, this)
        .run(m_openDialog->fileName);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // During a run nothing is released yet: the window closes once the run has stopped.
    if (m_sendPanel->stopBeforeClose()) {
        event->ignore();
        return;
    }

    bool settled = false;
    boxes::runHandler(this, [&] { settled = settleUnsavedChanges(); });
    if (!settled) {
        event->ignore();
        return;
    }

    // The controls let go of the views first, so nothing typed is handed over as the window goes.
    for (ViewSource *source : {m_customerSource.get(), m_mailSource.get(), m_sendRecordSource.get(), m_accountSource.get(),
                               m_refusalSource.get()}) {
        RecordView *view = source->view();
        source->setView(nullptr);
        if (view && (view->state() == RecordView::State::Editing || view->state() == RecordView::State::Inserting))
            view->cancel();
    }
    QWidget::closeEvent(event);
}

bool MainWindow::settleUnsavedChanges()
{
    // Text typed into a box or a grid cell counts as soon as it would reach the record; text the
    // record refuses counts too, and its error shows if the user then asks to save it.
    std::vector<ViewSource *> unsaved;
    for (ViewSource *source : {m_customerSource.get(), m_mailSource.get(), m_sendRecordSource.get(), m_accountSource.get(),
                               m_refusalSource.get()}) {
        if (!source->editing())
            continue;
        bool changed = true;
        try {
            source->updateRecord();
            changed = source->view()->modified();
        } catch (const Error &) {
        }
        if (changed)
            unsaved.push_back(source);
    }
    if (unsaved.empty())
        return true;

    switch (boxes::askToSave(this, QStringLiteral("有尚未保存的修改，是否保存？"))) {
    case boxes::SaveAnswer::Cancel: return false;
    case boxes::SaveAnswer::DontSave: return true;
    case boxes::SaveAnswer::Save: break;
    }
    for (ViewSource *source : unsaved) {
        source->updateRecord();
        source->view()->post();
    }
    return true;
}
