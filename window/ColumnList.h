#pragma once

#include <QString>

class QComboBox;
class ViewSource;

// Refills a pick-only list with one column of every row of a view, as decimal or plain text, in
// the view's order, and leaves it showing nothing until the user picks. What bound controls hold
// is handed to the record first, and the walk's First settles a pending edit of the view; the
// walk leaves the view on its last row. A closed view throws the closed-view error and leaves
// the list empty.
void fillFromColumn(QComboBox &list, ViewSource &source, const QString &column);
