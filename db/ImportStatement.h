#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class Database;
class Statement;

// One named parameter (":name") of a statement.
class StatementParameter
{
public:
    explicit StatementParameter(QString name)
        : m_name(std::move(name))
    {
    }
    const QString &name() const { return m_name; }
    const QVariant &value() const { return m_value; }
    void setValue(const QVariant &value) { m_value = value; }

private:
    QString m_name;
    QVariant m_value;
};

// A statement that returns no rows (the customer import's insert), run on a connection with its
// parameters bound by name. The bare word `now` in the text stands for the engine's current local
// date and time, in the stored form of the date stamps ("2026-12-10 14:05:09.123").
class ImportStatement
{
public:
    ImportStatement();
    ~ImportStatement();
    ImportStatement(const ImportStatement &) = delete;
    ImportStatement &operator=(const ImportStatement &) = delete;

    void setDatabase(Database *connection);
    Database *database() const { return m_connection; }

    // Replaces the text; its parameters are the ":name" words outside quotes, values empty.
    void setSql(const QString &text);
    const QString &sql() const { return m_sql; }

    QList<StatementParameter> &parameters() { return m_parameters; }
    // Throws DatabaseError "Parameter '%s' not found" for a name the text does not have.
    StatementParameter &paramByName(const QString &name);

    // Runs the statement with the current values; returns the number of rows changed. Throws
    // DatabaseError with the engine's text.
    int run();
    // Drops the prepared statement (it is prepared again at the next run).
    void close();

private:
    Database *m_connection = nullptr;
    QString m_sql;
    QList<StatementParameter> m_parameters;
    std::unique_ptr<Statement> m_prepared;
    // Where each parameter of the prepared statement stands, found once per preparation; the
    // names they were found for, in case the parameter list was changed since.
    QList<int> m_positions;
    QStringList m_positionNames;
};

// The statement text as the engine runs it: `now` outside quotes replaced by the engine's local
// current time with milliseconds.
QString withEngineNow(const QString &sql);
// The ":name" parameters of a statement text, in order of first appearance, without the colon.
QStringList parameterNames(const QString &sql);
