#include "AttachmentControls.h"

#include "Error.h"
#include "Handlers.h"
#include "MessageBoxes.h"
#include "StoredAttachment.h"
#include "Tables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace {

QString sizeText(qint64 size)
{
    if (size < 1024)
        return QStringLiteral("%1 字节").arg(size);
    if (size < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(size) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(size) / (1024 * 1024), 0, 'f', 1);
}

} // namespace

QString attachmentLabelText(const QString &fileName, qint64 size)
{
    return QStringLiteral("附件：%1（%2）").arg(fileName, sizeText(size));
}

QString noAttachmentText()
{
    return QStringLiteral("无附件");
}

AttachmentControls::AttachmentControls(ViewSource &mails, Database &database, const Page &page, QWidget *owner,
                                       std::function<void()> requireOpenDatabase)
    : QObject(owner)
    , m_mails(mails)
    , m_database(database)
    , m_page(page)
    , m_owner(owner)
    , m_requireOpenDatabase(std::move(requireOpenDatabase))
    , m_dialog(owner)
{
    m_dialog.filter = QStringLiteral("所有文件(*)|*");
    connect(m_page.addButton, &QPushButton::clicked, this, boxes::guarded(m_owner, [this] { choose(); }));
    connect(m_page.removeButton, &QPushButton::clicked, this, boxes::guarded(m_owner, [this] { remove(); }));
    const auto follow = boxes::guarded(m_owner, [this] { show(); });
    connect(&m_mails, &ViewSource::viewChanged, this, follow);
    connect(&m_mails, &ViewSource::activeChanged, this, follow);
    connect(&m_mails, &ViewSource::currentRowChanged, this, follow);
    connect(&m_mails, &ViewSource::stateChanged, this, follow);
    connect(&m_mails, &ViewSource::rowsReset, this, follow);
    connect(&m_mails, &ViewSource::rowChanged, this, follow);
    show();
}

void AttachmentControls::choose()
{
    m_requireOpenDatabase();
    if (!m_dialog.execute())
        return;
    const QString path = m_dialog.fileName;
    const QString shownPath = QDir::toNativeSeparators(path);
    const auto tooLarge = [this] {
        boxes::showMessage(m_owner, QStringLiteral("附件不能超过 20 MB：大多数邮件服务器拒收超过 25–50 MB "
                                                   "的邮件，而编码后的附件会大三分之一。"));
    };
    if (QFileInfo(path).size() > MaxAttachmentSize) {
        tooLarge();
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法读取文件“%1”：%2").arg(shownPath, file.errorString()));
    // Read no further than the limit: the file may have grown since, or be no regular file at all.
    const QByteArray content = file.read(MaxAttachmentSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("无法读取文件“%1”：%2").arg(shownPath, file.errorString()));
    if (content.size() > MaxAttachmentSize) {
        tooLarge();
        return;
    }
    RecordView *view = m_mails.view();
    view->setUnreadColumn(column::AttachmentName, QFileInfo(path).fileName());
    view->setUnreadColumn(column::AttachmentContent, content);
}

void AttachmentControls::remove()
{
    m_requireOpenDatabase();
    RecordView *view = m_mails.view();
    view->setUnreadColumn(column::AttachmentName, QVariant());
    view->setUnreadColumn(column::AttachmentContent, QVariant());
}

void AttachmentControls::show()
{
    RecordView *view = m_mails.view();
    const bool onRecord = view && view->isActive() && view->currentRow() >= 0;
    QString text = noAttachmentText();
    bool hasFile = false;
    if (onRecord) {
        if (const auto chosen = view->unreadColumn(column::AttachmentName)) {
            hasFile = !chosen->isNull();
            if (hasFile)
                text = attachmentLabelText(
                    chosen->toString(), view->unreadColumn(column::AttachmentContent).value_or(QVariant()).toByteArray().size());
        } else if (view->state() != RecordView::State::Inserting) {
            const QVariant mailId = view->fieldByName(column::MailId);
            if (!mailId.isNull()) {
                if (const auto stored = storedAttachment(m_database, mailId.toLongLong())) {
                    hasFile = true;
                    text = attachmentLabelText(stored->fileName, stored->size);
                }
            }
        }
    }
    m_page.label->setText(text);
    m_page.addButton->setEnabled(view && view->canModify());
    m_page.removeButton->setEnabled(hasFile && view->canModify());
}
