#include "SendPanel.h"

#include "ui_MainWindow.h"

#include "AccountSession.h"
#include "ColumnList.h"
#include "Controls.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Error.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "PreviewDialog.h"
#include "RecordView.h"
#include "RefusalList.h"
#include "SendCommand.h"
#include "SendOptions.h"
#include "RunQuestion.h"
#include "SendRecords.h"
#include "SendRecordBrowser.h"
#include "Tables.h"
#include "WindowLog.h"

#include <QSignalBlocker>

#include <utility>

namespace {

// Where the send options are kept, in the words of a refused write.
QString storeName(const Database &database)
{
    return database.engine() == Engine::Postgres ? QStringLiteral("数据库") : QStringLiteral("数据库文件");
}

} // namespace

SendPanel::SendPanel(QWidget &window, Ui::MainWindow &ui, const Data &data,
                     std::function<void()> requireOpenDatabase)
    : m_window(window)
    , m_ui(ui)
    , m_data(data)
    , m_requireOpenDatabase(std::move(requireOpenDatabase))
    , m_runDisplay(
          SendRunDisplay::Targets{
              [this](const SendRunDisplay::Progress &p) { showProgress(p); },
              [this](const SendRunDisplay::Record &r) {
                  m_data.browser.showSendRecord(r.key, r.customerId, r.mailId, r.sendDate, r.result);
              }},
          &window)
{
    // Each handler runs guarded: an error it raises is shown in the error box right here.
    const auto on = [this](auto *sender, auto signal, void (SendPanel::*handler)()) {
        connect(sender, signal, this, boxes::guarded(&m_window, [this, handler] { (this->*handler)(); }));
    };
    on(m_ui.mailChoice, &DropDownList::dropDown, &SendPanel::fillMailChoice);
    on(m_ui.sendButton, &QPushButton::clicked, &SendPanel::sendOrStop);
    on(m_ui.skipSentBox, &QCheckBox::toggled, &SendPanel::storeSkipSent);
    on(m_ui.previewButton, &QPushButton::clicked, &SendPanel::preview);
    connect(m_ui.testSendButton, &QPushButton::clicked, this, boxes::guarded(&m_window, [this] {
                m_requireOpenDatabase();
                testSend(readCustomers(m_data.database).value(0).name);
            }));
    keepRunInputsCurrent();
}

SendPanel::~SendPanel()
{
    delete m_preview;
    m_testSend.reset();
    if (m_sendRun) {
        m_sendRun->requestStop();
        m_sendRun.reset();
    }
}

void SendPanel::loadSkipSent()
{
    bool skip = false;
    try {
        skip = readSkipSent(m_data.database);
    } catch (const DatabaseError &e) {
        // An old file that could not be brought up to date (read-only) has no stored choice.
        qCInfo(windowLog) << "no stored skip choice:" << e.message();
    }
    const QSignalBlocker quiet(m_ui.skipSentBox);
    m_ui.skipSentBox->setChecked(skip);
    m_runInputs.setSkipSent(skip);
}

void SendPanel::storeSkipSent()
{
    const bool skip = m_ui.skipSentBox->isChecked();
    m_runInputs.setSkipSent(skip);
    // Without the file the choice holds for this session; a refused write is shown, the choice stays.
    if (!m_data.database.isConnected())
        return;
    try {
        writeSkipSent(m_data.database, skip);
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法在%1中保存“跳过已成功发送的客户”的选择：").arg(storeName(m_data.database))
                    + e.message());
    }
}

bool SendPanel::stopBeforeClose()
{
    // The run stops as the stop button stops it: the customer at hand is finished and recorded,
    // QUIT goes out while the connection is usable, and the window closes as soon as it has.
    if (m_sendRun && m_sendRun->running()) {
        if (m_closeAfterRun)
            return true; // asked already; the run is stopping
        if (!boxes::askYesNo(&m_window, QStringLiteral("正在发送邮件，确定要停止并退出吗？"), false))
            return true;
        // The run may have ended while the box was open: the window then closes at the run's end
        // or, when that has been handled already, now.
        if (!m_sendRun || !m_sendRun->running()) {
            m_closeAfterRun = false;
            return false;
        }
        m_closeAfterRun = true;
        stop();
        return true;
    }
    m_closeAfterRun = false; // a close the user then cancels is not repeated at the next run's end
    return false;
}

