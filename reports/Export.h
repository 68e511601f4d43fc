#pragma once

#include "db/Value.h"

#include <QList>
#include <QString>
#include <memory>

class QTableWidget;

namespace fw {
class DataSet;
class DBGrid;
class SpreadsheetWriter;
class TsvWriter;
} // namespace fw

// Writes one table either to a tab-separated text file (code page 1251) or to
// a new .xlsx workbook named after the list and the date in the user's
// documents folder, which is opened with the desktop's default program when
// the export ends (the user is told when none opens it). Every write and the close are checked: an export that
// failed throws, never looks done, and leaves no partial file behind.
class TExport {
public:
    enum : quint8 { TextFile = 0, Spreadsheet = 1 };

    TExport();
    TExport(const TExport&) = delete;
    TExport& operator=(const TExport&) = delete;
    // An export still open here has failed: its file is removed, nothing is opened.
    virtual ~TExport();

    void SetFileName(const QString& fileName) { FileName = fileName; }
    void SetExportType(quint8 type) { ExportType = type; }
    // What the list is called: the workbook's name.
    void SetCaption(const QString& caption) { Caption = caption; }

    void BeginExport();
    // decimals >= 0: a number shown in the workbook with that many decimals.
    void WriteValue(const fw::Value& value, int decimals = -1);
    void NewLine();
    // Closes the file; a workbook is then opened with the default program.
    void EndExport();
    // Gives up an export: its file is closed and removed.
    void Discard();

    quint8 ExportType = TextFile;
    bool Opened = false;
    QString FileName;          // the text file; a workbook gets a name of its own
    bool LineStart = true;
    int Col = 1;               // next spreadsheet column, from 1
    int Row = 1;               // current spreadsheet row, from 1
    QString Caption;
    int Records = 0;           // data rows written
    bool WorkbookShown = true; // a program took the workbook of the last spreadsheet export
    // How long the end of an export waits for the desktop to say whether a program took the workbook.
    static constexpr int kOpenAnswerMs = 3000;
    // The message of a workbook saved that no program opened.
    static QString NotOpenedText(const QString& fileName);

    // The workbook of the last spreadsheet export.
    const QString& WorkbookName() const { return workbookName_; }

    // How a value reads in the text file: null empty, numbers with the
    // locale's decimal separator and no grouping, dates "dd.MM.yyyy" with
    // " hh:mm:ss" when the time is not midnight.
    static QString ValueText(const fw::Value& value);

private:
    std::unique_ptr<fw::TsvWriter> file_;
    std::unique_ptr<fw::SpreadsheetWriter> sheet_;
    QString workbookName_;
};

class TExportDBGrid : public TExport {
public:
    // The titles of the given columns, each after the prefix.
    void WriteTitles(fw::DBGrid* grid, const QList<int>& columns, const QString& prefix);
    // The current record's values of the given columns (nulls when blank).
    void WriteRecord(fw::DBGrid* grid, const QList<int>& columns, bool blank);
};

// The column choice; columns gets the checked ones only when the user confirms.
void SelectColumns(fw::DBGrid* grid, const QString& caption, QList<int>& columns);
// Chosen columns of every row of the grid's data set.
void ExportDBGrid(fw::DBGrid* grid, const QString& caption);
// Every cell of a string grid whose row 0 and column 0 hold titles and whose
// other cells hold numbers (the report table); nothing when cell (1, 1) is empty.
void ExportStringGrid(QTableWidget* grid);
// The target choice; true when confirmed, with the exporter's file name and type set.
bool SetupExport(TExport& exporter);
void ShowExportDone();
// Ends an export: one that wrote no record is given up and says so; otherwise
// the file is closed and the user told it is done (and where a workbook was saved).
void FinishExport(TExport& exporter);

// Brings a data set back to the row the user was on, whatever ends the walk.
class TKeepRow {
public:
    explicit TKeepRow(fw::DataSet& ds);
    ~TKeepRow();
    TKeepRow(const TKeepRow&) = delete;
    TKeepRow& operator=(const TKeepRow&) = delete;

private:
    fw::DataSet& ds_;
    quint64 row_ = 0;
};
