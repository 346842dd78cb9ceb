#include "ColumnList.h"

#include "db/DatabaseError.h"
#include "window/DataSource.h"

#include <QComboBox>
#include <QStringList>

namespace {

// Keeps a view's bound controls still while it is walked; they follow once at the end.
class ControlsDisabled
{
public:
    explicit ControlsDisabled(TADODataSet &dataSet)
        : m_dataSet(dataSet)
    {
        m_dataSet.DisableControls();
    }
    ~ControlsDisabled() { m_dataSet.EnableControls(); }
    ControlsDisabled(const ControlsDisabled &) = delete;
    ControlsDisabled &operator=(const ControlsDisabled &) = delete;

private:
    TADODataSet &m_dataSet;
};

} // namespace

void fillFromColumn(QComboBox &list, TDataSource &source, const QString &column)
{
    list.clear();
    TADODataSet *view = source.DataSet();
    if (!view)
        throw EDatabaseError::closedDataset();
    source.UpdateRecord();
    QStringList entries;
    {
        ControlsDisabled still(*view);
        view->First();
        while (!view->Eof()) {
            entries << view->FieldByName(column).toString();
            view->Next();
        }
    }
    list.addItems(entries);
    list.setCurrentIndex(-1);
}
