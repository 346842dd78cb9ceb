#include "ColumnList.h"

#include "db/DatabaseError.h"
#include "window/DataSource.h"

#include <QComboBox>
#include <QStringList>

void fillFromColumn(QComboBox &list, TDataSource &source, const QString &column)
{
    list.clear();
    TADODataSet *view = source.DataSet();
    if (!view)
        throw EDatabaseError::closedDataset();
    source.UpdateRecord();
    QStringList entries;
    {
        TControlsDisabled still(*view);
        view->First();
        while (!view->Eof()) {
            entries << view->FieldByName(column).toString();
            view->Next();
        }
    }
    list.addItems(entries);
    list.setCurrentIndex(-1);
}
