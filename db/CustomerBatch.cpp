#include "CustomerBatch.h"

#include "Database.h"
#include "Stamp.h"
#include "Statement.h"

namespace {

// "insert into 客户表(客户名称,电子邮件地址,录入日期) values(?2,?3,?1),(?4,?5,?1),...": one `now`, bound
// as ?1, for every row.
QString insertText()
{
    QString text = QStringLiteral("insert into 客户表(客户名称,电子邮件地址,录入日期) values");
    for (qsizetype row = 0; row < CustomerBatch::capacity; ++row) {
        text += QStringLiteral("%1(?%2,?%3,?1)")
                    .arg(row == 0 ? QString() : QStringLiteral(","))
                    .arg(2 * row + 2)
                    .arg(2 * row + 3);
    }
    return text;
}

} // namespace

CustomerBatch::CustomerBatch(Database &connection)
    : m_connection(connection)
{
    m_texts.reserve(2 * capacity);
}

CustomerBatch::~CustomerBatch() = default;

void CustomerBatch::append(const QString &name, const QString &address)
{
    m_texts.append(name.toUtf8());
    m_texts.append(address.toUtf8());
}

void CustomerBatch::write()
{
    Q_ASSERT(isFull());
    if (!m_insert) {
        m_connection.setConnected(true);
        m_insert = std::make_unique<Statement>(m_connection.handle(), insertText());
        m_now = std::make_unique<Statement>(m_connection.handle(), QStringLiteral("select ") + stamp::engineNow());
    }
    m_now->step();
    m_insert->bind(1, m_now->column(0));
    m_now->reset();
    for (qsizetype i = 0; i < m_texts.size(); ++i)
        m_insert->bindText(int(i) + 2, m_texts.at(i));
    try {
        while (m_insert->step()) { }
    } catch (...) {
        m_insert->reset();
        throw;
    }
    m_insert->reset();
    m_texts.clear();
}
