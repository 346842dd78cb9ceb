#include "CustomerPicker.h"

#include "ColumnList.h"
#include "CustomerSearch.h"
#include "Database.h"
#include "DatabaseError.h"
#include "Handlers.h"

#include <QCompleter>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTreeView>

#include <algorithm>

namespace {

// Wide enough for an ID, a name and an address side by side; the box itself is narrow.
constexpr int MatchListWidth = 480;
constexpr int MatchListRows = 12;

} // namespace

CustomerPicker::CustomerPicker(QWidget *parent)
    : QComboBox(parent)
    , m_matches(new QStandardItemModel(0, 3, this))
    , m_completer(new QCompleter(this))
    , m_list(new QTreeView)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The box's own completion would look among its entries, which are only the one chosen.
    lineEdit()->setCompleter(nullptr);

    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderHidden(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_completer->setModel(m_matches);
    m_completer->setPopup(m_list); // the completer owns it from here
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setMaxVisibleItems(MatchListRows);
    m_completer->setWidget(lineEdit());
    m_list->header()->setStretchLastSection(true);

    m_scanTimer.setInterval(0);
    connect(&m_scanTimer, &QTimer::timeout, this, [this] { boxes::runHandler(window(), [this] { scanNext(); }); });
    connect(lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString &text) { boxes::runHandler(window(), [this, text] { search(text); }); });
    connect(m_completer, qOverload<const QModelIndex &>(&QCompleter::activated), this,
            [this](const QModelIndex &index) { boxes::runHandler(window(), [this, index] { choose(index); }); });
}

CustomerPicker::~CustomerPicker() = default;

void CustomerPicker::setSearch(Database &database, std::function<void()> beforeSearch)
{
    m_database = &database;
    m_beforeSearch = std::move(beforeSearch);
}

void CustomerPicker::showPopup()
{
    boxes::runHandler(window(), [this] {
        // The box shows the chosen entry until the user types: its text is no search then.
        const bool typed = currentIndex() < 0 || lineEdit()->text() != itemText(currentIndex());
        search(typed ? lineEdit()->text() : QString());
    });
}

void CustomerPicker::hidePopup()
{
    m_list->hide();
    stopSearch();
}

void CustomerPicker::chooseId(const QString &id)
{
    if (!m_offered || !m_database)
        return;
    const QList<CustomerMatch> found = findCustomers(*m_database, id, 1);
    if (found.isEmpty() || QString::number(found.first().id) != id)
        return;
    clear();
    addItem(entryText(id, found.first().name), id);
    setCurrentIndex(0);
}

QAbstractItemModel *CustomerPicker::matches() const
{
    return m_matches;
}

QAbstractItemView *CustomerPicker::matchList() const
{
    return m_list;
}

bool CustomerPicker::isMatchListVisible() const
{
    return m_list->isVisible();
}

void CustomerPicker::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    // A text typed and left without a choice is not the filter: the box goes back to the chosen
    // entry. The match list taking the keyboard's events is no leaving.
    if (event->reason() != Qt::PopupFocusReason && !m_list->isVisible()) {
        stopSearch();
        lineEdit()->setText(currentIndex() >= 0 ? itemText(currentIndex()) : QString());
    }
}

void CustomerPicker::search(const QString &text)
{
    stopSearch();
    m_matches->removeRows(0, m_matches->rowCount());
    if (!m_database || !m_database->isConnected())
        throw DatabaseError::closedDataset();
    if (m_beforeSearch)
        m_beforeSearch();
    m_search = std::make_unique<CustomerSearch>(*m_database, text);
    offer(m_search->quickMatches(), false);
    m_offered = true;
    showMatches();
    if (m_search->scanning())
        m_scanTimer.start();
}

void CustomerPicker::scanNext()
{
    // A list the user closed (Escape, a click elsewhere) stays closed: the scan ends with it.
    if (!m_search || !m_search->scanning() || !m_database->isConnected() || (m_listShown && !m_list->isVisible())) {
        stopSearch();
        return;
    }
    const QList<CustomerMatch> found = m_search->scanMore();
    if (!m_search->scanning())
        m_scanTimer.stop();
    if (!found.isEmpty()) {
        offer(found, true);
        showMatches();
    }
}

void CustomerPicker::offer(const QList<CustomerMatch> &matches, bool append)
{
    if (!append)
        m_matches->removeRows(0, m_matches->rowCount());
    for (const CustomerMatch &match : matches) {
        const QString id = QString::number(match.id);
        auto *key = new QStandardItem(id);
        key->setData(id, Qt::UserRole);
        key->setData(entryText(id, match.name), Qt::UserRole + 1);
        // One line each, as the box shows the name.
        m_matches->appendRow({key, new QStandardItem(match.name.simplified()), new QStandardItem(match.address.simplified())});
    }
}

void CustomerPicker::showMatches()
{
    m_listShown = m_matches->rowCount() > 0;
    if (!m_listShown) {
        m_list->hide();
        return;
    }
    m_list->resizeColumnToContents(0);
    m_list->resizeColumnToContents(1);
    m_completer->complete(QRect(0, 0, std::max(width(), MatchListWidth), lineEdit()->height()));
}

void CustomerPicker::choose(const QModelIndex &index)
{
    stopSearch();
    const QModelIndex key = index.sibling(index.row(), 0);
    const QString id = key.data(Qt::UserRole).toString();
    if (id.isEmpty())
        return;
    const QString shown = key.data(Qt::UserRole + 1).toString();
    clear();
    addItem(shown, id);
    setCurrentIndex(0);
    lineEdit()->setText(shown);
    emit customerChosen();
}

void CustomerPicker::stopSearch()
{
    m_scanTimer.stop();
    m_search.reset();
}
