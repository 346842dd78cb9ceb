#pragma once

#include "RunPlan.h"

#include <QString>

#include <optional>

class RecordView;
class Database;

// The send command's checks, in their order. Gives the refusal to show in a message box, or
// nothing when a run may start. A view that is not open fails with the closed-view error.
std::optional<QString> sendCommandRefusal(const RecordView &customers, const RecordView &mails,
                                          const RecordView &settings, const QString &mailChoice, Database &connection);

// What the confirmation before a run reads from the file: the mail's subject, who the run would mail
// and leave out (the customers whose result is unknown left out), and the daily cap's word (`cap` 0:
// none) when they are more than it allows now. The window adds the sender, server and pause.
RunConfirmation runConfirmation(Database &connection, const QString &mailChoice, bool skipSent, int cap);
