#pragma once

#include "db/DbError.h"

#include <QDateTime>
#include <QList>
#include <QString>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace fw {

// An .xlsx workbook with one worksheet, written cell by cell. Rows and columns
// count from 0. Every call is checked; close() writes the file.
class SpreadsheetWriter {
public:
    explicit SpreadsheetWriter(const QString& fileName, const QString& sheetName = "Лист1");  // throws Error
    SpreadsheetWriter(const SpreadsheetWriter&) = delete;
    SpreadsheetWriter& operator=(const SpreadsheetWriter&) = delete;
    ~SpreadsheetWriter();   // writes an unclosed workbook, ignoring errors

    void writeText(int row, int col, const QString& text);
    // decimals >= 0: shown with that many decimals and digit groups (money 2,
    // quantities 3); otherwise in the general format.
    void writeNumber(int row, int col, double value, int decimals = -1);
    // A real date cell, shown "dd.mm.yyyy", with the time when it is not midnight.
    // Dates the format cannot hold (before 1900) are written as text.
    void writeDateTime(int row, int col, const QDateTime& value);
    void setColumnWidth(int col, double width);   // in characters
    void setRowBold(int row);

    void close();           // throws Error when the file could not be written
    // Gives up the workbook: nothing is written, and what a failed close left is removed.
    void discard();
    const QString& fileName() const { return fileName_; }

private:
    void check(int error, const char* what) const;
    lxw_format* numberFormat(int decimals);
    lxw_worksheet* sheet() const;

    QString fileName_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* bold_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_format* dateTime_ = nullptr;
    QList<lxw_format*> numbers_;   // by decimals
};

} // namespace fw
