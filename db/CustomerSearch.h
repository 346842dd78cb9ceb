#pragma once

#include <QList>
#include <QSet>
#include <QString>

#include <memory>

class Database;
class Statement;

// A customer as the picker lists one.
struct CustomerMatch
{
    qint64 id = 0;
    QString name;
    QString address;

    friend bool operator==(const CustomerMatch &, const CustomerMatch &) = default;
};

// The customers a typed text names, never more than `limit` of them, read straight from 客户表 so
// that no list of every customer is ever made.
//
// Digits name an ID: the customer of that number, then those whose number starts with them, by ID,
// each range read from the key. Empty text gives the first customers by ID. Other text is first
// looked up where the indexes find it at once: names and addresses that begin with it (of many,
// those first in name or address order), shown by ID. Then, while fewer than `limit` were found,
// the text is looked for anywhere in a name or an address, ASCII letters in either case, by a scan
// over the customers in ID order; the scan goes a slice at a time (`scanMore`), so that a caller
// on the window's thread can serve events between slices: a text found in no name reads every
// customer, which at a million takes far longer than a keystroke may. Every typed character is
// taken literally ("%", "_", quotes, backslashes).
class CustomerSearch
{
public:
    static constexpr int Limit = 50;
    // Customers a slice of the scan reads: a few milliseconds' work.
    static constexpr int ScanSlice = 20000;

    CustomerSearch(Database &database, const QString &typed, int limit = Limit);
    ~CustomerSearch();
    CustomerSearch(const CustomerSearch &) = delete;
    CustomerSearch &operator=(const CustomerSearch &) = delete;

    // The matches the key and the indexes give, by ID. Called once, first.
    QList<CustomerMatch> quickMatches();
    // Whether the scan has customers left to read and room for more matches.
    bool scanning() const { return m_scanning; }
    // Reads the next slice of the scan; the matches it found that were not found before, by ID.
    QList<CustomerMatch> scanMore(int rows = ScanSlice);

private:
    QList<CustomerMatch> idMatches();
    QList<CustomerMatch> prefixMatches();
    void keep(QList<CustomerMatch> &into, Statement &query);

    Database &m_database;
    QString m_typed;
    int m_limit;
    QSet<qint64> m_found;
    bool m_scanning = false;
    qint64 m_scannedTo = 0; // the greatest ID the scan has read
    QString m_pattern; // for LIKE, its own wildcards escaped
};

// The whole search at once: the quick matches, then the scan's, at most `limit` in all.
QList<CustomerMatch> findCustomers(Database &database, const QString &typed, int limit = CustomerSearch::Limit);
