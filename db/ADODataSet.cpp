#include "db/ADODataSet.h"

#include "db/ADOConnection.h"
#include "db/DatabaseError.h"
#include "db/Stamp.h"
#include "db/Statement.h"

#include <QLocale>
#include <QRegularExpression>

#include <sqlite3.h>

namespace {

QString quoted(const QString &identifier)
{
    return QLatin1Char('"') + QString(identifier).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString utf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The kind and size of a column from its declared type ("NVARCHAR(40)", "DATETIME", "NTEXT").
TField fieldFor(sqlite3 *handle, sqlite3_stmt *statement, int column)
{
    TField field;
    field.FieldName = utf8(sqlite3_column_name(statement, column));
    const QString table = utf8(sqlite3_column_table_name(statement, column));
    const QString declared = utf8(sqlite3_column_decltype(statement, column)).toUpper();
    if (table.isEmpty()) {
        field.ReadOnly = true; // computed by the statement
        return field;
    }

    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)"));
    if (declared.contains(QLatin1String("INT"))) {
        int primaryKey = 0;
        sqlite3_table_column_metadata(handle, sqlite3_column_database_name(statement, column),
                                      sqlite3_column_table_name(statement, column),
                                      sqlite3_column_origin_name(statement, column), nullptr, nullptr, nullptr,
                                      &primaryKey, nullptr);
        // INTEGER PRIMARY KEY is the table's rowid: the database assigns it.
        field.Kind = primaryKey && declared == QLatin1String("INTEGER") ? TFieldKind::ftAutoInc : TFieldKind::ftInteger;
        field.ReadOnly = field.Kind == TFieldKind::ftAutoInc;
    } else if (declared.contains(QLatin1String("CHAR"))) {
        field.Kind = TFieldKind::ftWideString;
        const QRegularExpressionMatch size = sized.match(declared);
        field.Size = size.hasMatch() ? size.captured(1).toInt() : 0;
    } else if (declared.contains(QLatin1String("MEMO")) || declared.contains(QLatin1String("TEXT"))
               || declared.contains(QLatin1String("CLOB"))) {
        field.Kind = TFieldKind::ftWideMemo;
    } else if (declared.contains(QLatin1String("DATE")) || declared.contains(QLatin1String("TIME"))) {
        field.Kind = TFieldKind::ftDateTime;
    } else if (declared.contains(QLatin1String("REAL")) || declared.contains(QLatin1String("FLOA"))
               || declared.contains(QLatin1String("DOUB")) || declared.contains(QLatin1String("NUMERIC"))
               || declared.contains(QLatin1String("DECIMAL"))) {
        field.Kind = TFieldKind::ftFloat;
    } else if (declared.contains(QLatin1String("BLOB"))) {
        field.Kind = TFieldKind::ftBlob;
    }
    // Anything else (a column declared without a type) takes values as they come.
    return field;
}

// The statement with the rows' key put in front of its columns, or empty when it is not a plain
// select that could carry one.
QString keyedStatement(const QString &select)
{
    static const QRegularExpression head(QStringLiteral("^\\s*select\\s+(?!distinct\\b)(all\\s+)?"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = head.match(select);
    if (!match.hasMatch())
        return {};
    QString keyed = select;
    keyed.insert(match.capturedEnd(), QLatin1String("rowid, "));
    return keyed;
}

QString errorText(const char *format, const QVariant &value)
{
    return QString::fromLatin1(format).arg(value.toString());
}

void runHook(TADODataSet &view, const std::function<void()> &hook)
{
    if (!hook)
        return;
    TControlsDisabled quiet(view);
    hook();
}

} // namespace

TADODataSet::TADODataSet(QObject *parent)
    : QObject(parent)
{
}

TADODataSet::~TADODataSet() = default;

void TADODataSet::setConnection(TADOConnection *connection)
{
    if (Active())
        throw EDatabaseError::openDataset();
    if (m_connection)
        disconnect(m_connection, nullptr, this, nullptr);
    m_connection = connection;
    if (m_connection) {
        connect(m_connection, &TADOConnection::connectedChanged, this, [this](bool connected) {
            if (!connected)
                Close();
        });
    }
}

void TADODataSet::setCommandText(const QString &text)
{
    if (Active())
        throw EDatabaseError::openDataset();
    m_commandText = text;
}

void TADODataSet::setCommandType(TCommandType type)
{
    if (Active())
        throw EDatabaseError::openDataset();
    m_commandType = type;
}

void TADODataSet::checkActive() const
{
    if (!Active())
        throw EDatabaseError::closedDataset();
}

void TADODataSet::setActive(bool active)
{
    if (active == Active())
        return;
    if (!active) {
        m_buffer.clear();
        m_changed.clear();
        m_modified = false;
        clearRows();
        setState(TDataSetState::dsInactive); // an unsaved edit goes with the rows
        emit activeChanged(false);
        emit rowsReset();
        emit currentRowChanged(-1);
        return;
    }

    if (!m_connection)
        throw EDatabaseError(QStringLiteral("Missing Connection or ConnectionString"));
    m_connection->setConnected(true);
    readRows();
    m_current = m_rows.rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_rows.rowCount() == 0;
    setState(TDataSetState::dsBrowse);
    emit activeChanged(true);
    emit rowsReset();
    emit currentRowChanged(m_current);
    runHook(*this, AfterOpen);
}

void TADODataSet::clearRows()
{
    m_fields.clear();
    m_columns.clear();
    m_table.clear();
    m_rows.reset(0);
    m_current = -1;
    m_bof = m_eof = true;
}

// Runs the source and takes its rows; the view is left untouched when that fails.
void TADODataSet::readRows()
{
    sqlite3 *handle = m_connection->handle();
    const QString source = m_commandText.trimmed();
    QString plain;
    QString keyed;
    if (m_commandType == TCommandType::cmdTable) {
        plain = QStringLiteral("select * from ") + quoted(source);
        keyed = QStringLiteral("select rowid, * from ") + quoted(source);
    } else {
        plain = source;
        keyed = keyedStatement(source);
    }

    QList<TField> fields;
    QStringList columns;
    QString table;
    {
        Statement statement(handle, plain);
        const int count = statement.columnCount();
        if (count == 0) // never run a statement that changes data just to open a view
            throw EDatabaseError(QStringLiteral("CommandText does not return a result set"));
        bool oneTable = true;
        for (int c = 0; c < count; ++c) {
            fields.append(fieldFor(handle, statement.get(), c));
            columns.append(utf8(sqlite3_column_origin_name(statement.get(), c)));
            const QString from = utf8(sqlite3_column_table_name(statement.get(), c));
            if (from.isEmpty() || (!table.isEmpty() && from != table))
                oneTable = false;
            table = from;
        }
        if (!oneTable)
            table.clear();
    }

    // Rows can be written back only when the statement can also yield each row's key.
    std::unique_ptr<Statement> reader;
    if (!table.isEmpty() && !keyed.isEmpty()) {
        try {
            reader = std::make_unique<Statement>(handle, keyed);
            if (reader->columnCount() != fields.size() + 1
                || utf8(sqlite3_column_table_name(reader->get(), 0)) != table)
                reader.reset();
        } catch (const EDatabaseError &) {
            reader.reset();
        }
    }
    if (!reader) {
        table.clear();
        for (TField &field : fields)
            field.ReadOnly = true;
        reader = std::make_unique<Statement>(handle, plain);
    }

    RowStore rows;
    rows.reset(int(fields.size()) + 1);
    const int offset = reader->columnCount() == fields.size() ? 1 : 0;
    while (reader->step())
        rows.appendFrom(reader->get(), offset);

    m_fields = std::move(fields);
    m_columns = std::move(columns);
    m_table = std::move(table);
    m_rows = std::move(rows);
}

int TADODataSet::RecordCount() const
{
    checkActive();
    return m_rows.rowCount();
}

void TADODataSet::DisableControls()
{
    ++m_controlsDisabled;
}

void TADODataSet::EnableControls()
{
    if (m_controlsDisabled > 0 && --m_controlsDisabled == 0 && m_currentMoved) {
        m_currentMoved = false;
        emit currentRowChanged(RecNo());
    }
}

void TADODataSet::moveTo(int row)
{
    if (row == m_current)
        return;
    m_current = row;
    if (m_controlsDisabled > 0)
        m_currentMoved = true;
    else
        emit currentRowChanged(m_current);
}

void TADODataSet::setState(TDataSetState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void TADODataSet::checkBrowseMode()
{
    if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TADODataSet::First()
{
    checkActive();
    checkBrowseMode();
    moveTo(m_rows.rowCount() > 0 ? 0 : -1);
    m_bof = true;
    m_eof = m_rows.rowCount() == 0;
}

void TADODataSet::Next()
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

void TADODataSet::Prior()
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

void TADODataSet::Last()
{
    checkActive();
    checkBrowseMode();
    moveTo(m_rows.rowCount() - 1);
    m_eof = true;
    m_bof = m_rows.rowCount() == 0;
}

void TADODataSet::setRecNo(int row)
{
    checkActive();
    // Dropping an untouched new row moves the rows after it up by one.
    const bool dropsNewRow = m_state == TDataSetState::dsInsert && !m_modified;
    const int newRow = m_current;
    checkBrowseMode();
    if (dropsNewRow && row > newRow)
        --row;
    if (row < 0 || row >= m_rows.rowCount())
        return;
    moveTo(row);
    m_bof = m_eof = false;
}

int TADODataSet::FieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (sameFieldName(m_fields.at(i).FieldName, name))
            return int(i);
    }
    return -1;
}

int TADODataSet::fieldIndexOrThrow(const QString &name) const
{
    const int index = FieldIndex(name);
    if (index < 0)
        throw EDatabaseError::fieldNotFound(name);
    return index;
}

// A stored value as the views hand it out: date-and-time text as QDateTime.
static QVariant presented(const TField &field, QVariant stored)
{
    if (field.Kind == TFieldKind::ftDateTime && stored.typeId() == QMetaType::QString) {
        const QDateTime moment = stamp::fromText(stored.toString());
        if (moment.isValid())
            return moment;
    }
    return stored;
}

QVariant TADODataSet::cell(int row, int column) const
{
    return presented(m_fields.at(column), m_rows.value(row, column + 1));
}

QVariant TADODataSet::value(int row, int column) const
{
    if (!Active() || row < 0 || row >= m_rows.rowCount() || column < 0 || column >= m_fields.size())
        return {};
    if (row == m_current && (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert))
        return presented(m_fields.at(column), m_buffer.at(column));
    return cell(row, column);
}

QVariant TADODataSet::FieldByName(const QString &name) const
{
    checkActive();
    return value(m_current, fieldIndexOrThrow(name));
}

QVariant TADODataSet::converted(int column, const QVariant &value) const
{
    if (value.isNull())
        return {};
    const bool isText = value.typeId() == QMetaType::QString;
    if (isText && value.toString().trimmed().isEmpty() && m_fields.at(column).Kind != TFieldKind::ftWideString
        && m_fields.at(column).Kind != TFieldKind::ftWideMemo)
        return {};
    bool ok = true;
    switch (m_fields.at(column).Kind) {
    case TFieldKind::ftAutoInc:
    case TFieldKind::ftInteger: {
        const qlonglong number = isText ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok)
            throw EDatabaseError(errorText("'%1' is not a valid integer value", value));
        return number;
    }
    case TFieldKind::ftFloat: {
        const double number = isText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok)
            throw EDatabaseError(errorText("'%1' is not a valid floating point value", value));
        return number;
    }
    case TFieldKind::ftDateTime: {
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
            throw EDatabaseError(errorText("'%1' is not a valid date and time", value));
        return stamp::toText(moment);
    }
    case TFieldKind::ftWideString:
    case TFieldKind::ftWideMemo:
        return value.toString();
    case TFieldKind::ftBlob:
        return value.toByteArray();
    case TFieldKind::ftUnknown:
        break;
    }
    return value;
}

