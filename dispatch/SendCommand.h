#pragma once

#include <QString>

#include <optional>

class RecordView;
class Database;

// The send command's checks, in their order. Gives the refusal to show in a message box, or
// nothing when a run may start. A view that is not open fails with the closed-view error.
std::optional<QString> sendCommandRefusal(const RecordView &customers, const RecordView &mails,
                                          const RecordView &settings, const QString &mailChoice, Database &connection);
