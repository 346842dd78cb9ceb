#pragma once

#include "db/ADODataSet.h"

#include <QObject>
#include <QPointer>

// The link between one record view and the controls that show it. Controls bind to a source,
// not to the view, so the view can be switched or dropped (at shutdown) in one place; the source
// passes the view's signals on and gathers what the controls hold before the view saves.
class TDataSource : public QObject
{
    Q_OBJECT
public:
    explicit TDataSource(QObject *parent = nullptr);

    TADODataSet *DataSet() const { return m_dataSet; }
    void setDataSet(TADODataSet *dataSet);

    // Whether typing into a bound control may put the view into editing.
    bool AutoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool autoEdit) { m_autoEdit = autoEdit; }

    // True when the view is open and can be changed.
    bool CanModify() const;
    bool Editing() const;
    // Makes sure the view is editing a record because the user typed into a bound control: a
    // browsing view starts editing its current record, or a new one when it has none. False
    // when the view cannot be put into editing (closed, read-only, or AutoEdit off).
    bool Edit();
    // Asks every bound control to hand over what was typed into it and not yet handed over.
    void UpdateRecord();

signals:
    void dataSetChanged();
    void updateData();

    // The view's own signals, passed on.
    void activeChanged(bool active);
    void currentRowChanged(int row);
    void stateChanged(TDataSetState state);
    void rowsReset();
    void rowChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);

private:
    QPointer<TADODataSet> m_dataSet;
    bool m_autoEdit = true;
};