void TADODataSet::setFieldValue(const QString &name, const QVariant &value)
{
    checkActive();
    const int column = fieldIndexOrThrow(name);
    if (m_fields.at(column).ReadOnly)
        throw EDatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_fields.at(column).FieldName));
    const QVariant stored = converted(column, value);
    if (m_state == TDataSetState::dsBrowse)
        Edit();
    m_buffer[column] = stored;
    m_changed[std::size_t(column)] = true;
    m_modified = true;
    emit rowChanged(m_current);
}

void TADODataSet::startEdit(TDataSetState state, int row)
{
    m_buffer.clear();
    for (int c = 0; c < m_fields.size(); ++c)
        m_buffer.append(state == TDataSetState::dsEdit ? m_rows.value(row, c + 1) : QVariant());
    m_changed.assign(std::size_t(m_fields.size()), false);
    m_modified = false;
    setState(state);
}

void TADODataSet::Edit()
{
    checkActive();
    if (m_state != TDataSetState::dsBrowse)
        return;
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (m_rows.rowCount() == 0) {
        Insert();
        return;
    }
    startEdit(TDataSetState::dsEdit, m_current);
}

void TADODataSet::Insert()
{
    startInsert(false);
}

void TADODataSet::Append()
{
    startInsert(true);
}

void TADODataSet::startInsert(bool atEnd)
{
    checkActive();
    checkBrowseMode();
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    const int row = atEnd ? m_rows.rowCount() : std::max(m_current, 0);
    m_rows.insertRow(row);
    emit rowInserted(row);
    startEdit(TDataSetState::dsInsert, row);
    m_current = -1; // the new row is current even where it took the old current row's place
    moveTo(row);
    m_bof = m_eof = false;
}

