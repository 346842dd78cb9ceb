#pragma once

#include <QByteArray>
#include <QString>

class Database;

namespace bench {

// Makes a db.mdb at `path` with `customers` customers, one mail per `customers` send records, and
// `records` send records: every mail sent to every customer in turn, as send runs append them.
void makeBenchDatabase(const QString &path, int customers, int records);

// The same customers, mails and send records in a server database whose tables createServerTables
// made and which holds no rows yet: made by the server itself, one insert of generate_series per
// table, the indexes built at the end, then vacuumed and analysed as a database in use would be.
// The send records' keys (记录ID) run in the order written, from 1.
void makeServerBenchDatabase(Database &server, int customers, int records);

// Resident memory from /proc/self/status ("VmRSS", or the peak "VmHWM"), in KiB; 0 when unread.
double memoryKiB(const QByteArray &field);

} // namespace bench
