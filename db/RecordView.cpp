#include "RecordView.h"

#include "Database.h"
#include "DatabaseError.h"
#include "DbLog.h"
#include "Dialect.h"
#include "Refusals.h"
#include "ServerFields.h"
#include "Stamp.h"
#include "Statement.h"

#include <QLocale>
#include <QRegularExpression>

#include <sqlite3.h>

#include <algorithm>

namespace {

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString utf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The kind and size of a column from its declared type ("NVARCHAR(100)", "DATETIME", "NTEXT").
Field fieldFor(sqlite3 *handle, sqlite3_stmt *statement, int column)
{
    Field field;
    field.fieldName = utf8(sqlite3_column_name(statement, column));
    const QString table = utf8(sqlite3_column_table_name(statement, column));
    const QString declared = utf8(sqlite3_column_decltype(statement, column)).toUpper();
    if (table.isEmpty()) {
        field.readOnly = true; // computed by the statement
        return field;
    }

    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)"));
    if (declared.contains(QLatin1String("INT"))) {
        int primaryKey = 0;
        sqlite3_table_column_metadata(
            handle, sqlite3_column_database_name(statement, column), sqlite3_column_table_name(statement, column),
            sqlite3_column_origin_name(statement, column), nullptr, nullptr, nullptr, &primaryKey, nullptr);
        // INTEGER PRIMARY KEY is the table's rowid: the database assigns it.
        field.kind = primaryKey && declared == QLatin1String("INTEGER") ? FieldKind::AutoIncrement : FieldKind::Integer;
        field.readOnly = field.kind == FieldKind::AutoIncrement;
    } else if (declared.contains(QLatin1String("CHAR"))) {
        field.kind = FieldKind::String;
        const QRegularExpressionMatch size = sized.match(declared);
        field.size = size.hasMatch() ? size.captured(1).toInt() : 0;
    } else if (declared.contains(QLatin1String("MEMO")) || declared.contains(QLatin1String("TEXT"))
               || declared.contains(QLatin1String("CLOB"))) {
        field.kind = FieldKind::Memo;
    } else if (declared.contains(QLatin1String("DATE")) || declared.contains(QLatin1String("TIME"))) {
        field.kind = FieldKind::DateTime;
    } else if (declared.contains(QLatin1String("REAL")) || declared.contains(QLatin1String("FLOA"))
               || declared.contains(QLatin1String("DOUB")) || declared.contains(QLatin1String("NUMERIC"))
               || declared.contains(QLatin1String("DECIMAL"))) {
        field.kind = FieldKind::Float;
    } else if (declared.contains(QLatin1String("BLOB"))) {
        field.kind = FieldKind::Blob;
    }
    // Anything else (a column declared without a type) takes values as they come.
    return field;
}