void SendPanel::fillMailChoice()
{
    // The list offers the mails as they are now; the walk leaves the mail page on the last mail.
    fillFromColumn(*m_ui.mailChoice, m_data.mailSource, column::MailId, column::Subject);
}

bool SendPanel::mailCanGo()
{
    m_requireOpenDatabase();
    if (const auto refusal = sendCommandRefusal(m_data.customers, m_data.mails, m_data.account,
                                                chosenKey(*m_ui.mailChoice), m_data.database)) {
        boxes::showMessage(&m_window, *refusal);
        return false;
    }
    return true;
}

void SendPanel::sendOrStop()
{
    if (m_sendRun && m_sendRun->running())
        stop();
    else
        send();
}

void SendPanel::stop()
{
    m_ui.sendButton->setText(QStringLiteral("正在停止..."));
    m_ui.sendButton->setEnabled(false);
    m_sendRun->requestStop(SendRun::Stop::AfterCurrent);
}

void SendPanel::send()
{
    if (!mailCanGo())
        return;
    // One confirmation says what the run will do: the mail, the account, who and how long, the
    // cap. A resumed run leaves out the customers whose result an earlier run left unknown, unless
    // the user ticks them in here.
    RunConfirmation confirmation = runConfirmation(m_data.database, chosenKey(*m_ui.mailChoice),
                                                   m_ui.skipSentBox->isChecked(), m_ui.dailyCapBox->value());
    const SendRunInputs::Sender sender = m_runInputs.sender();
    confirmation.sender = sender.name.isEmpty() ? sender.address
                                                : QStringLiteral("%1 <%2>").arg(sender.name, sender.address);
    confirmation.server = m_runInputs.account().server;
    confirmation.pauseSeconds = m_ui.pauseChoice->currentText().toInt();
    const QString text = runConfirmationText(confirmation);
    bool sendUnknownAgain = false;
    const bool yes = confirmation.unknown > 0
        ? boxes::askYesNoWithCheck(&m_window, text, unknownResultsChoice(confirmation.unknown), sendUnknownAgain)
        : boxes::askYesNo(&m_window, text);
    if (!yes)
        return;
    m_runInputs.setSendUnknownAgain(sendUnknownAgain);
    startRun();
}

void SendPanel::startRun()
{
    // Shown before the window serves any further input, so a quick second click starts nothing.
    showRunning();
    m_sendRun.reset();
    m_runEndBox = {};
    m_runQuestion.reset();
    m_ui.sendProgress->clear();
    m_shownProgress = {};
    m_sendRun = std::make_unique<SendRun>(m_runInputs, m_data.database.location());
    SendRun *run = m_sendRun.get();
    m_runDisplay.follow([run = QPointer<SendRun>(run)] { return run ? run->takeReport() : SendRunReport(); });
    connect(run, &SendRun::reported, &m_runDisplay, &SendRunDisplay::reportWaiting, Qt::QueuedConnection);
    connect(
        run, &SendRun::capWaiting, this,
        [this](int cap, const QDateTime &resumeAt) {
            boxes::runHandler(&m_window, [&] { showCapWaiting(cap, resumeAt); });
        },
        Qt::QueuedConnection);
    connect(
        run, &SendRun::completed, this, [this](const QString &summary) { m_runEndBox = {false, summary}; },
        Qt::QueuedConnection);
    connect(
        run, &SendRun::failed, this, [this](const QString &message) { m_runEndBox = {true, message}; },
        Qt::QueuedConnection);
    connect(
        run, &SendRun::stopped, this, [this](const QString &summary) { m_runEndBox = {false, summary, true}; },
        Qt::QueuedConnection);
    connect(
        run, &SendRun::asked, this, [this](const RunQuestion &question) { m_runQuestion = question; },
        Qt::QueuedConnection);
    connect(run, &SendRun::finished, this, boxes::guarded(&m_window, [this] { runEnded(); }), Qt::QueuedConnection);
    run->start();
}

void SendPanel::showRunning()
{
    // The button stays usable: during a run it stops it.
    m_ui.sendButton->setText(QStringLiteral("停止发送"));
    m_ui.mailNavigator->setEnabled(false);
    m_ui.accountNavigator->setEnabled(false);
    m_ui.mailChoice->setEnabled(false);
    m_ui.skipSentBox->setEnabled(false);
    m_ui.testSendButton->setEnabled(false);
}

