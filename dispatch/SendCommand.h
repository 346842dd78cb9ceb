#pragma once

#include <QString>

#include <optional>

class RecordView;
class Database;

// The send command's checks, in their order. Gives the refusal to show in a message box, or
// nothing when a run may start. A view that is not open fails with the closed-view error.
std::optional<QString> sendCommandRefusal(const RecordView &customers, const RecordView &mails,
                                          const RecordView &settings, const QString &mailChoice, Database &connection);

// Before a run under a daily cap (`cap` 0: none): "今天还可以发送 k 封，其余的将在上限允许时继续发送" when
// the customers the run would mail are more than the cap allows now; empty otherwise.
QString capNoticeBeforeRun(Database &connection, const QString &mailChoice, bool skipSent, int cap);
