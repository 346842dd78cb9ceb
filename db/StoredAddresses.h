#pragma once

#include <QStringList>

class Database;

// The addresses an import compares a sheet's with before it writes anything, as stored (null and
// empty ones left out).
QStringList customerAddresses(Database &connection);
// Fails (DatabaseError) when the file has no 退订名单.
QStringList listedAddresses(Database &connection);
