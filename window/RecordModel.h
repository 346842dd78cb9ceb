#pragma once

#include "ViewSource.h"

#include <QAbstractTableModel>
#include <QPointer>

// A record view as a table: one column per field titled with the field's name, one row per
// record (the record being inserted included), cells as a grid shows them. The vertical header
// carries the indicator of the current record and whether it is being edited or inserted.
class RecordModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit RecordModel(ViewSource *source, QObject *parent = nullptr);

    ViewSource *source() const { return m_source; }
    RecordView *view() const;
    const Field *field(int column) const;

    // Whether cells may be edited (read-only fields never are).
    void setEditable(bool editable) { m_editable = editable; }
    // Cells of the field (Latin case ignored) holding exactly `stored` show `shown` instead; what
    // the file holds, edits and exports are left as they are.
    void showValueAs(const QString &fieldName, const QString &stored, const QString &shown);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Stores an edited value into the current record (the view is editing it by then).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // True while rows are being inserted or removed: the view has already placed its current
    // record, and what the grid's selection does meanwhile is not the user's choice.
    bool changingRows() const { return m_changingRows; }

    // The text a cell shows for a value of a field.
    static QString cellText(const Field &field, const QVariant &value);
    // The start of a long text, as a grid cell shows it: empty for none.
    static QString memoStart(const QString &text);

private:
    void reset();
    QVariant cellValue(const QModelIndex &index) const;
    void currentRowChanged(int row);
    void stateChanged();

    QPointer<ViewSource> m_source;
    bool m_editable = false;
    struct ShownValue
    {
        QString fieldName;
        QString stored;
        QString shown;
    };
    QList<ShownValue> m_shownValues;
    int m_rows = 0;
    int m_columns = 0;
    int m_current = -1;
    bool m_changingRows = false;
};
