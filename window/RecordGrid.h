#pragma once

#include "RecordModel.h"

#include <QPointer>
#include <QTableView>

class CellDelegate;

// A grid on a record view. Every grid has a title row, an indicator column, columns that can be
// resized and moved, cell lines, Tab between cells, Ctrl+Delete with confirmation, and drops an
// untouched new record when it loses focus. An editable grid edits cells (typing or F2), starts a
// record with Insert or with Down on the last record, and keeps its selection shown without focus;
// a row-select grid highlights whole rows and never edits.
class RecordGrid : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(bool rowSelect READ rowSelect WRITE setRowSelect)
public:
    explicit RecordGrid(QWidget *parent = nullptr);

    ViewSource *source() const { return m_model ? m_model->source() : nullptr; }
    void setSource(ViewSource *source);

    bool rowSelect() const { return m_rowSelect; }
    void setRowSelect(bool rowSelect);

    // Ctrl+Delete: deletes the current record after the confirmation.
    void deleteRecord();
    // Takes the keyboard to the current record's first cell that can be typed into (a new record's:
    // its number is the database's to give).
    void focusFirstEditableCell();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    bool viewportEvent(QEvent *event) override;

private:
    void handleKey(QKeyEvent *event);
    void alignTopRow();
    // Hands the text typed into an open cell to the record.
    void handOverOpenCell();
    bool fillsSameView(const QWidget *widget) const;
    RecordView *openView() const;
    void followCurrentRow(int row);
    void sizeColumns();
    void focusChanged(QWidget *old, QWidget *now);
    bool contains(const QWidget *widget) const;

    RecordModel *m_model = nullptr;
    QPointer<CellDelegate> m_delegate;
    bool m_rowSelect = false;
    bool m_following = false;
};
