#pragma once

#include <QString>

class QComboBox;
class ViewSource;

// Refills a pick-only list with one column of every row of a view, as decimal or plain text, in
// the view's order, and leaves it showing nothing until the user picks. With a label column an
// entry reads the key, a blank and the label ("3 春季促销") so that the user sees what the number
// means; the entry's data is the key's text either way (chosenKey). What bound controls hold is
// handed to the record first, and the walk's First settles a pending edit of the view; the walk
// leaves the view on its last row. A closed view throws the closed-view error and leaves the
// list empty.
void fillFromColumn(QComboBox &list, ViewSource &source, const QString &column, const QString &labelColumn = {});

// An entry's text: the key, a blank and the label's text on one line ("3 春季促销"); the key alone
// without a label.
QString entryText(const QString &key, const QString &label);

// The key of the entry a list filled by fillFromColumn shows; empty when it shows none.
QString chosenKey(const QComboBox &list);

// Shows the entry of this key, where the list offers one; otherwise the list stays as it is.
void chooseKey(QComboBox &list, const QString &key);
