#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "Appearance.h"
#include "ColumnList.h"
#include "CustomerImport.h"
#include "DatabaseError.h"
#include "DateTimeText.h"
#include "Error.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "RequiredSchema.h"
#include "SendCommand.h"
#include "SendOptions.h"
#include "SendRecordBrowser.h"
#include "SendRun.h"
#include "SendRunDisplay.h"
#include "Tables.h"
#include "ViewStatements.h"
#include "WindowLog.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QScreen>
#include <QSignalBlocker>

#include <utility>

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , database(std::make_unique<Database>())
    , customers(std::make_unique<RecordView>())
    , mails(std::make_unique<RecordView>())
    , sendRecords(std::make_unique<RecordView>())
    , account(std::make_unique<RecordView>())
    , customerSource(std::make_unique<ViewSource>())
    , mailSource(std::make_unique<ViewSource>())
    , sendRecordSource(std::make_unique<ViewSource>())
    , accountSource(std::make_unique<ViewSource>())
    , openDialog(std::make_unique<OpenDialog>(this))
    , ui(std::make_unique<Ui::MainWindow>())
    , m_runDisplay(std::make_unique<SendRunDisplay>(SendRunDisplay::Targets{
          [this](qint64 customerId) { showCustomer(customerId); },
          [this](const SendRunDisplay::Progress &p) { showProgress(p.sent, p.failed, p.total); },
          [this](const SendRunDisplay::Record &r) {
              showSendRecord(r.key, r.customerId, r.mailId, r.sendDate, r.result);
          }}))
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
        *customerSource, *mailSource, *sendRecords,
        SendRecordBrowser::Page{ui->customerFilter, ui->mailFilter, ui->recordCount});
    bindControls();
    connectHandlers();
    keepRunInputsCurrent();
    open();
}

MainWindow::~MainWindow()
{
    // Nothing is released under a run that still uses it: the run is stopped and joined. It never
    // waits for the window, so this cannot wait for it either.
    if (m_sendRun) {
        m_sendRun->requestStop();
        m_sendRun.reset();
    }
}

void MainWindow::setUpData()
{
    for (RecordView *view : {customers.get(), mails.get(), sendRecords.get(), account.get()})
        view->setDatabase(database.get());
    openDialog->filter = QStringLiteral("Excel文件(*.xls;*.xlsx)|*.xls;*.xlsx");

    customers->setCommandType(RecordView::CommandType::Text);
    customers->setCommandText(customerViewStatement());
    mails->setCommandType(RecordView::CommandType::Table);
    mails->setCommandText(table::Mails);
    sendRecords->setCommandType(RecordView::CommandType::Table);
    sendRecords->setCommandText(table::SendRecords);
    account->setCommandType(RecordView::CommandType::Table);
    account->setCommandText(table::Settings);

    customers->afterOpen = [this] { showCustomerCount(); };
    customers->afterRefresh = [this] { showCustomerCount(); };
    customers->beforePost = [this] { stampCustomer(); };
    mails->beforePost = [this] { stampMail(); };
    sendRecords->afterOpen = [this] { showRecordCount(); };

    customerSource->setView(customers.get());
    mailSource->setView(mails.get());
    sendRecordSource->setView(sendRecords.get());
    sendRecordSource->setAutoEdit(false);
    accountSource->setView(account.get());
}

void MainWindow::bindControls()
{
    ui->customerGrid->setSource(customerSource.get());
    ui->customerNavigator->setSource(customerSource.get());

    ui->mailGrid->setSource(mailSource.get());
    ui->subjectEdit->setSource(mailSource.get());
    ui->contentEdit->setSource(mailSource.get());
    ui->mailNavigator->setSource(mailSource.get());

    ui->sendRecordGrid->setSource(sendRecordSource.get());

    for (FieldEdit *edit : {ui->senderNameEdit, ui->senderAddressEdit, ui->serverEdit, ui->userEdit, ui->passwordEdit})
        edit->setSource(accountSource.get());
    ui->accountNavigator->setSource(accountSource.get());
    // While the database is not open, their refresh tries to open it again.
    for (RecordNavigator *navigator : {ui->customerNavigator, ui->mailNavigator, ui->accountNavigator})
        navigator->setReopen([this] { open(); });
}

