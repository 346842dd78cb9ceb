#pragma once

#include <QString>

namespace bench {

// Makes a db.mdb at `path` with `customers` customers, one mail per `customers` send records, and
// `records` send records: every mail sent to every customer in turn, as send runs append them.
void makeBenchDatabase(const QString &path, int customers, int records);

} // namespace bench