void SendPanel::runEnded()
{
    // The window ends on the run's exact state: the last customer reached, every record, the counts.
    m_runDisplay.flush();
    // Nobody is being mailed any more: the counts stay, without the name.
    m_runDisplay.forgetCustomer();
    if (!m_shownProgress.customerName.isEmpty())
        showProgress({m_shownProgress.sent, m_shownProgress.failed, m_shownProgress.total, QString()});
    m_ui.sendButton->setEnabled(true);
    m_ui.sendButton->setText(QStringLiteral("发送"));
    m_ui.mailNavigator->setEnabled(true);
    m_ui.accountNavigator->setEnabled(true);
    m_ui.mailChoice->setEnabled(true);
    m_ui.skipSentBox->setEnabled(true);
    enableTestSend();
    const RunEndBox box = std::exchange(m_runEndBox, {});
    const std::optional<RunQuestion> question = std::exchange(m_runQuestion, std::nullopt);
    // The user who closes the window needs no word on how to go on; an error still shows.
    if (box.isError)
        boxes::showError(&m_window, box.text);
    else if (!box.text.isEmpty() && !(box.stopped && m_closeAfterRun))
        boxes::showMessage(&m_window, box.text);
    if (m_closeAfterRun) {
        m_window.close();
        return;
    }
    // Started again at once, before the window serves any input, as a click would have; the user
    // confirmed this run already.
    if (question && askAndAgree(*question) && mailCanGo())
        startRun();
}

bool SendPanel::askAndAgree(const RunQuestion &question)
{
    bool yes = false;
    switch (question.kind) {
    case RunQuestion::Kind::TrustCertificate:
        yes = boxes::askToTrust(&m_window, question.text + QStringLiteral("\n\n只有在确认这是您单位自己的邮件服务器的证书时，才选择“信任此证书”。"),
                                false);
        break;
    case RunQuestion::Kind::ReplaceCertificate:
        yes = boxes::askToTrust(
            &m_window,
            question.text
                + QStringLiteral("\n\n只有在向服务器管理员确认服务器确实更换了证书、并核对了新指纹之后，"
                                 "才选择“信任此证书”，以新证书替换原来信任的证书；否则请选择“取消”。"),
            true);
        break;
    case RunQuestion::Kind::CleartextLogin: yes = boxes::askYesNo(&m_window, question.text, false); break;
    }
    if (!yes || !m_data.database.isConnected())
        return false;
    try {
        agree(m_data.database, question);
    } catch (const DatabaseError &e) {
        throw Error(QStringLiteral("无法在%1中保存这一选择，发送没有开始：").arg(storeName(m_data.database)) + e.message());
    }
    return true;
}

// The run reads the choices and the boxes as they show now, for every message; the panel hands
// every change over as it happens, so the run never has to ask it.
void SendPanel::keepRunInputsCurrent()
{
    const auto account = [this] {
        m_runInputs.setAccount({m_ui.serverEdit->text(), m_ui.userEdit->text(), m_ui.passwordEdit->text()});
    };
    const auto sender = [this] {
        m_runInputs.setSender({m_ui.senderNameEdit->text(), m_ui.senderAddressEdit->text()});
    };
    for (QLineEdit *edit : {m_ui.serverEdit, m_ui.userEdit, m_ui.passwordEdit})
        connect(edit, &QLineEdit::textChanged, this, account);
    for (QLineEdit *edit : {m_ui.senderNameEdit, m_ui.senderAddressEdit})
        connect(edit, &QLineEdit::textChanged, this, sender);
    connect(m_ui.mailChoice, &QComboBox::currentTextChanged, this,
            [this] { m_runInputs.setMailChoice(chosenKey(*m_ui.mailChoice)); });
    connect(m_ui.pauseChoice, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { m_runInputs.setPauseChoice(text); });
    connect(m_ui.dailyCapBox, &QSpinBox::valueChanged, this, [this](int cap) { m_runInputs.setDailyCap(cap); });
    account();
    sender();
    m_runInputs.setMailChoice(chosenKey(*m_ui.mailChoice));
    m_runInputs.setPauseChoice(m_ui.pauseChoice->currentText());
    m_runInputs.setDailyCap(m_ui.dailyCapBox->value());
}

void SendPanel::showProgress(const SendRunDisplay::Progress &progress)
{
    m_shownProgress = progress;
    QString text = QStringLiteral("已发送 %1 / %2，失败 %3").arg(progress.sent).arg(progress.total).arg(progress.failed);
    if (!progress.customerName.isEmpty())
        text += QStringLiteral("　正在发送：") + progress.customerName;
    m_ui.sendProgress->setText(text);
}

