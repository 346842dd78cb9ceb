#pragma once

struct sqlite3;

// The send panel's choice to leave out the customers who were already sent the chosen mail, kept in
// the file (发送选项) so that it holds across restarts. A file without a stored choice reads as off.
bool readSkipSent(sqlite3 *handle);
// Throws DatabaseError when the file refuses the write.
void writeSkipSent(sqlite3 *handle, bool skip);
