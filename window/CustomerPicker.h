#pragma once

#include "CustomerSearch.h"

#include <QComboBox>
#include <QTimer>

#include <functional>
#include <memory>

class Database;
class QCompleter;
class QStandardItemModel;
class QTreeView;

// The customer filter of the send-record page: the user types digits, a name or part of an
// address, and the first matches (ID, name, address) come from the database as they type; the
// arrow opens the first customers, or the matches of what the box holds. It never holds every
// customer: its own entries are only the one chosen, which it shows as the full list once did
// ("3 张三", the key as the entry's data: chosenKey), so that what reads the box reads it as before.
//
// Matches the indexes find come at once; a scan for the text inside names and addresses follows a
// slice at a time between events, so that a text found in no name keeps the window responsive.
// Errors (a closed database) show in the error box over the window.
class CustomerPicker : public QComboBox
{
    Q_OBJECT
public:
    explicit CustomerPicker(QWidget *parent = nullptr);
    ~CustomerPicker() override;

    // The connection searches run on; `beforeSearch` runs first each time and may throw (the
    // customer view closed, its pending edit refused).
    void setSearch(Database &database, std::function<void()> beforeSearch);

    // Opens the matches of what the box holds (all customers' first for an empty box).
    void showPopup() override;
    void hidePopup() override;

    // Makes the customer of this number the chosen entry, when the picker has offered customers
    // before and the number is one's; otherwise it stays as it is. Emits nothing.
    void chooseId(const QString &id);

    // The matches offered now, one row each: ID, name, address; the key as the first column's data.
    QAbstractItemModel *matches() const;
    QAbstractItemView *matchList() const;
    bool isMatchListVisible() const;
    // Whether the scan inside names and addresses is still going for the text typed.
    bool isSearching() const { return m_scanTimer.isActive(); }

signals:
    // The user chose a customer from the matches; the box shows it and chosenKey gives its number.
    void customerChosen();

protected:
    void focusOutEvent(QFocusEvent *event) override;

private:
    void search(const QString &text);
    void scanNext();
    void offer(const QList<CustomerMatch> &matches, bool append);
    void choose(const QModelIndex &index);
    void stopSearch();
    void showMatches();

    Database *m_database = nullptr;
    std::function<void()> m_beforeSearch;
    std::unique_ptr<CustomerSearch> m_search;
    QStandardItemModel *m_matches;
    QCompleter *m_completer;
    QTreeView *m_list;
    QTimer m_scanTimer;
    bool m_listShown = false; // the matches of the text typed were shown
    bool m_offered = false; // customers were offered once: chooseId may choose
};