void MainWindow::connectHandlers()
{
    // Each handler runs guarded: an error it raises is shown in the error box right here.
    const auto on = [this](auto *sender, auto signal, void (MainWindow::*handler)()) {
        connect(sender, signal, this, boxes::guarded(this, [this, handler] { (this->*handler)(); }));
    };
    on(ui->customerPanel, &ClickablePanel::doubleClicked, &MainWindow::showDateTime);
    on(ui->mailChoice, &DropDownList::dropDown, &MainWindow::fillMailChoice);
    on(ui->sendButton, &QPushButton::clicked, &MainWindow::send);
    on(ui->skipSentBox, &QCheckBox::toggled, &MainWindow::storeSkipSent);

    const std::pair<QRadioButton *, void (MainWindow::*)()> radioButtons[] = {
        {ui->byCustomerButton, &MainWindow::filterByCustomer},
        {ui->byMailButton, &MainWindow::filterByMail},
        {ui->byBothButton, &MainWindow::filterByBoth},
        {ui->allButton, &MainWindow::showAll},
    };
    for (const auto &[button, handler] : radioButtons) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool checked) {
            if (checked)
                boxes::runHandler(this, [this, handler = handler] { (this->*handler)(); });
        });
    }
    on(ui->customerFilter, &DropDownList::dropDown, &MainWindow::fillCustomerFilter);
    on(ui->mailFilter, &DropDownList::dropDown, &MainWindow::fillMailFilter);
    on(ui->customerFilter, &QComboBox::activated, &MainWindow::customerFilterPicked);
    on(ui->mailFilter, &QComboBox::activated, &MainWindow::mailFilterPicked);

    on(ui->importButton, &QPushButton::clicked, &MainWindow::importCustomers);
}

void MainWindow::open()
{
    const QString file = QFileInfo(database->path()).absoluteFilePath();
    try {
        database->setConnected(true);
    } catch (const Error &e) {
        boxes::showError(this, QStringLiteral("无法打开数据库文件“%1”：%2").arg(file, e.message()));
        return;
    }
    try {
        // A file without a table or column the program needs is not opened at all: the views would
        // open, and the send would go out without the part (an empty password, say). The next try
        // reads the file afresh.
        const QStringList missing = missingSchemaParts(database->handle());
        if (!missing.isEmpty()) {
            database->setConnected(false);
            throw DatabaseError(QStringLiteral("数据库文件“%1”缺少%2").arg(file, missing.join(u'、')));
        }
        customers->setActive(true);
        mails->setActive(true);
        sendRecords->setActive(true);
        account->setActive(true);
    } catch (const Error &e) {
        boxes::showError(this, e.message());
        return;
    }
    loadSkipSent();
}

void MainWindow::loadSkipSent()
{
    bool skip = false;
    try {
        skip = readSkipSent(database->handle());
    } catch (const DatabaseError &e) {
        // An old file that could not be brought up to date (read-only) has no stored choice.
        qCInfo(windowLog) << "no stored skip choice:" << e.message();
    }
    const QSignalBlocker quiet(ui->skipSentBox);
    ui->skipSentBox->setChecked(skip);
    m_runInputs.setSkipSent(skip);
}

void MainWindow::storeSkipSent()
{
    const bool skip = ui->skipSentBox->isChecked();
    m_runInputs.setSkipSent(skip);
    // Without the file the choice holds for this session; a refused write is shown, the choice stays.
    if (!database->isConnected())
        return;
    try {
        writeSkipSent(database->handle(), skip);
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法在数据库文件中保存“跳过已成功发送的客户”的选择：") + e.message());
    }
}

bool MainWindow::isDatabaseOpen() const
{
    return database->isConnected() && customers->isActive() && mails->isActive() && sendRecords->isActive()
        && account->isActive();
}

