#pragma once

#include "db/ADOConnection.h"
#include "db/Field.h"
#include "db/RowStore.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <vector>

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum class TCommandType { cmdText, cmdTable };

// A record view: a cursor over a static copy of the rows of one source (a table or a statement)
// on one connection. Rows are read once at open (and at Refresh); every save writes its row to the
// database at once, by the row's key (SQLite's rowid, which is the automatic number where there is
// one). A view over anything but plain columns of one table cannot be changed.
//
// Moving (First, Next, Prior, Last, setRecNo, Locate) and Refresh first settle a pending edit:
// saved (through BeforePost) when something was changed, dropped when not.
// Every row operation on a view that is not open throws EDatabaseError::closedDataset().
class TADODataSet : public QObject
{
    Q_OBJECT

public:
    explicit TADODataSet(QObject *parent = nullptr);
    ~TADODataSet() override;

    // Source; may be changed only while the view is closed. The view closes with its connection.
    void setConnection(TADOConnection *connection);
    TADOConnection *Connection() const { return m_connection; }
    void setCommandText(const QString &text);
    const QString &CommandText() const { return m_commandText; }
    void setCommandType(TCommandType type);
    TCommandType CommandType() const { return m_commandType; }

    // Opening runs the source (connecting the connection if needed), makes the first row current
    // and runs AfterOpen. A failed open throws the engine's text and leaves the view closed.
    void setActive(bool active);
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    void Open() { setActive(true); }
    void Close() { setActive(false); }

    // Cursor.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_eof || !Active(); }
    bool Bof() const { return m_bof || !Active(); }
    int RecordCount() const;
    int RecNo() const { return Active() ? m_current : -1; } // 0-based; -1: no row
    void setRecNo(int row);
    // Makes the first row whose field equals `value` (letter case ignored) current; on a miss the
    // current row stays. Either way a pending edit is settled first.
    bool Locate(const QString &field, const QVariant &value);

    // Fields of the open view, in the source's order.
    const QList<TField> &Fields() const { return m_fields; }
    int FieldIndex(const QString &name) const; // Latin case ignored; -1 when there is none
    // The field of the current row (the edit buffer while editing); null when there is no row.
    QVariant FieldByName(const QString &name) const;
    // Stores the value, converted to the field's kind, into the row being edited; a browsing view
    // starts editing its current row first (inserting when it is empty).
    void setFieldValue(const QString &name, const QVariant &value);
    // What a cell shows: the edit buffer for the row being edited or inserted.
    QVariant value(int row, int column) const;

    // Editing.
    TDataSetState State() const { return m_state; }
    void Insert(); // a new, empty row before the current one
    void Append(); // a new, empty row after the last one
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    void Refresh(); // re-reads the rows, keeps the current row where it can, runs AfterRefresh
    bool CanModify() const { return Active() && !m_table.isEmpty(); }
    bool Modified() const { return m_modified; }

    // Adds a row that was written to the database by someone else (the send run's own connection)
    // after the last one, without re-reading and without moving the current row. `values` follow
    // Fields(); `key` is the row's rowid, without which the row cannot be changed or deleted.
    void AppendRow(const QVariantList &values, qint64 key = -1);

    // While controls are disabled (counted), moves do not emit currentRowChanged; the last
    // position is announced once when they are enabled again. Opening and refreshing keep them
    // disabled while their hooks run, so a counting walk there costs no repaint per row.
    void DisableControls();
    void EnableControls();

    // Hooks, run on the thread of the call that triggers them; their errors propagate unchanged.
    std::function<void()> AfterOpen;
    std::function<void()> AfterRefresh;
    std::function<void()> BeforePost;

signals:
    void activeChanged(bool active);
    void currentRowChanged(int row);
    void stateChanged(TDataSetState state);
    void rowsReset();             // open, close, refresh: everything may have changed
    void rowChanged(int row);     // values of one row changed (edit buffer or saved)
    void rowInserted(int row);
    void rowRemoved(int row);

private:
    void checkActive() const;
    void checkBrowseMode();
    void readRows();
    void clearRows();
    void moveTo(int row);
    void setState(TDataSetState state);
    void startEdit(TDataSetState state, int row);
    void startInsert(bool atEnd);
    void endEdit();
    void dropCurrentRow();
    void writeRow();
    void refreshRow(int row);
    int fieldIndexOrThrow(const QString &name) const;
    QVariant cell(int row, int column) const;
    QVariant converted(int column, const QVariant &value) const;

    QPointer<TADOConnection> m_connection;
    QString m_commandText;
    TCommandType m_commandType = TCommandType::cmdText;

    TDataSetState m_state = TDataSetState::dsInactive;
    QList<TField> m_fields;
    QString m_table;                 // the one table rows are written to; empty: read-only view
    QStringList m_columns;           // the table's column behind each field
    RowStore m_rows;                 // column 0 is the key, fields follow
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;

    QVariantList m_buffer;           // the row being edited or inserted
    std::vector<bool> m_changed;     // which fields of the buffer were set
    bool m_modified = false;

    int m_controlsDisabled = 0;
    bool m_currentMoved = false;
};

// Keeps a view's bound controls from following every move while a walk goes over it; they follow
// once, to where the walk ended, when this goes.
class TControlsDisabled
{
public:
    explicit TControlsDisabled(TADODataSet &view)
        : m_view(view)
    {
        m_view.DisableControls();
    }
    ~TControlsDisabled() { m_view.EnableControls(); }
    TControlsDisabled(const TControlsDisabled &) = delete;
    TControlsDisabled &operator=(const TControlsDisabled &) = delete;

private:
    TADODataSet &m_view;
};

