// Writes the .xlsx workbook described by JSON on standard input (the form make_xls.py reads, plus
// "inlineStrings") to the path given as argument, through libxlsxwriter.

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

#include <xlsxwriter.h>

#include <cstdio>

namespace {

lxw_datetime datetimeOf(const QString &iso)
{
    lxw_datetime value{};
    for (const QString &part : iso.split(u'T')) {
        if (part.contains(u':')) {
            const QTime time = QTime::fromString(part, u"HH:mm:ss");
            value.hour = time.hour();
            value.min = time.minute();
            value.sec = time.second();
        } else {
            const QDate date = QDate::fromString(part, u"yyyy-MM-dd");
            value.year = date.year();
            value.month = date.month();
            value.day = date.day();
        }
    }
    return value;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: make_xlsx <path> < description.json\n", stderr);
        return 2;
    }
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    const QJsonObject description = QJsonDocument::fromJson(input.readAll()).object();

    lxw_workbook_options options{};
    options.constant_memory = description.value(QStringLiteral("inlineStrings")).toBool() ? LXW_TRUE : LXW_FALSE;
    lxw_workbook *workbook = workbook_new_opt(argv[1], &options);
    if (!workbook)
        return 1;
    const QJsonArray sheets = description.value(QStringLiteral("sheets")).toArray();
    // One format per distinct number format, as a workbook made by hand would have.
    QHash<QString, lxw_format *> formats;
    const auto formatFor = [&](const QString &code) {
        lxw_format *&format = formats[code];
        if (!format) {
            format = workbook_add_format(workbook);
            format_set_bold(format);
            if (code.startsWith(u'#'))
                format_set_num_format_index(format, quint8(code.mid(1).toUShort()));
            else if (!code.isEmpty())
                format_set_num_format(format, code.toUtf8().constData());
        }
        return format;
    };
    for (qsizetype s = 0; s < sheets.size(); ++s) {
        const QJsonObject sheet = sheets.at(s).toObject();
        lxw_worksheet *page
            = workbook_add_worksheet(workbook, sheet.value(QStringLiteral("name")).toString().toUtf8().constData());
        for (const QJsonValue &entry : sheet.value(QStringLiteral("cells")).toArray()) {
            const QJsonArray cell = entry.toArray();
            const auto row = static_cast<lxw_row_t>(cell.at(0).toInt() - 1);
            const auto column = static_cast<lxw_col_t>(cell.at(1).toInt() - 1);
            const QString kind = cell.at(2).toString();
            const QJsonValue value = cell.at(3);
            // Plain cells carry no format; a blank cell is written only when it has one.
            const QString code = cell.at(4).toString();
            lxw_format *format = code.isEmpty() && kind != u"blank" ? nullptr : formatFor(code);
            if (kind == u"text") {
                worksheet_write_string(page, row, column, value.toString().toUtf8().constData(), format);
            } else if (kind == u"number") {
                worksheet_write_number(page, row, column, value.toDouble(), format);
            } else if (kind == u"boolean") {
                worksheet_write_boolean(page, row, column, value.toBool(), format);
            } else if (kind == u"date") {
                lxw_datetime datetime = datetimeOf(value.toString());
                worksheet_write_datetime(page, row, column, &datetime, format);
            } else {
                worksheet_write_blank(page, row, column, format);
            }
        }
        if (s == description.value(QStringLiteral("active")).toInt())
            worksheet_activate(page);
    }
    return workbook_close(workbook) == LXW_NO_ERROR ? 0 : 1;
}
