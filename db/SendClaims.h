#pragma once

#include "Statement.h"

#include <QString>

#include <chrono>

class Database;

// A send run's claims on the customers it mails, on a PostgreSQL server that several copies of the
// program share (a file needs none: one copy at a time works on it). Before a customer is mailed the
// run claims (customer, mail) in 发送认领; of two runs claiming at once exactly one wins, and the
// other leaves the customer to it.
//
// A run takes a claim another run holds only when that run can no longer be mailing the customer:
//  - the holder's run had ended (结束时间) before this run began: this run is a later one, sent
//    on purpose (the skip choice decides whether the customer is mailed again); or
//  - the holder claimed the customer more than `staleAfter` ago and recorded no result for it
//    (结果时间) and never ended: it died or hung in the middle of that customer's message. A live
//    run records a result within its server time limits, far shorter than `staleAfter`.
// A claim with a result whose holder never ended (the run was killed after that customer) stays
// taken: a long run still going (waiting hours on the daily cap) looks the same, and mailing its
// customers again would be the harm the claims prevent.
//
// The moments are the server's clock (localtimestamp), never a desktop's. Throws DatabaseError.
class SendClaims
{
public:
    // Takes the run's start from the server's clock now.
    SendClaims(Database &connection, QString runId, qint64 mailId, std::chrono::milliseconds staleAfter);
    SendClaims(const SendClaims &) = delete;
    SendClaims &operator=(const SendClaims &) = delete;

    // True when this run now holds the customer (and may mail them); false when another run does.
    bool claim(qint64 customerId);
    // The customer's result is recorded.
    void settle(qint64 customerId);
    // The run ends: its claims no longer keep any later run away.
    void end();

private:
    Database &m_connection;
    QString m_runId;
    qint64 m_mailId;
    qint64 m_staleAfterMs;
    QString m_startedAt; // the server's moment, as text
    Statement m_claim;
    Statement m_settle;
};
