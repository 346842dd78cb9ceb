#include "SendRunInputs.h"

void SendRunInputs::setMailChoice(const QString &text)
{
    std::lock_guard lock(m_mutex);
    m_mailChoice = text;
}

void SendRunInputs::setPauseChoice(const QString &text)
{
    std::lock_guard lock(m_mutex);
    m_pauseChoice = text;
}

void SendRunInputs::setSkipSent(bool skip)
{
    std::lock_guard lock(m_mutex);
    m_skipSent = skip;
}

void SendRunInputs::setSendUnknownAgain(bool again)
{
    std::lock_guard lock(m_mutex);
    m_sendUnknownAgain = again;
}

void SendRunInputs::setAccount(const Account &account)
{
    std::lock_guard lock(m_mutex);
    m_account = account;
}

void SendRunInputs::setSender(const Sender &sender)
{
    std::lock_guard lock(m_mutex);
    m_sender = sender;
}

bool SendRunInputs::skipSent() const
{
    std::lock_guard lock(m_mutex);
    return m_skipSent;
}

bool SendRunInputs::sendUnknownAgain() const
{
    std::lock_guard lock(m_mutex);
    return m_sendUnknownAgain;
}

QString SendRunInputs::mailChoice() const
{
    std::lock_guard lock(m_mutex);
    return m_mailChoice;
}

QString SendRunInputs::pauseChoice() const
{
    std::lock_guard lock(m_mutex);
    return m_pauseChoice;
}

SendRunInputs::Account SendRunInputs::account() const
{
    std::lock_guard lock(m_mutex);
    return m_account;
}

SendRunInputs::Sender SendRunInputs::sender() const
{
    std::lock_guard lock(m_mutex);
    return m_sender;
}

void SendRunInputs::setDailyCap(int cap)
{
    std::lock_guard lock(m_mutex);
    m_dailyCap = cap;
}

int SendRunInputs::dailyCap() const
{
    std::lock_guard lock(m_mutex);
    return m_dailyCap;
}
