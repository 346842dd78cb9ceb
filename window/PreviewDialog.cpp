#include "PreviewDialog.h"

#include "ui_PreviewDialog.h"

#include "Error.h"
#include "Handlers.h"
#include "MessagePreview.h"

#include <QFontDatabase>

#include <algorithm>

namespace {

// The preview cannot ask the server; most providers' servers offer 8BITMIME, and the 原文 page
// says which form it shows.
constexpr bool PreviewEightBitMime = true;

} // namespace

PreviewDialog::PreviewDialog(Content content, qint64 customerId, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PreviewDialog>())
    , m_content(std::move(content))
{
    m_ui->setupUi(this);
    m_ui->rawText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Enter in the dialog steps on rather than closing it.
    for (QPushButton *button : {m_ui->previousButton, m_ui->nextButton, m_ui->testSendButton, m_ui->closeButton})
        button->setAutoDefault(false);
    connect(m_ui->previousButton, &QPushButton::clicked, this,
            boxes::guarded(this, [this] { showStep(m_step - 1); }));
    connect(m_ui->nextButton, &QPushButton::clicked, this, boxes::guarded(this, [this] { showStep(m_step + 1); }));
    showStep(m_content.plan.stepOf(customerId));
}

PreviewDialog::~PreviewDialog() = default;

Recipient PreviewDialog::shownCustomer() const
{
    return m_content.plan.steps.value(m_step).customer;
}

QPushButton &PreviewDialog::testSendButton()
{
    return *m_ui->testSendButton;
}

void PreviewDialog::showStep(int index)
{
    const QList<PreviewPlan::Step> &steps = m_content.plan.steps;
    m_step = std::clamp(index, 0, std::max(0, int(steps.size()) - 1));
    m_ui->previousButton->setEnabled(m_step > 0);
    m_ui->nextButton->setEnabled(m_step + 1 < steps.size());
    if (steps.isEmpty()) {
        m_ui->positionLabel->setText(QStringLiteral("没有客户"));
        m_ui->leftOutText->setText(QString());
        m_ui->customerPages->setCurrentWidget(m_ui->leftOutText);
        return;
    }

    const PreviewPlan::Step &step = steps[m_step];
    const QString customer = QStringLiteral("客户ID %1 %2").arg(step.customer.id).arg(step.customer.name);
    if (step.leftOut != LeftOut::No) {
        m_ui->positionLabel->setText(QStringLiteral("不发送（共 %1 位）  %2").arg(m_content.plan.toSend).arg(customer));
        m_ui->leftOutText->setText(QStringLiteral("这位客户不会收到这封邮件：")
                                   + leftOutReason(step.leftOut, step.sameAddressAs));
        m_ui->customerPages->setCurrentWidget(m_ui->leftOutText);
        return;
    }
    m_ui->positionLabel->setText(
        QStringLiteral("第 %1 / %2 位  %3").arg(step.position).arg(m_content.plan.toSend).arg(customer));
    try {
        const MessagePreview preview
            = previewMessage(m_content.sender, m_content.mail, step.customer, PreviewEightBitMime,
                             m_content.refusal, m_content.file);
        m_ui->fromText->setText(preview.from);
        m_ui->toText->setText(preview.to);
        m_ui->subjectText->setText(preview.subject);
        m_ui->bodyText->setPlainText(preview.body);
        // Header lines are ASCII; an 8-bit body is UTF-8, the run's body charset. Each CR LF is one
        // line of the view.
        m_ui->rawText->setPlainText(QString::fromUtf8(preview.dataText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        m_ui->customerPages->setCurrentWidget(m_ui->messageViews);
    } catch (const Error &e) {
        // The run would count this customer as failed: the reason stands where the message would.
        m_ui->leftOutText->setText(QStringLiteral("这封邮件无法写出：") + e.message());
        m_ui->customerPages->setCurrentWidget(m_ui->leftOutText);
    }
}