void TADODataSet::Post()
{
    checkActive();
    if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert)
        return;
    if (BeforePost)
        BeforePost();
    writeRow();
    endEdit();
    emit rowChanged(m_current);
}

// Writes the edit buffer to the table; the cached row then takes what the table holds.
void TADODataSet::writeRow()
{
    sqlite3 *handle = m_connection->handle();
    QStringList names;
    QVariantList values;
    for (int c = 0; c < m_fields.size(); ++c) {
        if (m_changed[std::size_t(c)] && !m_fields.at(c).ReadOnly) {
            names.append(quoted(m_columns.at(c)));
            values.append(m_buffer.at(c));
        }
    }

    qint64 key = 0;
    if (m_state == TDataSetState::dsInsert) {
        QString sql = QStringLiteral("insert into ") + quoted(m_table);
        if (names.isEmpty()) {
            sql += QStringLiteral(" default values");
        } else {
            QStringList marks;
            marks.fill(QStringLiteral("?"), names.size());
            sql += QStringLiteral(" (%1) values (%2)").arg(names.join(u','), marks.join(u','));
        }
        Statement insert(handle, sql);
        for (int i = 0; i < values.size(); ++i)
            insert.bind(i + 1, values.at(i));
        insert.step();
        key = sqlite3_last_insert_rowid(handle);
        m_rows.setValue(m_current, 0, qlonglong(key));
    } else {
        if (m_rows.kind(m_current, 0) != RowStore::Integer)
            throw EDatabaseError(QStringLiteral("Row cannot be located for updating"));
        key = m_rows.integer(m_current, 0);
        if (names.isEmpty())
            return;
        QStringList assignments;
        for (const QString &name : std::as_const(names))
            assignments.append(name + QStringLiteral(" = ?"));
        Statement update(handle, QStringLiteral("update %1 set %2 where rowid = ?").arg(quoted(m_table), assignments.join(u',')));
        for (int i = 0; i < values.size(); ++i)
            update.bind(i + 1, values.at(i));
        update.bind(int(values.size()) + 1, qlonglong(key));
        update.step();
        if (update.changes() == 0)
            throw EDatabaseError(QStringLiteral("Row cannot be located for updating. Some values may have been changed since it was last read"));
    }
    refreshRow(m_current);
}

