#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Where an import puts what it reads: customers (name from column 1, address from column 2) or
// addresses on the do-not-mail list (column 1, or one a line of a text file).
enum class ImportTarget { Customers, RefusalList };

// Why a row of the sheet did not go in.
enum class SkipKind {
    NoAddress, // the address cell is empty (or blanks)
    NotAnAddress, // no "@" in it
    Heading, // the first row names the columns
    Duplicate, // the address is stored already, or came earlier in the sheet, and was left out
    Refused, // the database would not take the row (a text over its limit, ...)
};

struct SheetRow
{
    int row = 0; // as the user sees it in the sheet, from 1
    QString name;
    QString address;
};

// The rows of a sheet as a plan holds them until they are written: their texts in large blocks,
// so a sheet of many rows costs its characters and a few numbers a row rather than two strings of
// their own, and a full block is never copied into a larger one. Rows come out as SheetRow values.
class SheetRows
{
public:
    void reserve(qsizetype rows) { m_entries.reserve(rows); }
    void append(const SheetRow &row);
    qsizetype size() const { return m_entries.size(); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    SheetRow at(qsizetype i) const;
    SheetRow operator[](qsizetype i) const { return at(i); }
    SheetRow first() const { return at(0); }
    // The sheet row number of the i-th row, without its texts.
    int rowNumber(qsizetype i) const { return m_entries.at(i).row; }
    // The i-th row's address where it is kept: it stays there, unmoved, while rows are appended.
    QStringView address(qsizetype i) const
    {
        const Entry &entry = m_entries.at(i);
        return QStringView(m_blocks.at(entry.block)).mid(entry.start + entry.nameLength, entry.addressLength);
    }

private:
    static constexpr qsizetype blockSize = 64 * 1024; // characters

    struct Entry
    {
        int row;
        int block;
        qsizetype start; // of the name in its block; the address follows it
        int nameLength;
        int addressLength;
    };

    QList<Entry> m_entries;
    QList<QString> m_blocks;
};

struct SkippedRow
{
    SheetRow row;
    SkipKind kind;
    QString reason; // for the user, in Chinese
};

// The rows of one sheet, sorted before anything is written: those that may go in and those the
// rules leave out.
struct ImportPlan
{
    ImportTarget target = ImportTarget::Customers;
    // The rows to write, in the sheet's order; `duplicates` holds the indexes of those whose address
    // is stored already or came earlier in the sheet.
    SheetRows rows;
    QSet<qsizetype> duplicates;
    QList<SkippedRow> skipped;
    // The reading ended early on this failure (a damaged sheet); the rows read before it are here.
    QString readFailure;

    // Rows the import will try to write.
    qsizetype toWrite(bool withDuplicates) const
    {
        return withDuplicates ? rows.size() : rows.size() - duplicates.size();
    }
    // Whether the user may choose to write the duplicates too: the list holds each address once.
    bool offersDuplicates() const { return target == ImportTarget::Customers && !duplicates.isEmpty(); }
};

// Whether an address cell reads like a column's title ("电子邮件地址", "邮箱", "E-mail", ...) rather
// than an address: it holds no "@" and names an address or a mail box.
bool looksLikeHeading(const QString &address);

// Sorts rows into a plan, one at a time in the sheet's order. `stored` are the addresses the target
// holds already; two addresses are the same as a send run compares them (addressKey).
class ImportPlanner
{
public:
    ImportPlanner(ImportTarget target, const QStringList &stored);

    // Room for the rows a sheet has, taken once rather than grown row by row.
    void reserve(qsizetype rows);
    // A row with both cells empty is passed over: it is no customer and no mistake.
    void add(const SheetRow &row);
    void setReadFailure(const QString &message) { m_plan.readFailure = message; }
    ImportPlan take() { return std::move(m_plan); }

private:
    // A key that is not the address as written, kept where it does not move.
    QStringView keep(const QString &key);

    ImportPlan m_plan;
    // The keys seen: the addresses in the plan's rows where the key is the address as written, the
    // others in m_keyBlocks, so a sheet's addresses are not held twice.
    QSet<QStringView> m_known;
    QList<QString> m_keyBlocks;
    bool m_first = true;
};

// The reasons a row is skipped, as the report and the saved list give them.
QString skipReason(SkipKind kind, ImportTarget target);

// What the user reads before the import writes anything.
QString previewText(const ImportPlan &plan);

// What an import did, for its report.
struct ImportOutcome
{
    ImportTarget target = ImportTarget::Customers;
    int imported = 0; // committed
    QList<SkippedRow> skipped; // in the sheet's order
    bool duplicatesWritten = true;
    int duplicates = 0; // rows whose address was stored already or repeated, written or not
    QString readFailure;
    QString failure; // what ended the writing early, empty when nothing did
};

// How many skipped rows the report names one by one; the saved list holds them all.
constexpr qsizetype ReportedRows = 10;

// The report's first line: "导入 n 位客户；跳过 m 行" (for the list: "导入 n 个地址；跳过 m 行").
QString reportHeadline(const ImportOutcome &outcome);
// The whole report: the headline, the counts by reason, the first rows skipped with their reasons,
// and a failure that ended the import.
QString reportText(const ImportOutcome &outcome);
