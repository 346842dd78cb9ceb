#pragma once

#include "Greeting.h"
#include "PreviewPlan.h"

#include <QDialog>

#include <memory>

class QPushButton;
namespace Ui {
class PreviewDialog;
}

// The preview of the chosen mail: for one customer at a time, in the run's order, what a mail
// reader shows and the text that goes out after DATA, or why the run leaves the customer out.
// 上一位 and 下一位 step through the customers.
class PreviewDialog : public QDialog
{
    Q_OBJECT
public:
    // What it shows, read by the send panel as the file and the boxes stand.
    struct Content
    {
        SenderBoxes sender;
        MailText mail;
        RefusalOption refusal;
        PreviewPlan plan;
        std::shared_ptr<const Attachment> file = nullptr; // encoded once for every step
    };

    // Starts at `customerId`'s step (the first when there is none).
    PreviewDialog(Content content, qint64 customerId, QWidget *parent);
    ~PreviewDialog() override;

    // The customer shown: a test mail from here carries their greeting.
    Recipient shownCustomer() const;
    QPushButton &testSendButton();

private:
    void showStep(int index);

    std::unique_ptr<Ui::PreviewDialog> m_ui;
    Content m_content;
    int m_step = 0;
};
