#pragma once

#include <QString>

#include <mutex>

// What the send run reads from the window while it goes on: the mail and pause choices, the skip
// choice and the account and sender boxes. The window keeps it current on its own thread as the controls change;
// the run reads it under the lock, so it never waits for the window.
class SendRunInputs
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

    void setMailChoice(const QString &text);
    void setPauseChoice(const QString &text);
    void setSkipSent(bool skip);
    // With the skip choice on: whether customers whose result is unknown are mailed again (the
    // user's answer before the run).
    void setSendUnknownAgain(bool again);
    void setAccount(const Account &account);
    void setSender(const Sender &sender);
    // The account's 每日最多发送 (0: no cap).
    void setDailyCap(int cap);

    QString mailChoice() const;
    QString pauseChoice() const;
    bool skipSent() const;
    bool sendUnknownAgain() const;
    Account account() const;
    Sender sender() const;
    int dailyCap() const;

private:
    mutable std::mutex m_mutex;
    QString m_mailChoice;
    QString m_pauseChoice;
    bool m_skipSent = false;
    bool m_sendUnknownAgain = false;
    Account m_account;
    Sender m_sender;
    int m_dailyCap = 0;
};
