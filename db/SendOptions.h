#pragma once

#include <QString>

class Database;

// The send panel's choice to leave out the customers who were already sent the chosen mail, kept in
// the file (发送选项) so that it holds across restarts. A file without a stored choice reads as off.
bool readSkipSent(Database &connection);
// Throws DatabaseError when the file refuses the write.
void writeSkipSent(Database &connection, bool skip);

// The address the last test mail went to, kept in 发送选项 beside the skip choice; the empty text
// when none was kept.
QString readTestAddress(Database &connection);
// Throws DatabaseError when the file refuses the write.
void writeTestAddress(Database &connection, const QString &address);
