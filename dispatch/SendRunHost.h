#pragma once

#include <QDateTime>
#include <QString>

// The window as the send run sees it. The window implements it; every call is carried out on the
// window's thread while the run waits for it, so the run never touches a control itself.
class SendRunHost
{
public:
    struct Account
    {
        QString server;
        QString userName;
        QString password;
    };
    struct Sender
    {
        QString name;
        QString address;
    };

    virtual ~SendRunHost() = default;

    // The send button shows the run and the controls that could disturb it are disabled; undone by
    // runEnded, which also ends a close that waited for the run.
    virtual void runStarted() = 0;
    virtual void runEnded() = 0;

    virtual QString chosenMail() = 0; // the text of the mail choice list
    virtual QString chosenPause() = 0; // the text of the pause list
    virtual Account accountBoxes() = 0; // the account boxes, as they show it now
    virtual Sender senderBoxes() = 0; // the sender boxes, as they show it now
    virtual QString dateTimeText(const QDateTime &moment) = 0;

    // The customer the run is at becomes the customer grid's current row.
    virtual void showCustomer(qint64 customerId) = 0;
    // A send record the run wrote (`key` is its row's key), shown at once in the send-record grid
    // whatever its filter.
    virtual void showSendRecord(qint64 key, qint64 customerId, qint64 mailId, const QString &sendDate) = 0;
    // An error that ended the run.
    virtual void showError(const QString &message) = 0;
};