void TADODataSet::refreshRow(int row)
{
    QStringList names;
    for (const QString &column : std::as_const(m_columns))
        names.append(quoted(column));
    Statement select(m_connection->handle(), QStringLiteral("select rowid, %1 from %2 where rowid = ?").arg(names.join(u','), quoted(m_table)));
    select.bind(1, m_rows.value(row, 0));
    if (!select.step())
        return;
    for (int c = 0; c < select.columnCount(); ++c)
        m_rows.setValue(row, c, select.column(c));
}

void TADODataSet::endEdit()
{
    m_buffer.clear();
    m_changed.clear();
    m_modified = false;
    setState(TDataSetState::dsBrowse);
}

// The row below takes the current row's place; the last row when there is none below.
void TADODataSet::dropCurrentRow()
{
    const int row = m_current;
    m_rows.removeRow(row);
    emit rowRemoved(row);
    m_current = -1;
    moveTo(std::min(row, m_rows.rowCount() - 1));
    m_bof = m_eof = m_rows.rowCount() == 0;
}

void TADODataSet::Cancel()
{
    checkActive();
    const TDataSetState state = m_state;
    if (state != TDataSetState::dsEdit && state != TDataSetState::dsInsert)
        return;
    endEdit();
    if (state == TDataSetState::dsInsert)
        dropCurrentRow();
    else
        emit rowChanged(m_current);
}

