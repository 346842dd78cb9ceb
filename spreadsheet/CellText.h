#pragma once

#include <QString>

// How a spreadsheet cell that holds something other than text becomes the text imported for it.
// Both file readers use these, so a number or a date reads the same from .xls and .xlsx.
namespace celltext {

// A number as the digits the user sees in the sheet: at most 15 significant digits (all a sheet
// keeps), never in exponent form, no trailing zeros ("13800138000", "3.14", "-0.5").
QString numberText(double value);

// What a number format shows of a serial date-and-time value.
enum class DateKind { None, Date, Time, DateTime };

// The kind of a number format, by its built-in id (the Chinese-locale ids included) or, for a
// format of the workbook's own, by the date and time tokens in its code.
DateKind dateKindOfFormat(int numFmtId, const QString &formatCode);

// A serial date-and-time value (days since the workbook's epoch) as "yyyy-MM-dd",
// "yyyy-MM-dd HH:mm:ss" or "HH:mm:ss". A value outside the calendar a sheet can hold gives the
// plain number instead.
QString serialDateText(double serial, DateKind kind, bool date1904);

} // namespace celltext
