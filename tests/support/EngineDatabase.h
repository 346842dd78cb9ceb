#pragma once

#include "DatabaseLocation.h"
#include "TempDatabase.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

namespace testsupport {

// A database of the engine's, made and emptied for each test: a fresh db.mdb in a temporary
// directory, or a new database with the program's tables on the one throwaway cluster of the test
// process (a cluster that does not start throws with the tools' words: the test fails, never skips).
class EngineDatabase
{
public:
    explicit EngineDatabase(Engine engine);
    ~EngineDatabase();
    EngineDatabase(const EngineDatabase &) = delete;
    EngineDatabase &operator=(const EngineDatabase &) = delete;

    const DatabaseLocation &location() const { return m_location; }
    // The file's, for a file; null on a server.
    TempDatabase *file() const { return m_file.get(); }

    // Statements on a connection of the test's own, "?" bound in order.
    void exec(const QString &sql, const QVariantList &values = {}) const;
    // Every row of a query; "%1" in it stands for the send records' key (written order).
    QList<QVariantList> rows(const QString &sql) const;
    // The first column of the first row, null when there is none.
    QVariant scalar(const QString &sql) const;

private:
    std::unique_ptr<TempDatabase> m_file;
    DatabaseLocation m_location;
};

// The engine's name for test names ("Sqlite", "Postgres").
std::string engineName(Engine engine);

} // namespace testsupport
