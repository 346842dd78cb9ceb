#pragma once

#include "OpenDialog.h"
#include "ViewSource.h"

#include <QObject>
#include <QString>

#include <functional>

class Database;
class QLabel;
class QPushButton;
class QWidget;

// What the mail page shows of a mail's file: "附件：name（size）" or "无附件".
QString attachmentLabelText(const QString &fileName, qint64 size);
QString noAttachmentText();

// The mail page's file: 添加附件…, 删除附件 and the label naming the current mail's file. They
// follow the mail's record like its bound boxes: choosing or deleting a file starts editing the
// record, the navigator's cancel drops it, a save (or a move) writes it with the record. The file's
// bytes stay out of the mail view's rows: they go with the edit and are written with the record.
class AttachmentControls : public QObject
{
    Q_OBJECT
public:
    struct Page
    {
        QPushButton *addButton;
        QPushButton *removeButton;
        QLabel *label;
    };

    // `requireOpenDatabase` throws the closed-file error when the views are not all open.
    AttachmentControls(ViewSource &mails, Database &database, const Page &page, QWidget *owner,
                       std::function<void()> requireOpenDatabase);

private:
    void choose();
    void remove();
    void show();

    ViewSource &m_mails;
    Database &m_database;
    Page m_page;
    QWidget *m_owner;
    std::function<void()> m_requireOpenDatabase;
    OpenDialog m_dialog;
};
