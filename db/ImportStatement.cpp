#include "ImportStatement.h"

#include "Database.h"
#include "DatabaseError.h"
#include "Stamp.h"
#include "Statement.h"

#include <algorithm>

namespace {

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() > 127;
}

// Calls `word(start, length)` for every bare word of the text: outside quotes, brackets and
// comments, and not a parameter's name.
template <typename Visit> void forEachWord(const QString &sql, Visit word)
{
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql.at(i);
        if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype j = i + 1;
            while (j < n && sql.at(j) != close)
                ++j;
            i = j + 1;
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            while (i < n && sql.at(i) != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (isWordCharacter(c)) {
            qsizetype j = i;
            while (j < n && isWordCharacter(sql.at(j)))
                ++j;
            word(i, j - i);
            i = j;
        } else {
            ++i;
        }
    }
}

} // namespace

QString withEngineNow(const QString &sql)
{
    const QString engineNow = stamp::engineNow();
    QString result;
    qsizetype copied = 0;
    forEachWord(sql, [&](qsizetype start, qsizetype length) {
        const bool parameter = start > 0 && (sql.at(start - 1) == u':' || sql.at(start - 1) == u'.');
        if (!parameter && QStringView(sql).mid(start, length).compare(QLatin1String("now"), Qt::CaseInsensitive) == 0) {
            result += QStringView(sql).mid(copied, start - copied);
            result += engineNow;
            copied = start + length;
        }
    });
    result += QStringView(sql).mid(copied);
    return result;
}

QStringList parameterNames(const QString &sql)
{
    QStringList names;
    forEachWord(sql, [&](qsizetype start, qsizetype length) {
        if (start > 0 && sql.at(start - 1) == u':' && !(start > 1 && sql.at(start - 2) == u':')) {
            const QString name = sql.mid(start, length);
            if (!names.contains(name))
                names.append(name);
        }
    });
    return names;
}

ImportStatement::ImportStatement() = default;
ImportStatement::~ImportStatement() = default;

void ImportStatement::setDatabase(Database *connection)
{
    close();
    m_connection = connection;
}

void ImportStatement::setSql(const QString &text)
{
    close();
    m_sql = text;
    m_parameters.clear();
    for (const QString &name : parameterNames(text))
        m_parameters.append(StatementParameter(name));
}

StatementParameter &ImportStatement::paramByName(const QString &name)
{
    for (StatementParameter &parameter : m_parameters) {
        if (parameter.name().compare(name, Qt::CaseInsensitive) == 0)
            return parameter;
    }
    throw DatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

void ImportStatement::close()
{
    m_prepared.reset();
}

int ImportStatement::run()
{
    if (!m_connection)
        throw DatabaseError(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->setConnected(true);
    if (!m_prepared) {
        m_prepared = std::make_unique<Statement>(m_connection->handle(), withEngineNow(m_sql));
        m_positionNames.clear();
    }
    const bool sameNames = m_positionNames.size() == m_parameters.size()
        && std::equal(m_parameters.cbegin(), m_parameters.cend(), m_positionNames.cbegin(),
                      [](const StatementParameter &p, const QString &name) { return p.name() == name; });
    if (!sameNames) {
        m_positions.clear();
        m_positionNames.clear();
        for (const StatementParameter &parameter : std::as_const(m_parameters)) {
            m_positions.append(m_prepared->parameterIndex(QLatin1Char(':') + parameter.name()));
            m_positionNames.append(parameter.name());
        }
    }
    m_prepared->reset();
    for (qsizetype i = 0; i < m_parameters.size(); ++i) {
        if (m_positions.at(i) > 0)
            m_prepared->bind(m_positions.at(i), m_parameters.at(i).value());
    }
    while (m_prepared->step()) { }
    const int changed = m_prepared->changes();
    m_prepared->reset();
    return changed;
}
