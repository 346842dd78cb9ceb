#pragma once

#include "RecordView.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

// How a confirmation names a record of the view: the kind of record, and the fields holding its
// name and its number, each may be empty. No kind: records are not named.
struct RecordNaming
{
    QString kind;
    QString nameField;
    QString idField;
};

// The link between one record view and the controls that show it. Controls bind to a source,
// not to the view, so the view can be switched or dropped (at shutdown) in one place; the source
// passes the view's signals on and gathers what the controls hold before the view saves.
class ViewSource : public QObject
{
    Q_OBJECT
public:
    explicit ViewSource(QObject *parent = nullptr);

    RecordView *view() const { return m_view; }
    void setView(RecordView *view);

    const RecordNaming &naming() const { return m_naming; }
    void setNaming(RecordNaming naming) { m_naming = std::move(naming); }

    // Whether typing into a bound control may put the view into editing.
    bool autoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool autoEdit) { m_autoEdit = autoEdit; }

    // True when the view is open and can be changed.
    bool canModify() const;
    bool editing() const;
    // The records the view holds that are in the file: a new record counts once it is saved.
    int savedRecordCount() const;
    // Makes sure the view is editing a record because the user typed into a bound control: a
    // browsing view starts editing its current record, or a new one when it has none. False
    // when the view cannot be put into editing (closed, read-only, or AutoEdit off).
    bool edit();
    // Asks every bound control to hand over what was typed into it and not yet handed over. An
    // error a control raises (text the record refuses) goes to the caller: a save, the close.
    void updateRecord();

    // A bound control and its hand-over, called directly by updateRecord rather than through a
    // signal, so that its error reaches the caller and never unwinds through Qt. A control that
    // is destroyed is dropped.
    void addControl(QObject *control, std::function<void()> updateRecord);
    void removeControl(QObject *control);

signals:
    void viewChanged();

    // The view's own signals, passed on.
    void activeChanged(bool active);
    void currentRowChanged(int row);
    void stateChanged(RecordView::State state);
    void rowsReset();
    void rowChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);
    // A row was added or removed, or a new record saved or given up: savedRecordCount may differ.
    void recordCountChanged();

private:
    struct Control
    {
        QPointer<QObject> control;
        std::function<void()> updateRecord;
    };

    QPointer<RecordView> m_view;
    std::vector<Control> m_controls;
    bool m_autoEdit = true;
    RecordNaming m_naming;
};