// The statement with the rows' key put in front of its columns, or empty when it is not a plain
// select that could carry one.
QString keyedStatement(const QString &select, const QString &key)
{
    static const QRegularExpression head(QStringLiteral("^\\s*select\\s+(?!distinct\\b)(all\\s+)?"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = head.match(select);
    if (!match.hasMatch())
        return {};
    QString keyed = select;
    keyed.insert(match.capturedEnd(), key + QLatin1String(", "));
    return keyed;
}

// A keyed statement (its key first) in the order of its keys, unless it asks for an order itself.
// A file gives such rows in rowid order by itself; a server gives them as it stores them, where an
// edited row's new version goes last, so an edited customer would move to the end of the page.
QString inKeyOrder(const QString &keyed)
{
    static const QRegularExpression ordered(QStringLiteral("\\border\\s+by\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression end(QStringLiteral("\\s*;?\\s*$"));
    if (ordered.match(keyed).hasMatch())
        return keyed;
    QString inOrder = keyed;
    inOrder.remove(end);
    return inOrder + QStringLiteral(" order by 1");
}

// Whether a statement is "select * from" the table and nothing more: the rows and their order are
// the table's own, so it is read as the table is.
bool selectsWholeTable(const QString &select, const QString &table)
{
    static const QRegularExpression whole(
        QStringLiteral("^\\s*select\\s+\\*\\s+from\\s+(\"?)([^\\s\";]+)\\1\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = whole.match(select);
    return match.hasMatch() && match.captured(2).compare(table, Qt::CaseInsensitive) == 0;
}

QString errorText(const char *format, const QVariant &value)
{
    return QString::fromLatin1(format).arg(value.toString());
}

void runHook(RecordView &view, const std::function<void()> &hook)
{
    if (!hook)
        return;
    FrozenControls quiet(view);
    hook();
}

} // namespace

RecordView::RecordView(QObject *parent)
    : QObject(parent)
{
}

RecordView::~RecordView() = default;

void RecordView::setDatabase(Database *connection)
{
    if (isActive())
        throw DatabaseError::openDataset();
    if (m_connection)
        disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (m_connection) {
        connect(m_connection, &Database::connectedChanged, this, [this](bool connected) {
            if (!connected)
                close();
        });
    }
}

void RecordView::setCommandText(const QString &text)
{
    if (isActive())
        throw DatabaseError::openDataset();
    m_commandText = text;
}

void RecordView::setCommandType(RecordView::CommandType type)
{
    if (isActive())
        throw DatabaseError::openDataset();
    m_commandType = type;
}

void RecordView::checkActive() const
{
    if (!isActive())
        throw DatabaseError::closedDataset();
}

void RecordView::setActive(bool active)
{
    if (active == isActive())
        return;
    if (!active) {
        m_unread.clear();
        m_buffer.clear();
        m_changed.clear();
        m_modified = false;
        clearRows();
        setState(RecordView::State::Inactive); // an unsaved edit goes with the rows
        emit activeChanged(false);
        emit rowsReset();
        emit currentRowChanged(-1);
        return;
    }

    if (!m_connection)
        throw DatabaseError(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->setConnected(true);
    readRows();
    m_current = m_rows.rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_rows.rowCount() == 0;
    setState(RecordView::State::Browsing);
    emit activeChanged(true);
    emit rowsReset();
    emit currentRowChanged(m_current);
    runHook(*this, afterOpen);
}

void RecordView::clearRows()
{
    m_fields.clear();
    m_columns.clear();
    m_table.clear();
    m_key.clear();
    m_rows.reset(0);
    m_current = -1;
    m_bof = m_eof = true;
}

// The columns of a statement on a file, by SQLite's column metadata.
static StatementColumns fileColumns(sqlite3 *handle, const QString &select)
{
    StatementColumns result;
    Statement statement(handle, select);
    const int count = statement.columnCount();
    if (count == 0) // never run a statement that changes data just to open a view
        throw DatabaseError(QStringLiteral("CommandText does not return a result set"));
    bool oneTable = true;
    for (int c = 0; c < count; ++c) {
        result.fields.append(fieldFor(handle, statement.get(), c));
        result.columns.append(utf8(sqlite3_column_origin_name(statement.get(), c)));
        const QString from = utf8(sqlite3_column_table_name(statement.get(), c));
        if (from.isEmpty() || (!result.table.isEmpty() && from != result.table))
            oneTable = false;
        result.table = from;
    }
    if (!oneTable)
        result.table.clear();
    return result;
}

// Runs the source and takes its rows; the view is left untouched when that fails.
void RecordView::readRows()
{
    Database &database = *m_connection;
    const Engine engine = database.engine();
    const QString source = m_commandText.trimmed();
    // The statement as written for a file; the server's takes its names with Latin letters quoted.
    const QString plain = m_commandType == RecordView::CommandType::Table
        ? QStringLiteral("select * from ") + quoted(source)
        : dialect::forEngine(engine, source);

    StatementColumns shape
        = engine == Engine::Postgres ? serverColumns(database, plain) : fileColumns(database.handle(), plain);
    const int plainCount = int(shape.fields.size());
    QList<Field> fields = std::move(shape.fields);
    QStringList columns = std::move(shape.columns);
    QString table = std::move(shape.table);

    // The server's own key column is not shown, so a page looks as in a file.
    int hidden = -1;
    if (const QString key = dialect::hiddenKeyColumn(engine, table); !key.isEmpty()) {
        hidden = int(columns.indexOf(key));
        if (hidden >= 0) {
            fields.removeAt(hidden);
            columns.removeAt(hidden);
        }
    }

    // Rows can be written back only when the statement can also yield each row's key.
    const QString key = table.isEmpty() ? QString() : dialect::rowKey(engine, table);
    QString keyed;
    if (!key.isEmpty()) {
        keyed = m_commandType == RecordView::CommandType::Table
            ? QStringLiteral("select ") + key + QStringLiteral(", * from ") + quoted(source)
            : keyedStatement(plain, key);
        if (engine == Engine::Postgres && m_commandType == RecordView::CommandType::Text && !keyed.isEmpty())
            keyed = inKeyOrder(keyed);
    }
    std::unique_ptr<Statement> reader;
    if (!keyed.isEmpty()) {
        try {
            reader = std::make_unique<Statement>(database, keyed);
            // A file tells before the run where the first column comes from; a server refuses a
            // key it cannot find in the statement when it is prepared.
            if (reader->get()
                && (reader->columnCount() != plainCount + 1
                    || utf8(sqlite3_column_table_name(reader->get(), 0)) != table))
                reader.reset();
        } catch (const DatabaseError &) {
            reader.reset();
        }
    }
    const bool keyedRead = reader != nullptr;
    if (!reader) {
        table.clear();
        for (Field &field : fields)
            field.readOnly = true;
        reader = std::make_unique<Statement>(database, plain);
    }

    ViewRows rows;
    if (!table.isEmpty() && (m_commandType == RecordView::CommandType::Table || selectsWholeTable(source, table))) {
        reader.reset();
        // A file's own "*"; the server's columns but its own key.
        QStringList shown;
        for (const QString &column : std::as_const(columns))
            shown.append(quoted(column));
        rows.pageTable(database, table, engine == Engine::Postgres ? shown.join(u',') : QStringLiteral("*"),
                       int(fields.size()) + 1);
    } else {
        rows.reset(int(fields.size()) + 1);
        const int skipped = hidden < 0 ? -1 : hidden + (keyedRead ? 1 : 0);
        while (reader->step())
            rows.appendFrom(*reader, keyedRead ? 0 : 1, skipped);
    }

    m_fields = std::move(fields);
    m_columns = std::move(columns);
    m_table = std::move(table);
    m_key = m_table.isEmpty() ? QString() : key;
    m_rows = std::move(rows);
}

int RecordView::recordCount() const
{
    checkActive();
    return m_rows.rowCount();
}

void RecordView::disableControls()
{
    ++m_controlsDisabled;
}

void RecordView::enableControls()
{
    if (m_controlsDisabled > 0 && --m_controlsDisabled == 0 && m_currentMoved) {
        m_currentMoved = false;
        emit currentRowChanged(currentRow());
    }
}

void RecordView::moveTo(int row)
{
    if (row == m_current)
        return;
    m_current = row;
    if (m_controlsDisabled > 0)
        m_currentMoved = true;
    else
        emit currentRowChanged(m_current);
}

void RecordView::setState(RecordView::State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void RecordView::checkBrowseMode()
{
    if (m_state == RecordView::State::Editing || m_state == RecordView::State::Inserting) {
        if (m_modified)
            post();
        else
            cancel();
    }
}

void RecordView::first()
{
    checkActive();
    checkBrowseMode();
    moveTo(m_rows.rowCount() > 0 ? 0 : -1);
    m_bof = true;
    m_eof = m_rows.rowCount() == 0;
}

void RecordView::next()
{
    checkActive();
    checkBrowseMode();
    if (m_current + 1 < m_rows.rowCount()) {
        moveTo(m_current + 1);
        m_bof = m_eof = false;
    } else {
        m_eof = true;
    }
}

void RecordView::prior()
{
    checkActive();
    checkBrowseMode();
    if (m_current > 0) {
        moveTo(m_current - 1);
        m_bof = m_eof = false;
    } else {
        m_bof = true;
    }
}

void RecordView::last()
{
    checkActive();
    checkBrowseMode();
    moveTo(m_rows.rowCount() - 1);
    m_eof = true;
    m_bof = m_rows.rowCount() == 0;
}

void RecordView::setCurrentRow(int row)
{
    checkActive();
    // Dropping an untouched new row moves the rows after it up by one.
    const bool dropsNewRow = m_state == RecordView::State::Inserting && !m_modified;
    const int newRow = m_current;
    checkBrowseMode();
    if (dropsNewRow && row > newRow)
        --row;
    if (row < 0 || row >= m_rows.rowCount())
        return;
    moveTo(row);
    m_bof = m_eof = false;
}

int RecordView::fieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (sameFieldName(m_fields.at(i).fieldName, name))
            return int(i);
    }
    return -1;
}

int RecordView::fieldIndexOrThrow(const QString &name) const
{
    const int index = fieldIndex(name);
    if (index < 0)
        throw DatabaseError::fieldNotFound(name);
    return index;
}

// A stored value as the views hand it out: date-and-time text as QDateTime.
static QVariant presented(const Field &field, QVariant stored)
{
    if (field.kind == FieldKind::DateTime && stored.typeId() == QMetaType::QString) {
        const QDateTime moment = stamp::fromText(stored.toString());
        if (moment.isValid())
            return moment;
    }
    return stored;
}

QVariant RecordView::cell(int row, int column) const
{
    return presented(m_fields.at(column), m_rows.value(row, column + 1));
}

QVariant RecordView::value(int row, int column) const
{
    if (!isActive() || row < 0 || row >= m_rows.rowCount() || column < 0 || column >= m_fields.size())
        return {};
    if (row == m_current && (m_state == RecordView::State::Editing || m_state == RecordView::State::Inserting))
        return presented(m_fields.at(column), m_buffer.at(column));
    return cell(row, column);
}

QVariant RecordView::fieldByName(const QString &name) const
{
    checkActive();
    return value(m_current, fieldIndexOrThrow(name));
}

QVariant RecordView::converted(int column, const QVariant &value) const
{
    if (value.isNull())
        return {};
    const bool isText = value.typeId() == QMetaType::QString;
    if (isText && value.toString().trimmed().isEmpty() && m_fields.at(column).kind != FieldKind::String
        && m_fields.at(column).kind != FieldKind::Memo)
        return {};
    bool ok = true;
    switch (m_fields.at(column).kind) {
    case FieldKind::AutoIncrement:
    case FieldKind::Integer: {
        const qlonglong number = isText ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok)
            throw DatabaseError(errorText("'%1' is not a valid integer value", value));
        return number;
    }
    case FieldKind::Float: {
        const double number = isText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok)
            throw DatabaseError(errorText("'%1' is not a valid floating point value", value));
        return number;
    }
    case FieldKind::DateTime: {
        QDateTime moment;
        if (value.typeId() == QMetaType::QDateTime)
            moment = value.toDateTime();
        else if (value.typeId() == QMetaType::QDate)
            moment = value.toDate().startOfDay();
        else
            moment = stamp::fromText(value.toString());
        if (!moment.isValid()) // as the user's region writes dates
            moment = QLocale::system().toDateTime(value.toString().trimmed(), QLocale::ShortFormat);
        if (!moment.isValid())
            throw DatabaseError(errorText("'%1' is not a valid date and time", value));
        return stamp::toText(moment);
    }
    case FieldKind::String:
    case FieldKind::Memo: return value.toString();
    case FieldKind::Blob: return value.toByteArray();
    case FieldKind::Unknown: break;
    }
    return value;
}

void RecordView::setFieldValue(const QString &name, const QVariant &value)
{
    checkActive();
    const int column = fieldIndexOrThrow(name);
    if (m_fields.at(column).readOnly)
        throw DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_fields.at(column).fieldName));
    const QVariant stored = converted(column, value);
    if (m_state == RecordView::State::Browsing)
        edit();
    m_buffer[column] = stored;
    m_changed[std::size_t(column)] = true;
    m_modified = true;
    emit rowChanged(m_current);
}

void RecordView::setUnreadColumn(const QString &column, const QVariant &value)
{
    checkActive();
    if (!canModify())
        throw DatabaseError::readOnlyDataset();
    if (m_state == RecordView::State::Browsing)
        edit();
    const auto set = std::find_if(m_unread.begin(), m_unread.end(),
                                  [&](const auto &unread) { return sameFieldName(unread.first, column); });
    if (set != m_unread.end())
        set->second = value;
    else
        m_unread.append({column, value});
    m_modified = true;
    emit rowChanged(m_current);
}

std::optional<QVariant> RecordView::unreadColumn(const QString &column) const
{
    for (const auto &unread : m_unread) {
        if (sameFieldName(unread.first, column))
            return unread.second;
    }
    return std::nullopt;
}

void RecordView::startEdit(RecordView::State state, int row)
{
    m_unread.clear();
    m_buffer.clear();
    for (int c = 0; c < m_fields.size(); ++c)
        m_buffer.append(state == RecordView::State::Editing ? m_rows.value(row, c + 1) : QVariant());
    m_changed.assign(std::size_t(m_fields.size()), false);
    m_modified = false;
    setState(state);
}

void RecordView::edit()
{
    checkActive();
    if (m_state != RecordView::State::Browsing)
        return;
    if (!canModify())
        throw DatabaseError::readOnlyDataset();
    if (m_rows.rowCount() == 0) {
        insert();
        return;
    }
    startEdit(RecordView::State::Editing, m_current);
}

void RecordView::insert()
{
    startInsert();
}

void RecordView::append()
{
    startInsert();
}

void RecordView::startInsert()
{
    checkActive();
    checkBrowseMode();
    if (!canModify())
        throw DatabaseError::readOnlyDataset();
    const int row = m_rows.rowCount();
    m_insertedFrom = m_current;
    m_rows.insertRow(row);
    emit rowInserted(row);
    startEdit(RecordView::State::Inserting, row);
    moveTo(row);
    m_bof = m_eof = false;
}

void RecordView::post()
{
    checkActive();
    if (m_state != RecordView::State::Editing && m_state != RecordView::State::Inserting)
        return;
    if (beforePost)
        beforePost();
    writeRow();
    endEdit();
    emit rowChanged(m_current);
}

// Runs a save's statement; the engine's refusal reaches the user in their words, and the log.
static void stepSave(Statement &save)
{
    try {
        save.step();
    } catch (const DatabaseError &e) {
        qCInfo(dbLog) << "save refused:" << e.message();
        throw DatabaseError(refusalText(e.message(), e.sqlState()));
    }
}

// Writes the edit buffer to the table; the cached row then takes what the table holds.
void RecordView::writeRow()
{
    Database &database = *m_connection;
    QStringList names;
    QVariantList values;
    for (int c = 0; c < m_fields.size(); ++c) {
        if (m_changed[std::size_t(c)] && !m_fields.at(c).readOnly) {
            names.append(quoted(m_columns.at(c)));
            values.append(m_buffer.at(c));
        }
    }
    for (const auto &[column, value] : std::as_const(m_unread)) {
        names.append(quoted(column));
        values.append(value);
    }

    qint64 key = 0;
    if (m_state == RecordView::State::Inserting) {
        QString sql = QStringLiteral("insert into ") + quoted(m_table);
        if (names.isEmpty()) {
            sql += QStringLiteral(" default values");
        } else {
            QStringList marks;
            marks.fill(QStringLiteral("?"), names.size());
            sql += QStringLiteral(" (%1) values (%2)").arg(names.join(u','), marks.join(u','));
        }
        Statement insert(database, sql + dialect::returningKey(database.engine(), m_table));
        for (int i = 0; i < values.size(); ++i)
            insert.bind(i + 1, values.at(i));
        stepSave(insert);
        key = database.engine() == Engine::Postgres ? insert.column(0).toLongLong() : insert.lastInsertId();
        m_rows.setValue(m_current, 0, qlonglong(key));
    } else {
        if (m_rows.kind(m_current, 0) != RowStore::Integer)
            throw DatabaseError::rowNotFound();
        key = m_rows.integer(m_current, 0);
        if (names.isEmpty())
            return;
        QStringList assignments;
        for (const QString &name : std::as_const(names))
            assignments.append(name + QStringLiteral(" = ?"));
        Statement update(database, QStringLiteral("update %1 set %2 where %3 = ?")
                                       .arg(quoted(m_table), assignments.join(u','), m_key));
        for (int i = 0; i < values.size(); ++i)
            update.bind(i + 1, values.at(i));
        update.bind(int(values.size()) + 1, qlonglong(key));
        stepSave(update);
        if (update.changes() == 0)
            throw DatabaseError::rowNotFound();
    }
    refreshRow(m_current);
}

void RecordView::refreshRow(int row)
{
    QStringList names;
    for (const QString &column : std::as_const(m_columns))
        names.append(quoted(column));
    Statement select(*m_connection, QStringLiteral("select %3, %1 from %2 where %3 = ?")
                                        .arg(names.join(u','), quoted(m_table), m_key));
    select.bind(1, m_rows.value(row, 0));
    if (!select.step())
        return;
    for (int c = 0; c < select.columnCount(); ++c)
        m_rows.setValue(row, c, select.column(c));
}

void RecordView::endEdit()
{
    m_unread.clear();
    m_buffer.clear();
    m_changed.clear();
    m_modified = false;
    setState(RecordView::State::Browsing);
}

// The row below takes the current row's place; the last row when there is none below.
void RecordView::dropCurrentRow()
{
    const int row = m_current;
    m_rows.removeRow(row);
    emit rowRemoved(row);
    m_current = -1;
    moveTo(std::min(row, m_rows.rowCount() - 1));
    m_bof = m_eof = m_rows.rowCount() == 0;
}

void RecordView::cancel()
{
    checkActive();
    const RecordView::State state = m_state;
    if (state != RecordView::State::Editing && state != RecordView::State::Inserting)
        return;
    endEdit();
    if (state != RecordView::State::Inserting) {
        emit rowChanged(m_current);
        return;
    }
    // A new record given up takes the user back to where it was started.
    dropCurrentRow();
    if (m_insertedFrom >= 0 && m_insertedFrom < m_rows.rowCount()) {
        moveTo(m_insertedFrom);
        m_bof = m_eof = false;
    }
}

void RecordView::remove()
{
    checkActive();
    if (m_state == RecordView::State::Inserting) {
        cancel();
        return;
    }
    if (!canModify())
        throw DatabaseError::readOnlyDataset();
    if (m_rows.rowCount() == 0)
        throw DatabaseError::emptyDataset();
    if (m_rows.kind(m_current, 0) != RowStore::Integer)
        throw DatabaseError::rowNotFound();

    Statement remove(*m_connection, QStringLiteral("delete from %1 where %2 = ?").arg(quoted(m_table), m_key));
    remove.bind(1, qlonglong(m_rows.integer(m_current, 0)));
    remove.step();
    endEdit();
    dropCurrentRow();
}

std::optional<qint64> RecordView::key(int row) const
{
    if (!canModify() || row < 0 || row >= m_rows.rowCount() || m_rows.kind(row, 0) != RowStore::Integer)
        return std::nullopt;
    return m_rows.integer(row, 0);
}

bool RecordView::removeKey(qint64 key)
{
    checkActive();
    if (!canModify())
        throw DatabaseError::readOnlyDataset();
    const int row = m_rows.findKey(key);
    if (row < 0)
        return false;

    Statement remove(*m_connection, QStringLiteral("delete from %1 where %2 = ?").arg(quoted(m_table), m_key));
    remove.bind(1, qlonglong(key));
    remove.step();
    const bool removed = remove.changes() > 0;

    if (row == m_current) {
        endEdit();
        dropCurrentRow();
        return removed;
    }
    // Another row goes: the current record stays current (and keeps its edit), one place up when
    // the row was above it.
    const int current = m_current;
    m_rows.removeRow(row);
    if (row < m_current)
        --m_current;
    if (m_insertedFrom > row)
        --m_insertedFrom;
    else if (m_insertedFrom == row)
        m_insertedFrom = -1;
    emit rowRemoved(row);
    if (m_current != current) {
        if (m_controlsDisabled > 0)
            m_currentMoved = true;
        else
            emit currentRowChanged(m_current);
    }
    return removed;
}

void RecordView::refresh()
{
    checkActive();
    checkBrowseMode();
    const int row = m_current;
    const bool keyed = row >= 0 && m_rows.kind(row, 0) == RowStore::Integer;
    const qint64 key = keyed ? m_rows.integer(row, 0) : 0;

    readRows();

    int current = std::min(row, m_rows.rowCount() - 1);
    if (keyed) {
        if (const int found = m_rows.findKey(key); found >= 0)
            current = found;
    }
    if (current < 0 && m_rows.rowCount() > 0)
        current = 0;
    m_current = current;
    m_bof = false;
    m_eof = m_rows.rowCount() == 0;
    emit rowsReset();
    emit currentRowChanged(m_current);
    runHook(*this, afterRefresh);
}

static bool sameValue(const ViewRows &rows, int row, int column, const QVariant &wanted)
{
    if (wanted.isNull())
        return rows.kind(row, column) == RowStore::Null;
    bool ok = false;
    switch (rows.kind(row, column)) {
    case RowStore::Null: return false;
    case RowStore::Integer:
        if (wanted.typeId() != QMetaType::Double) {
            const qlonglong number = wanted.toLongLong(&ok);
            if (ok)
                return number == rows.integer(row, column);
        }
        [[fallthrough]];
    case RowStore::Float: {
        const double number = wanted.toDouble(&ok);
        return ok && number == rows.value(row, column).toDouble();
    }
    case RowStore::Text: {
        const QString text = QString::fromUtf8(RowStore::textOf(wanted));
        return rows.value(row, column).toString().compare(text, Qt::CaseInsensitive) == 0;
    }
    case RowStore::Blob: return rows.value(row, column).toByteArray() == wanted.toByteArray();
    }
    return false;
}

bool RecordView::locate(const QString &field, const QVariant &value)
{
    checkActive();
    const int column = fieldIndexOrThrow(field);
    checkBrowseMode();
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (sameValue(m_rows, row, column + 1, value)) {
            moveTo(row);
            m_bof = m_eof = false;
            return true;
        }
    }
    return false;
}

void RecordView::appendRow(const QVariantList &values, qint64 key)
{
    checkActive();
    // Only a key the read could have met is looked for: a run's records are mostly newer.
    if (key >= 0 && key <= m_rows.greatestReadKey()) {
        if (const int found = m_rows.findKey(key); found >= 0) {
            for (int c = 0; c < m_fields.size(); ++c)
                m_rows.setValue(found, c + 1, c < values.size() ? converted(c, values.at(c)) : QVariant());
            emit rowChanged(found);
            return;
        }
    }
    QVariantList row;
    row.append(key >= 0 ? QVariant(qlonglong(key)) : QVariant());
    for (int c = 0; c < m_fields.size(); ++c)
        row.append(c < values.size() ? converted(c, values.at(c)) : QVariant());
    m_rows.append(row);
    emit rowInserted(m_rows.rowCount() - 1);
    if (m_current < 0) {
        moveTo(0);
        m_bof = m_eof = false;
    }
}
