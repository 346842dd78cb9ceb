#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

class TADOConnection;
class Statement;

// One named parameter (":name") of a statement.
class TParameter
{
public:
    explicit TParameter(QString name) : m_name(std::move(name)) {}
    const QString &Name() const { return m_name; }
    const QVariant &Value() const { return m_value; }
    void setValue(const QVariant &value) { m_value = value; }

private:
    QString m_name;
    QVariant m_value;
};

// A statement that returns no rows (the customer import's insert), run on a connection with its
// parameters bound by name. The bare word `now` in the text stands for the engine's current local
// date and time, in the stored form of the date stamps ("2026-12-10 14:05:09.123").
class TADOQuery
{
public:
    TADOQuery();
    ~TADOQuery();
    TADOQuery(const TADOQuery &) = delete;
    TADOQuery &operator=(const TADOQuery &) = delete;

    void setConnection(TADOConnection *connection);
    TADOConnection *Connection() const { return m_connection; }

    // Replaces the text; its parameters are the ":name" words outside quotes, values empty.
    void setSQL(const QString &text);
    const QString &SQL() const { return m_sql; }

    QList<TParameter> &Parameters() { return m_parameters; }
    // Throws EDatabaseError "Parameter '%s' not found" for a name the text does not have.
    TParameter &ParamByName(const QString &name);

    // Runs the statement with the current values; returns the number of rows changed. Throws
    // EDatabaseError with the engine's text.
    int ExecSQL();
    // Drops the prepared statement (it is prepared again at the next ExecSQL).
    void Close();

private:
    TADOConnection *m_connection = nullptr;
    QString m_sql;
    QList<TParameter> m_parameters;
    std::unique_ptr<Statement> m_prepared;
};

// The statement text as the engine runs it: `now` outside quotes replaced by the engine's local
// current time with milliseconds.
QString withEngineNow(const QString &sql);
// The ":name" parameters of a statement text, in order of first appearance, without the colon.
QStringList parameterNames(const QString &sql);
