#pragma once

#include <QString>

// Where the account's SMTP server box points: a host and a port.
struct ServerAddress
{
    QString host;
    quint16 port = 25;

    friend bool operator==(const ServerAddress &, const ServerAddress &) = default;
};

// Reads the SMTP server box: "host" means port 25; "host:port" takes the port, a decimal number from
// 1 to 65535. The host is kept exactly as typed. Any other port text raises an Error naming the box's
// text (the error box adds the closing full stop), before anything goes on the network.
ServerAddress parseServerText(const QString &text);
