#include "CustomerSearch.h"

#include "Database.h"
#include "Dialect.h"
#include "Statement.h"

#include <algorithm>
#include <limits>

namespace {

const QString Columns = QStringLiteral(R"(select "客户ID", 客户名称, 电子邮件地址 from 客户表 )");

bool allDigits(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The text for LIKE, each character standing for itself; ASCII letters in lower case, as the
// column's side is folded.
QString likePattern(const QString &typed)
{
    QString pattern = QStringLiteral("%");
    for (QChar c : typed) {
        if (c == u'\\' || c == u'%' || c == u'_')
            pattern += u'\\';
        pattern += (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + ('a' - 'A')) : c;
    }
    return pattern + u'%';
}

void sortById(QList<CustomerMatch> &matches)
{
    std::sort(matches.begin(), matches.end(), [](const CustomerMatch &a, const CustomerMatch &b) { return a.id < b.id; });
}

} // namespace

CustomerSearch::CustomerSearch(Database &database, const QString &typed, int limit)
    : m_database(database)
    , m_typed(typed.trimmed())
    , m_limit(limit)
{
}

CustomerSearch::~CustomerSearch() = default;

void CustomerSearch::keep(QList<CustomerMatch> &into, Statement &query)
{
    while (m_found.size() < m_limit && query.step()) {
        const qint64 id = query.column(0).toLongLong();
        if (m_found.contains(id))
            continue;
        m_found.insert(id);
        into.append({id, query.column(1).toString(), query.column(2).toString()});
    }
}

QList<CustomerMatch> CustomerSearch::quickMatches()
{
    if (m_typed.isEmpty()) {
        Statement query(m_database, Columns + QStringLiteral(R"(order by "客户ID" limit ?)"));
        query.bind(1, m_limit);
        QList<CustomerMatch> matches;
        keep(matches, query);
        return matches;
    }
    if (allDigits(m_typed))
        return idMatches();
    QList<CustomerMatch> matches = prefixMatches();
    m_scanning = matches.size() < m_limit;
    m_pattern = likePattern(m_typed);
    return matches;
}

// The number itself, then the numbers of one more digit that begin with it, then of two more...:
// each a range of the key, read in order, so the first `limit` by ID come at once.
QList<CustomerMatch> CustomerSearch::idMatches()
{
    QList<CustomerMatch> matches;
    bool ok = false;
    const qint64 number = m_typed.toLongLong(&ok);
    // No ID is written with a leading zero, and none is past the key's range.
    if (!ok || m_typed.startsWith(u'0'))
        return matches;
    Statement query(m_database,
                    Columns + QStringLiteral(R"(where "客户ID" between ? and ? order by "客户ID" limit ?)"));
    constexpr qint64 Largest = std::numeric_limits<qint64>::max();
    // Wide enough that the ranges' ends never overflow on the way to the key's limit.
    for (__int128 scale = 1; m_found.size() < m_limit; scale *= 10) {
        const __int128 low = number * scale;
        if (low > Largest)
            break;
        const __int128 high = std::min<__int128>((number + __int128(1)) * scale - 1, Largest);
        query.reset();
        query.bind(1, qint64(low));
        query.bind(2, qint64(high));
        query.bind(3, m_limit - int(m_found.size()));
        keep(matches, query);
    }
    return matches;
}

// Names, then addresses, that begin with the text, each a range of its index in the byte order of
// UTF-8 on both engines: from the text itself up to the text followed by the last character.
QList<CustomerMatch> CustomerSearch::prefixMatches()
{
    const Engine engine = m_database.engine();
    QString beyond = m_typed;
    beyond += QChar::highSurrogate(0x10FFFF);
    beyond += QChar::lowSurrogate(0x10FFFF);
    QList<CustomerMatch> matches;
    for (const QString &column : {QStringLiteral("客户名称"), QStringLiteral("电子邮件地址")}) {
        const QString ordered = dialect::byteOrder(engine, column);
        Statement query(m_database, Columns
                                        + QStringLiteral("where %1 >= cast(? as text) and %1 < cast(? as text) "
                                                         R"(order by %1, "客户ID" limit ?)")
                                              .arg(ordered));
        query.bind(1, m_typed);
        query.bind(2, beyond);
        query.bind(3, m_limit);
        keep(matches, query);
    }
    sortById(matches);
    return matches;
}

QList<CustomerMatch> CustomerSearch::scanMore(int rows)
{
    QList<CustomerMatch> matches;
    if (!m_scanning)
        return matches;
    // Where this slice ends: the key of its last customer, none when fewer are left.
    Statement end(m_database, QStringLiteral(R"(select "客户ID" from 客户表 where "客户ID" > ? order by "客户ID" limit 1 offset ?)"));
    end.bind(1, m_scannedTo);
    end.bind(2, rows - 1);
    const bool more = end.step();
    const qint64 last = more ? end.column(0).toLongLong() : std::numeric_limits<qint64>::max();

    const Engine engine = m_database.engine();
    Statement query(m_database,
                    Columns
                        + QStringLiteral(R"(where "客户ID" > ? and "客户ID" <= ? and (%1 like cast(? as text) escape '\' )"
                                         R"(or %2 like cast(? as text) escape '\') order by "客户ID")")
                              .arg(dialect::asciiLower(engine, QStringLiteral("客户名称")),
                                   dialect::asciiLower(engine, QStringLiteral("电子邮件地址"))));
    query.bind(1, m_scannedTo);
    query.bind(2, last);
    query.bind(3, m_pattern);
    query.bind(4, m_pattern);
    keep(matches, query);
    m_scannedTo = last;
    m_scanning = more && m_found.size() < m_limit;
    return matches;
}

QList<CustomerMatch> findCustomers(Database &database, const QString &typed, int limit)
{
    CustomerSearch search(database, typed, limit);
    QList<CustomerMatch> matches = search.quickMatches();
    while (search.scanning())
        matches += search.scanMore();
    return matches;
}
