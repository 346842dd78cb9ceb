#pragma once

#include "Database.h"
#include "Field.h"
#include "ViewRows.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

// A record view: a cursor over a static copy of the rows of one source (a table or a statement)
// on one connection. A whole table (its name, or "select * from" it) is counted at open (and at
// Refresh) and its rows are read as they are first looked at, a page at a time by key; any other
// statement's rows are read at open. Every save writes its row to the database at once, by the
// row's key (dialect::rowKey: SQLite's rowid in a file, which is the automatic number where there
// is one; the table's key column on a server, whose own key columns the view does not show). A
// view over anything but plain columns of one table cannot be changed.
//
// Moving (first, next, prior, last, setCurrentRow, locate) and refresh first settle a pending edit:
// saved (through beforePost) when something was changed, dropped when not.
// Every row operation on a view that is not open throws DatabaseError::closedDataset().
class RecordView : public QObject
{
    Q_OBJECT

public:
    enum class State { Inactive, Browsing, Editing, Inserting };
    // A statement's text, or the name of a table whose rows are all read.
    enum class CommandType { Text, Table };

    explicit RecordView(QObject *parent = nullptr);
    ~RecordView() override;

    // Source; may be changed only while the view is closed. The view closes with its connection.
    void setDatabase(Database *connection);
    Database *database() const { return m_connection; }
    void setCommandText(const QString &text);
    const QString &commandText() const { return m_commandText; }
    void setCommandType(RecordView::CommandType type);
    RecordView::CommandType commandType() const { return m_commandType; }

    // Opening runs the source (connecting the connection if needed), makes the first row current
    // and runs afterOpen. A failed open throws the engine's text and leaves the view closed.
    void setActive(bool active);
    bool isActive() const { return m_state != RecordView::State::Inactive; }
    void open() { setActive(true); }
    void close() { setActive(false); }

    // Cursor.
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return m_eof || !isActive(); }
    bool bof() const { return m_bof || !isActive(); }
    int recordCount() const;
    int currentRow() const { return isActive() ? m_current : -1; } // 0-based; -1: no row
    void setCurrentRow(int row);
    // Makes the first row whose field equals `value` (letter case ignored) current; on a miss the
    // current row stays. Either way a pending edit is settled first.
    bool locate(const QString &field, const QVariant &value);

    // Fields of the open view, in the source's order.
    const QList<Field> &fields() const { return m_fields; }
    int fieldIndex(const QString &name) const; // Latin case ignored; -1 when there is none
    // The field of the current row (the edit buffer while editing); null when there is no row.
    QVariant fieldByName(const QString &name) const;
    // Stores the value, converted to the field's kind, into the row being edited; a browsing view
    // starts editing its current row first (inserting when it is empty).
    void setFieldValue(const QString &name, const QVariant &value);
    // A column of the view's table that the view does not read (a file's bytes, which no row
    // should hold): the value goes with the row being edited, written with its fields in the same
    // statement on post and dropped on cancel. A browsing view starts editing its current row first
    // (inserting when it is empty).
    void setUnreadColumn(const QString &column, const QVariant &value);
    // The value set for that column in the edit under way; nothing when none was set.
    std::optional<QVariant> unreadColumn(const QString &column) const;
    // What a cell shows: the edit buffer for the row being edited or inserted.
    QVariant value(int row, int column) const;

    // Editing.
    RecordView::State state() const { return m_state; }
    // A new, empty row after the last one, made current. New rows always go at the end, so the
    // rows already shown keep their places under the user's eyes.
    void insert();
    void append(); // the same as insert
    void edit();
    void post();
    void cancel();
    void remove();
    // The row's key (its rowid in a file); nothing for a row not yet saved or a view that cannot be changed.
    std::optional<qint64> key(int row) const;
    // Deletes the record with this key, wherever the cursor has gone since it was chosen: the one a
    // confirmation asked about, never the row that happens to be current by the time it is answered.
    // A record the view no longer holds is left alone: false. One gone from the file already is
    // dropped from the view, and false too. An edit of that record is dropped with it; an edit or
    // a new record elsewhere stays as it is.
    bool removeKey(qint64 key);
    void refresh(); // re-reads the rows, keeps the current row where it can, runs afterRefresh
    bool canModify() const { return isActive() && !m_table.isEmpty(); }
    bool modified() const { return m_modified; }

    // Adds a row that was written to the database by someone else (the send run's own connection)
    // after the last one, without re-reading and without moving the current row. `values` follow
    // Fields(); `key` is the row's key (SendRecords' record key), without which the row cannot be changed or deleted. A row
    // the view read already (it was written first, then changed: the view was opened in between)
    // takes the values in its place instead, so the view holds it once and as it is now.
    void appendRow(const QVariantList &values, qint64 key = -1);

    // While controls are disabled (counted), moves do not emit currentRowChanged; the last
    // position is announced once when they are enabled again. Opening and refreshing keep them
    // disabled while their hooks run, so a counting walk there costs no repaint per row.
    void disableControls();
    void enableControls();

    // Hooks, run on the thread of the call that triggers them; their errors propagate unchanged.
    std::function<void()> afterOpen;
    std::function<void()> afterRefresh;
    std::function<void()> beforePost;

signals:
    void activeChanged(bool active);
    void currentRowChanged(int row);
    void stateChanged(RecordView::State state);
    void rowsReset(); // open, close, refresh: everything may have changed
    void rowChanged(int row); // values of one row changed (edit buffer or saved)
    void rowInserted(int row);
    void rowRemoved(int row);

private:
    void checkActive() const;
    void checkBrowseMode();
    void readRows();
    void clearRows();
    void moveTo(int row);
    void setState(RecordView::State state);
    void startEdit(RecordView::State state, int row);
    void startInsert();
    void endEdit();
    void dropCurrentRow();
    void writeRow();
    void refreshRow(int row);
    int fieldIndexOrThrow(const QString &name) const;
    QVariant cell(int row, int column) const;
    QVariant converted(int column, const QVariant &value) const;

    QPointer<Database> m_connection;
    QString m_commandText;
    RecordView::CommandType m_commandType = RecordView::CommandType::Text;

    RecordView::State m_state = RecordView::State::Inactive;
    QList<Field> m_fields;
    QString m_table; // the one table rows are written to; empty: read-only view
    QString m_key; // its rows' key as statements name it (dialect::rowKey)
    QStringList m_columns; // the table's column behind each field
    ViewRows m_rows; // column 0 is the key, fields follow
    int m_current = -1;
    int m_insertedFrom = -1; // the current row when the row being inserted was started
    bool m_eof = true;
    bool m_bof = true;

    QVariantList m_buffer; // the row being edited or inserted
    std::vector<bool> m_changed; // which fields of the buffer were set
    QList<std::pair<QString, QVariant>> m_unread; // columns outside the fields, set in this edit
    bool m_modified = false;

    int m_controlsDisabled = 0;
    bool m_currentMoved = false;
};

// Keeps a view's bound controls from following every move while a walk goes over it; they follow
// once, to where the walk ended, when this goes.
class FrozenControls
{
public:
    explicit FrozenControls(RecordView &view)
        : m_view(view)
    {
        m_view.disableControls();
    }
    ~FrozenControls() { m_view.enableControls(); }
    FrozenControls(const FrozenControls &) = delete;
    FrozenControls &operator=(const FrozenControls &) = delete;

private:
    RecordView &m_view;
};