void TADODataSet::Delete()
{
    checkActive();
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (!CanModify())
        throw EDatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (m_rows.rowCount() == 0)
        throw EDatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (m_rows.kind(m_current, 0) != RowStore::Integer)
        throw EDatabaseError(QStringLiteral("Row cannot be located for updating"));

    Statement remove(m_connection->handle(), QStringLiteral("delete from %1 where rowid = ?").arg(quoted(m_table)));
    remove.bind(1, qlonglong(m_rows.integer(m_current, 0)));
    remove.step();
    endEdit();
    dropCurrentRow();
}

void TADODataSet::Refresh()
{
    checkActive();
    checkBrowseMode();
    const int row = m_current;
    const bool keyed = row >= 0 && m_rows.kind(row, 0) == RowStore::Integer;
    const qint64 key = keyed ? m_rows.integer(row, 0) : 0;

    readRows();

    int current = std::min(row, m_rows.rowCount() - 1);
    if (keyed) {
        for (int r = 0; r < m_rows.rowCount(); ++r) {
            if (m_rows.kind(r, 0) == RowStore::Integer && m_rows.integer(r, 0) == key) {
                current = r;
                break;
            }
        }
    }
    if (current < 0 && m_rows.rowCount() > 0)
        current = 0;
    m_current = current;
    m_bof = false;
    m_eof = m_rows.rowCount() == 0;
    emit rowsReset();
    emit currentRowChanged(m_current);
    runHook(*this, AfterRefresh);
}

static bool sameValue(const RowStore &rows, int row, int column, const QVariant &wanted)
{
    if (wanted.isNull())
        return rows.kind(row, column) == RowStore::Null;
    bool ok = false;
    switch (rows.kind(row, column)) {
    case RowStore::Null:
        return false;
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
    case RowStore::Blob:
        return rows.value(row, column).toByteArray() == wanted.toByteArray();
    }
    return false;
}

bool TADODataSet::Locate(const QString &field, const QVariant &value)
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

void TADODataSet::AppendRow(const QVariantList &values, qint64 key)
{
    checkActive();
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
