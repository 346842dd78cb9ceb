#pragma once

#include "DatabaseLocation.h"

#include <QString>
#include <QTemporaryDir>
#include <QVariant>

namespace testsupport {

// A temporary directory holding a fresh db.mdb made from the schema, removed with the object.
// `enter()` makes the directory the working directory (where the program looks for db.mdb) until
// the object goes; `exec()` seeds or inspects the file through a connection of its own.
class TempDatabase
{
public:
    TempDatabase();
    // The directory made inside `parent` (a file system of the test's own).
    explicit TempDatabase(const QString &parent);
    ~TempDatabase();
    TempDatabase(const TempDatabase &) = delete;
    TempDatabase &operator=(const TempDatabase &) = delete;

    QString dir() const { return m_dir.path(); }
    QString path() const; // <dir>/db.mdb
    DatabaseLocation location() const { return DatabaseLocation::inFile(path()); }

    void enter();
    // Runs statements (separated by ";"); throws DatabaseError with the engine's text.
    void exec(const QString &sql) const;
    // The first column of the first row of a query, null when there is none.
    QVariant scalar(const QString &sql) const;
    // Every row of a query.
    using Rows = QList<QVariantList>;
    Rows rows(const QString &sql) const;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
};

} // namespace testsupport
