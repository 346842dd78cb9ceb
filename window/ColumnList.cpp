#include "ColumnList.h"

#include "DatabaseError.h"
#include "ViewSource.h"

#include <QComboBox>
#include <QStringList>

void fillFromColumn(QComboBox &list, ViewSource &source, const QString &column)
{
    list.clear();
    RecordView *view = source.view();
    if (!view)
        throw DatabaseError::closedDataset();
    source.updateRecord();
    QStringList entries;
    {
        FrozenControls still(*view);
        view->first();
        while (!view->eof()) {
            entries << view->fieldByName(column).toString();
            view->next();
        }
    }
    list.addItems(entries);
    list.setCurrentIndex(-1);
}