// The send and import commands need every view: without them they say why, in the user's words.
void MainWindow::requireOpenDatabase() const
{
    if (!isDatabaseOpen())
        throw Error(QStringLiteral("数据库没有打开。请检查数据库文件“%1”，然后点导航条上的刷新按钮重新打开")
                        .arg(QFileInfo(database->path()).absoluteFilePath()));
}

void MainWindow::showCustomerCount()
{
    ui->customerCount->setText(QStringLiteral("数量:%1  ").arg(customers->recordCount()));
    ui->customerCount->adjustSize();
}

void MainWindow::stampCustomer()
{
    customers->setFieldValue(column::EntryDate, QDateTime::currentDateTime());
}

void MainWindow::stampMail()
{
    mails->setFieldValue(column::CreationDate, QDateTime::currentDateTime());
}

void MainWindow::fillMailChoice()
{
    // The list offers the mails as they are now; the walk leaves the mail page on the last mail.
    fillFromColumn(*ui->mailChoice, *mailSource, column::MailId);
}

void MainWindow::showDateTime()
{
    boxes::showMessage(this, formatDateTime(QDateTime::currentDateTime()));
}

void MainWindow::send()
{
    requireOpenDatabase();
    if (const auto refusal
        = sendCommandRefusal(*customers, *mails, *account, ui->mailChoice->currentText(), *database)) {
        boxes::showMessage(this, *refusal);
        return;
    }
    // Shown before the window serves any further input, so a quick second click starts nothing.
    showRunning();
    m_sendRun.reset();
    m_runEndBox = {};
    ui->sendProgress->clear();
    m_sendRun = std::make_unique<SendRun>(m_runInputs, database->path(), runLimits);
    SendRunDisplay *display = m_runDisplay.get();
    connect(m_sendRun.get(), &SendRun::customerReached, display, &SendRunDisplay::customerReached,
            Qt::QueuedConnection);
    connect(m_sendRun.get(), &SendRun::recordWritten, display, &SendRunDisplay::recordWritten, Qt::QueuedConnection);
    connect(m_sendRun.get(), &SendRun::progressed, display, &SendRunDisplay::progressed, Qt::QueuedConnection);
    connect(
        m_sendRun.get(), &SendRun::completed, this,
        [this](const QString &summary) {
            m_runEndBox = {false, summary};
        },
        Qt::QueuedConnection);
    connect(
        m_sendRun.get(), &SendRun::failed, this,
        [this](const QString &message) {
            m_runEndBox = {true, message};
        },
        Qt::QueuedConnection);
    connect(m_sendRun.get(), &SendRun::finished, this, &MainWindow::runEnded, Qt::QueuedConnection);
    m_sendRun->start();
}

void MainWindow::showRunning()
{
    ui->sendButton->setText(QStringLiteral("邮件发送中..."));
    ui->sendButton->setEnabled(false);
    ui->mailNavigator->setEnabled(false);
    ui->accountNavigator->setEnabled(false);
    ui->mailChoice->setEnabled(false);
    ui->skipSentBox->setEnabled(false);
}

void MainWindow::runEnded()
{
    // The window ends on the run's exact state: the last customer reached, every record, the counts.
    m_runDisplay->flush();
    ui->sendButton->setEnabled(true);
    ui->sendButton->setText(QStringLiteral("发送"));
    ui->mailNavigator->setEnabled(true);
    ui->accountNavigator->setEnabled(true);
    ui->mailChoice->setEnabled(true);
    ui->skipSentBox->setEnabled(true);
    const RunEndBox box = std::exchange(m_runEndBox, {});
    if (box.isError)
        boxes::showError(this, box.text);
    else if (!box.text.isEmpty())
        boxes::showMessage(this, box.text);
    if (m_closeAfterRun)
        close();
}

