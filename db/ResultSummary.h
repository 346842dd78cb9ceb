#pragma once

#include <QString>

class Database;

// How the customers on the list stand with one mail, each customer counted once.
//
// A customer who has any record of the mail reading "成功" got it, whatever a later attempt
// recorded: a resend that failed does not take the mail back, and a run with the skip choice
// leaves exactly these customers out. Of the others the latest record decides (the most recent
// attempt is the customer's present state: failed once, then left out as unsubscribed, is
// 跳过). Records from before results were kept (an empty or missing 发送结果), and records still
// reading "发送中" (the run ended between the message's end and the server's reply: killed, the
// machine stopped, the disk full), and records reading "结果未知：…" (the reply after the message's
// end never came), say neither that the mail arrived nor that it did not; where
// such a record is a customer's latest, the customer is counted in `unknown`, apart from the four. Records of customers no longer on the list are not
// counted: the numbers add up to the customers the list holds.
struct ResultSummary
{
    qint64 succeeded = 0; // 成功
    qint64 failed = 0; // 失败：…, or any other result that is not 成功 or 跳过：…
    qint64 skipped = 0; // 跳过：…
    qint64 notSent = 0; // no record of the mail at all
    qint64 unknown = 0; // latest record without a result, reading 发送中 or 结果未知：…, none reading 成功

    friend bool operator==(const ResultSummary &, const ResultSummary &) = default;
};

// One statement over 客户表 and 发送情况. Throws DatabaseError with the engine's text.
ResultSummary readResultSummary(Database &connection, qint64 mailId);

// "成功 a，失败 b，跳过 c，未发送 d". The customers counted as unknown are not in the line: it
// keeps the four numbers the page names, and adding them to 未发送 would claim that a mail some of
// them may well have received never went out.
QString resultSummaryText(const ResultSummary &summary);