void SendPanel::preview()
{
    if (!mailCanGo())
        return;
    const QString mailChoice = chosenKey(*m_ui.mailChoice);
    // Read as a run starting now would read them: the file's customers and records, the boxes and
    // the skip choice as they show.
    Database &database = m_data.database;
    const qint64 mailId = mailChoice.toLongLong();
    const bool skip = m_ui.skipSentBox->isChecked();
    const SendRunInputs::Sender sender = m_runInputs.sender();
    const QList<Recipient> customers = readCustomers(database);
    QSet<qint64> unsubscribed;
    RefusalList refusals(database);
    for (const Recipient &customer : customers) {
        if (refusals.contains(customer.address))
            unsubscribed.insert(customer.id);
    }
    PreviewDialog::Content content{
        {sender.name, sender.address},
        readMail(database, mailId),
        readRefusalOption(database),
        planPreview(customers, skip ? readSentCustomers(database, mailId) : QSet<qint64>(), skip, unsubscribed,
                    // as the confirmation offers them: left out unless ticked there
                    {skip ? readUnknownCustomers(database, mailId) : QSet<qint64>(), false})};
    content.file = encodedAttachment(content.mail);
    auto *dialog = new PreviewDialog(std::move(content),
                                     m_data.customers.fieldByName(column::CustomerId).toLongLong(), &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(&dialog->testSendButton(), &QPushButton::clicked, this, boxes::guarded(dialog, [this, dialog] {
                testSend(dialog->shownCustomer().name);
            }));
    m_preview = dialog;
    enableTestSend();
    dialog->show();
}

void SendPanel::testSend(const QString &greetingName)
{
    if (!mailCanGo())
        return;
    const QString mailChoice = chosenKey(*m_ui.mailChoice);
    Database &database = m_data.database;
    const MailText mail = readMail(database, mailChoice.toLongLong());
    const SendRunInputs::Sender sender = m_runInputs.sender();
    QString remembered;
    try {
        remembered = readTestAddress(database);
    } catch (const DatabaseError &e) {
        // An old file that could not be brought up to date (read-only) keeps no address.
        qCInfo(windowLog) << "no stored test address:" << e.message();
    }
    QWidget *parent = m_preview ? static_cast<QWidget *>(m_preview.data()) : &m_window;
    const std::optional<QString> typed = boxes::askText(
        parent, QStringLiteral("测试邮件发送到："), remembered.isEmpty() ? sender.address : remembered);
    if (!typed)
        return;
    const QString address = typed->trimmed();
    if (address.isEmpty()) {
        boxes::showMessage(parent, QStringLiteral("请输入测试邮件的收件地址"));
        return;
    }
    try {
        writeTestAddress(database, address);
    } catch (const DatabaseError &e) {
        // The mail can go all the same; only the address will not be offered next time.
        qCInfo(windowLog) << "test address not stored:" << e.message();
    }

    m_testSend = std::make_unique<TestSend>(
        TestMail{m_runInputs.account(), {sender.name, sender.address}, mail, readRefusalOption(database),
                 readServerDecisions(database, m_runInputs.account()), greetingName, address});
    connect(
        m_testSend.get(), &TestSend::finished, this,
        [this](bool sent, const QString &text) {
            boxes::runHandler(&m_window, [&] { testSendEnded(sent, text); });
        },
        Qt::QueuedConnection);
    m_testSend->start();
    enableTestSend();
}

void SendPanel::testSendEnded(bool sent, const QString &text)
{
    m_testSend.reset();
    enableTestSend();
    QWidget *parent = m_preview ? static_cast<QWidget *>(m_preview.data()) : &m_window;
    if (sent)
        boxes::showMessage(parent, text);
    else
        boxes::showError(parent, text);
}

void SendPanel::enableTestSend()
{
    const bool free = !(m_sendRun && m_sendRun->running()) && !m_testSend;
    m_ui.testSendButton->setEnabled(free);
    if (m_preview)
        m_preview->testSendButton().setEnabled(free);
}

void SendPanel::showCapWaiting(int cap, const QDateTime &resumeAt)
{
    // The counts reported before the wait must not cover the wait's word when their frame comes.
    m_runDisplay.flush();
    m_ui.sendProgress->setText(
        QStringLiteral("已达每日上限 %1 封，%2 继续").arg(cap).arg(resumeAt.toString(QStringLiteral("HH:mm"))));
}