// The run reads the choices and the boxes as they show now, for every message; the window hands
// every change over as it happens, so the run never has to ask it.
void MainWindow::keepRunInputsCurrent()
{
    const auto account = [this] {
        m_runInputs.setAccount({ui->serverEdit->text(), ui->userEdit->text(), ui->passwordEdit->text()});
    };
    const auto sender = [this] { m_runInputs.setSender({ui->senderNameEdit->text(), ui->senderAddressEdit->text()}); };
    for (QLineEdit *edit : {ui->serverEdit, ui->userEdit, ui->passwordEdit})
        connect(edit, &QLineEdit::textChanged, this, account);
    for (QLineEdit *edit : {ui->senderNameEdit, ui->senderAddressEdit})
        connect(edit, &QLineEdit::textChanged, this, sender);
    connect(ui->mailChoice, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { m_runInputs.setMailChoice(text); });
    connect(ui->pauseChoice, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { m_runInputs.setPauseChoice(text); });
    account();
    sender();
    m_runInputs.setMailChoice(ui->mailChoice->currentText());
    m_runInputs.setPauseChoice(ui->pauseChoice->currentText());
}

void MainWindow::showCustomer(qint64 customerId)
{
    // A customer the user is typing into is left alone: moving would save the typing unasked.
    if (customers->state() == RecordView::State::Browsing)
        customers->locate(column::CustomerId, customerId);
}

void MainWindow::showProgress(int sent, int failed, int total)
{
    ui->sendProgress->setText(QStringLiteral("已发送 %1 / %2，失败 %3").arg(sent).arg(total).arg(failed));
}

void MainWindow::showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate,
                                const QString &result)
{
    // Shown whatever the browser's filter; the count label is not recounted for it.
    if (!sendRecords->isActive())
        return;
    QVariantList values(sendRecords->fields().size());
    const std::pair<const QString &, QVariant> columns[] = {
        {column::CustomerId, customerId}, {column::MailId, mailId}, {column::SendDate, sendDate}, {column::SendResult, result}};
    for (const auto &[name, value] : columns) {
        const int index = sendRecords->fieldIndex(name);
        if (index >= 0)
            values[index] = value;
    }
    sendRecords->appendRow(values, key);
}

void MainWindow::filterByCustomer()
{
    m_browser->filterByCustomer();
}

void MainWindow::filterByMail()
{
    m_browser->filterByMail();
}

void MainWindow::filterByBoth()
{
    m_browser->filterByBoth();
}

void MainWindow::showAll()
{
    m_browser->showAll();
}

void MainWindow::fillCustomerFilter()
{
    m_browser->fillCustomerFilter();
}

void MainWindow::fillMailFilter()
{
    m_browser->fillMailFilter();
}

void MainWindow::customerFilterPicked()
{
    m_browser->customerFilterPicked();
}

void MainWindow::mailFilterPicked()
{
    m_browser->mailFilterPicked();
}

void MainWindow::showRecordCount()
{
    m_browser->showRecordCount();
}

void MainWindow::importCustomers()
{
    requireOpenDatabase();
    if (!openDialog->execute())
        return;
    CustomerImport(
        database->path(), [this] { ui->customerNavigator->click(RecordNavigator::Refresh); }, this)
        .run(openDialog->fileName);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // During a run nothing is released yet: the run is told to stop (whatever it waits for ends at
    // once, the customer at hand is recorded, QUIT goes out while the connection is usable) and the
    // window closes as soon as it has, within a moment.
    if (m_sendRun && m_sendRun->running()) {
        m_closeAfterRun = true;
        m_sendRun->requestStop();
        event->ignore();
        return;
    }

    m_closeAfterRun = false; // a close the user then cancels is not repeated at the next run's end
    bool settled = false;
    boxes::runHandler(this, [&] { settled = settleUnsavedChanges(); });
    if (!settled) {
        event->ignore();
        return;
    }

    // The controls let go of the views first, so nothing typed is handed over as the window goes.
    for (ViewSource *source : {customerSource.get(), mailSource.get(), sendRecordSource.get(), accountSource.get()}) {
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
    for (ViewSource *source : {customerSource.get(), mailSource.get(), sendRecordSource.get(), accountSource.get()}) {
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
