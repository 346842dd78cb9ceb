#include "ColumnList.h"

#include "DatabaseError.h"
#include "ViewSource.h"

#include <QComboBox>
#include <QStringList>

void fillFromColumn(QComboBox &list, ViewSource &source, const QString &column, const QString &labelColumn)
{
    list.clear();
    RecordView *view = source.view();
    if (!view)
        throw DatabaseError::closedDataset();
    source.updateRecord();
    QList<std::pair<QString, QString>> entries; // key, label
    {
        FrozenControls still(*view);
        view->first();
        while (!view->eof()) {
            entries.append({view->fieldByName(column).toString(),
                            labelColumn.isEmpty() ? QString() : view->fieldByName(labelColumn).toString()});
            view->next();
        }
    }
    for (const auto &[key, label] : entries)
        list.addItem(entryText(key, label), key);
    list.setCurrentIndex(-1);
}

QString entryText(const QString &key, const QString &label)
{
    // A label's line breaks would make the entry taller than the list; blanks read the same.
    return label.isEmpty() ? key : key + QLatin1Char(' ') + label.simplified();
}

QString chosenKey(const QComboBox &list)
{
    const int index = list.currentIndex();
    if (index < 0)
        return QString();
    const QVariant key = list.itemData(index);
    return key.isValid() ? key.toString() : list.itemText(index);
}

void chooseKey(QComboBox &list, const QString &key)
{
    const int index = list.findData(key);
    if (index >= 0)
        list.setCurrentIndex(index);
}
