#pragma once

#include <QString>

#include <optional>

class TADODataSet;
class TADOConnection;

// The send command's checks, in their order. Gives the refusal to show in a message box, or
// nothing when a run may start. A view that is not open fails with the closed-view error.
std::optional<QString> sendCommandRefusal(const TADODataSet &customers, const TADODataSet &mails,
                                          const TADODataSet &settings, const QString &mailChoice,
                                          TADOConnection &connection);
