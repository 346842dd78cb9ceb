#pragma once

#include "Statement.h"

#include <QString>

class Database;

// The do-not-mail list (退订名单). An address is listed once: two spellings are the same address
// when they are equal trimmed of blanks and with ASCII letters in lower case, which is what the
// table's unique index holds (SQLite's lower() folds ASCII letters only; the local parts of
// addresses are ASCII in practice, and a non-ASCII letter is compared as written). Every look-up
// and add goes through that same expression, so the list never answers otherwise than its index.
class RefusalList
{
public:
    // Fails (DatabaseError) when the file has no 退订名单.
    explicit RefusalList(Database &connection);

    // Whether `address` is on the list. An empty address never is.
    bool contains(const QString &address);
    // Puts `address`, trimmed, on the list with the current moment and `reason`. False (and nothing
    // written) when it is there already or empty. Throws DatabaseError when the file refuses it
    // (an address longer than 255 characters, a read-only file).
    bool add(const QString &address, const QString &reason);

private:
    Statement m_find;
    Statement m_insert;
};

// The address the customer numbered `customerId` holds; empty when there is no such customer.
QString customerAddress(Database &connection, qint64 customerId);

// The reason a record gets when the user puts a customer's address on the list.
inline const QString RefusalByHandReason = QStringLiteral("手工加入");
// The reason of an address that came in through the import.
inline const QString RefusalImportReason = QStringLiteral("导入");

// The account's refusal option: whether every message names a way to refuse further mail, and the
// line that says how. A file without the option (or without an account) reads as off.
struct RefusalOption
{
    bool on = false;
    QString text;
};
inline const QString DefaultRefusalText = QStringLiteral("如不希望再收到我们的邮件，请回复“退订”。");
RefusalOption readRefusalOption(Database &connection);
