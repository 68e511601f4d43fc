#include "Spreadsheet.h"

#include "OutputFile.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <xlsxwriter.h>

namespace fw {

SpreadsheetWriter::SpreadsheetWriter(const QString& fileName, const QString& sheetName) : fileName_(fileName)
{
    QByteArray tmp = QDir::tempPath().toLocal8Bit();
    lxw_workbook_options options{};
    options.tmpdir = tmp.data();
    book_ = workbook_new_opt(QFile::encodeName(fileName).constData(), &options);
    if (!book_)
        throw Error(QString("Не удалось создать книгу \"%1\"").arg(fileName));
    sheet_ = workbook_add_worksheet(book_, sheetName.toUtf8().constData());
    bold_ = workbook_add_format(book_);
    date_ = workbook_add_format(book_);
    dateTime_ = workbook_add_format(book_);
    if (!sheet_ || !bold_ || !date_ || !dateTime_) {
        workbook_close(book_);
        book_ = nullptr;
        throw Error(QString("Не удалось создать лист \"%1\" книги \"%2\"").arg(sheetName, fileName));
    }
    format_set_bold(bold_);
    format_set_num_format(date_, "dd.mm.yyyy");
    format_set_num_format(dateTime_, "dd.mm.yyyy hh:mm");
}

SpreadsheetWriter::~SpreadsheetWriter()
{
    if (book_)
        workbook_close(book_);
}

void SpreadsheetWriter::check(int error, const char* what) const
{
    if (error == LXW_NO_ERROR)
        return;
    // File and archive errors come from the system: its text names the cause (a full disk).
    const int systemError = errno;
    QString reason = QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(error)));
    if (systemError != 0
        && (error == LXW_ERROR_CREATING_XLSX_FILE || error == LXW_ERROR_CREATING_TMPFILE
            || error == LXW_ERROR_ZIP_FILE_OPERATION || error == LXW_ERROR_ZIP_FILE_ADD
            || error == LXW_ERROR_ZIP_CLOSE))
        reason = QString::fromLocal8Bit(std::strerror(systemError));
    throw Error(QString("Ошибка записи книги \"%1\" (%2): %3").arg(fileName_, QString::fromLatin1(what), reason));
}

lxw_format* SpreadsheetWriter::numberFormat(int decimals)
{
    while (numbers_.size() <= decimals)
        numbers_.append(nullptr);
    if (!numbers_[decimals]) {
        lxw_format* f = workbook_add_format(book_);
        if (!f)
            throw Error(QString("Ошибка записи книги \"%1\": формат числа").arg(fileName_));
        const QByteArray code = decimals == 0 ? "#,##0" : "#,##0." + QByteArray(decimals, '0');
        format_set_num_format(f, code.constData());
        numbers_[decimals] = f;
    }
    return numbers_[decimals];
}

lxw_worksheet* SpreadsheetWriter::sheet() const
{
    if (!book_)
        throw Error(QString("Книга \"%1\" уже закрыта").arg(fileName_));
    return sheet_;
}

void SpreadsheetWriter::writeText(int row, int col, const QString& text)
{
    check(worksheet_write_string(sheet(), lxw_row_t(row), lxw_col_t(col), text.toUtf8().constData(), nullptr),
          "text");
}

void SpreadsheetWriter::writeNumber(int row, int col, double value, int decimals)
{
    if (!std::isfinite(value))
        throw Error(QString("Ошибка записи книги \"%1\": значение не является числом").arg(fileName_));
    lxw_worksheet* s = sheet();
    check(worksheet_write_number(s, lxw_row_t(row), lxw_col_t(col), value,
                                 decimals >= 0 ? numberFormat(std::min(decimals, 10)) : nullptr),
          "number");
}

void SpreadsheetWriter::writeDateTime(int row, int col, const QDateTime& value)
{
    if (!value.isValid())
        return;
    const QDate d = value.date();
    const QTime t = value.time();
    const bool midnight = t == QTime(0, 0);
    if (d.year() < 1900 || d.year() > 9999) {
        writeText(row, col, value.toString(midnight ? "dd.MM.yyyy" : "dd.MM.yyyy hh:mm"));
        return;
    }
    lxw_datetime dt{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second() + t.msec() / 1000.0};
    check(worksheet_write_datetime(sheet(), lxw_row_t(row), lxw_col_t(col), &dt, midnight ? date_ : dateTime_),
          "date");
}

void SpreadsheetWriter::setColumnWidth(int col, double width)
{
    check(worksheet_set_column(sheet(), lxw_col_t(col), lxw_col_t(col), width, nullptr), "column");
}

void SpreadsheetWriter::setRowBold(int row)
{
    check(worksheet_set_row(sheet(), lxw_row_t(row), LXW_DEF_ROW_HEIGHT, bold_), "row");
}

void SpreadsheetWriter::close()
{
    if (!book_)
        return;
    lxw_workbook* book = book_;
    book_ = nullptr;
    errno = 0;
    check(workbook_close(book), "close");
}

void SpreadsheetWriter::discard()
{
    if (book_) {
        lxw_workbook_free(book_);
        book_ = nullptr;
    }
    removePartialFile(fileName_);
}

} // namespace fw
