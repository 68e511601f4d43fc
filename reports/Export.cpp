#include "reports/Export.h"

#include "core/SharedProcs.h"
#include "core/fmMain.h"
#include "reports/SelectColumnForm.h"
#include "reports/fmExportTo.h"

#include "db/DataSet.h"
#include "db/DbError.h"
#include "db/NumberFormat.h"
#include "os/OutputFile.h"
#include "os/Shell.h"
#include "os/Spreadsheet.h"
#include "os/TsvFile.h"
#include "widgets/DBGrid.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QTableWidget>
#include <QUrl>

namespace {

// A line break inside a value would start a new record for the reader.
QString withoutLineBreaks(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
}

// A number of the report table as the grid shows it: the locale's decimal
// separator (or "."), digit groups separated by blanks.
double cellNumber(const QString& text)
{
    QString s = text.trimmed();
    s.remove(QChar(' '));
    s.remove(QChar(0x00A0));
    s.remove(QLocale().groupSeparator());
    s.replace(QLocale().decimalPoint(), QStringLiteral("."));
    s.replace(QChar(','), QChar('.'));
    bool ok = false;
    const double value = s.toDouble(&ok);
    if (!ok)
        throw fw::ConvertError(QString("'%1' is not a valid floating point value").arg(text));
    return value;
}

void checkColumn(fw::DBGrid* grid, int column)
{
    if (column < 0 || column >= grid->columnCount())
        throw fw::Error(QString("Нет столбца %1 в таблице \"%2\"").arg(column).arg(grid->objectName()));
}

} // namespace

TExport::TExport() = default;

TExport::~TExport()
{
    // An export that did not reach EndExport is a failed one: nothing is
    // opened, and its partial file goes.
    if (Opened)
        Discard();
    file_.reset();
    sheet_.reset();
}

void TExport::BeginExport()
{
    Records = 0;
    if (ExportType == TextFile) {
        LineStart = true;
        file_ = std::make_unique<fw::TsvWriter>(FileName);
    } else {
        workbookName_ = fw::documentFileName(Caption, "xlsx");
        sheet_ = std::make_unique<fw::SpreadsheetWriter>(workbookName_);
        Col = 1;
        Row = 1;
    }
    Opened = true;
}

void TExport::Discard()
{
    if (file_)
        file_->discard();
    if (sheet_)
        sheet_->discard();
    file_.reset();
    sheet_.reset();
    Opened = false;
}

QString TExport::ValueText(const fw::Value& value)
{
    switch (value.type()) {
    case fw::Value::Type::Null: return {};
    case fw::Value::Type::Int: return QString::number(value.asInt64());
    case fw::Value::Type::Double: return fw::numberText(value.asDouble());
    case fw::Value::Type::Currency: return fw::numberText(value.asCurrency().toDouble());
    case fw::Value::Type::DateTime: {
        const QDateTime dt = value.asDateTime();
        if (!dt.isValid()) return {};
        QString s = dt.date().toString("dd.MM.yyyy");
        if (dt.time() != QTime(0, 0))
            s += ' ' + dt.time().toString("hh:mm:ss");
        return s;
    }
    case fw::Value::Type::Text:
    case fw::Value::Type::Bytes: return withoutLineBreaks(value.asString());
    }
    return {};
}

void TExport::WriteValue(const fw::Value& value, int decimals)
{
    if (!Opened)
        throw fw::Error("Экспорт не начат");
    if (ExportType == TextFile) {
        file_->writeValue(ValueText(value));
        LineStart = false;
        return;
    }
    const int r = Row - 1;
    const int c = Col - 1;
    switch (value.type()) {
    case fw::Value::Type::Null: break;
    case fw::Value::Type::Int:
    case fw::Value::Type::Double: sheet_->writeNumber(r, c, value.asDouble(), decimals); break;
    case fw::Value::Type::Currency: sheet_->writeNumber(r, c, value.asCurrency().toDouble(), decimals); break;
    case fw::Value::Type::DateTime:
        if (value.asDateTime().isValid()) sheet_->writeDateTime(r, c, value.asDateTime());
        break;
    case fw::Value::Type::Text:
    case fw::Value::Type::Bytes: sheet_->writeText(r, c, withoutLineBreaks(value.asString())); break;
    }
    ++Col;
}

void TExport::NewLine()
{
    if (!Opened)
        throw fw::Error("Экспорт не начат");
    if (ExportType == TextFile) {
        file_->newLine();
        LineStart = true;
    } else {
        ++Row;
        Col = 1;
    }
}

void TExport::EndExport()
{
    if (!Opened)
        return;
    // Opened is cleared only once the data is on disk, so that a failed close
    // leaves the exporter as an unfinished export.
    if (ExportType == TextFile) {
        file_->close();
        file_.reset();
        Opened = false;
        return;
    }
    sheet_->close();
    sheet_.reset();
    Opened = false;
    fw::shareWithGroup(workbookName_);
    // No program for workbooks is no failure of the export: the file is saved, and
    // the one message that ends the export says where and that nothing opened it.
    // The desktop's answer is awaited a moment for that; one that comes later is told apart.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString name = QDir::toNativeSeparators(workbookName_);
    WorkbookShown = fw::shell().openUrlAndWait(QUrl::fromLocalFile(workbookName_), kOpenAnswerMs, [name] {
        fw::dialogs().error(NotOpenedText(name));
    });
    QApplication::restoreOverrideCursor();
}

QString TExport::NotOpenedText(const QString& fileName)
{
    return "Экспорт успешно завершен.\nФайл сохранен:\n" + fileName
        + "\n\nОткрыть его не удалось: на этом компьютере нет программы, которая открывает таблицы (.xlsx).";
}

void TExportDBGrid::WriteTitles(fw::DBGrid* grid, const QList<int>& columns, const QString& prefix)
{
    for (int i : columns) {
        checkColumn(grid, i);
        WriteValue(prefix + grid->columnTitle(i));
    }
}

void TExportDBGrid::WriteRecord(fw::DBGrid* grid, const QList<int>& columns, bool blank)
{
    for (int i : columns) {
        checkColumn(grid, i);
        fw::Field* field = blank ? nullptr : grid->columnField(i);
        // Money and quantities keep the decimals of their column.
        const int decimals = field && field->type() == fw::FieldType::Currency ? field->size() : -1;
        WriteValue(field ? field->value() : fw::Value(), decimals);
    }
    if (!blank)
        ++Records;
}

void SelectColumns(fw::DBGrid* grid, const QString& caption, QList<int>& columns)
{
    std::unique_ptr<TSelectColumnForm> form(new TSelectColumnForm(fmMain.data()));
    for (int i = 0; i < grid->columnCount(); ++i) {
        auto* item = new QListWidgetItem(grid->columnTitle(i), form->clbColumns);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    if (form->clbColumns->count() > 0)
        form->clbColumns->setCurrentRow(0);
    form->setWindowTitle("Выбор столбцов - " + caption);
    if (form->exec() != QDialog::Accepted)
        return;
    for (int i = 0; i < form->clbColumns->count(); ++i)
        if (form->clbColumns->item(i)->checkState() == Qt::Checked)
            columns.append(i);
}

void ExportDBGrid(fw::DBGrid* grid, const QString& caption)
{
    fw::DataSet* ds = grid->dataSet();
    if (!ds || !ds->active())
        return;
    QList<int> columns;
    SelectColumns(grid, caption, columns);
    if (columns.isEmpty())
        return;
    TExportDBGrid exporter;
    if (!SetupExport(exporter))
        return;
    exporter.SetCaption(caption);
    TKeepRow keep(*ds);
    ds->disableControls();
    try {
        exporter.BeginExport();
        exporter.WriteTitles(grid, columns, QString());
        exporter.NewLine();
        for (ds->first(); !ds->eof(); ) {
            exporter.WriteRecord(grid, columns, false);
            ds->next();
            exporter.NewLine();
        }
    } catch (...) {
        ds->enableControls();
        throw;
    }
    ds->enableControls();
    FinishExport(exporter);
}

void ExportStringGrid(QTableWidget* grid)
{
    const QTableWidgetItem* first = grid->item(1, 1);
    if (!first || first->text().isEmpty())
        return;
    TExportDBGrid exporter;
    if (!SetupExport(exporter))
        return;
    exporter.SetCaption("Отчет");
    exporter.BeginExport();
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < grid->columnCount(); ++c) {
            const QTableWidgetItem* item = grid->item(r, c);
            const QString text = item ? item->text() : QString();
            if (r == 0 || c == 0)
                exporter.WriteValue(text);
            else
                exporter.WriteValue(cellNumber(text), 2);
        }
        exporter.NewLine();
        if (r > 0)
            ++exporter.Records;
    }
    FinishExport(exporter);
}

bool SetupExport(TExport& exporter)
{
    std::unique_ptr<TfmExportTo> form(new TfmExportTo);
    if (form->exec() != QDialog::Accepted)
        return false;
    exporter.SetFileName(form->edPath->text());
    exporter.SetExportType(form->rb1->isChecked() ? TExport::Spreadsheet : TExport::TextFile);
    return true;
}

void ShowExportDone()
{
    QApplication::beep();
    fw::dialogs().information("Экспорт успешно завершен.");
}

void FinishExport(TExport& exporter)
{
    if (exporter.Records == 0) {
        exporter.Discard();
        fw::dialogs().information("Нет записей для экспорта: файл не создан.");
        return;
    }
    exporter.EndExport();
    // The desktop may take the workbook and still open nothing: where it is saved is always said.
    if (exporter.ExportType == TExport::Spreadsheet) {
        const QString name = QDir::toNativeSeparators(exporter.WorkbookName());
        QApplication::beep();
        if (exporter.WorkbookShown) fw::dialogs().information("Экспорт успешно завершен.\nФайл сохранен:\n" + name);
        else fw::dialogs().warning(TExport::NotOpenedText(name));
        return;
    }
    ShowExportDone();
}

TKeepRow::TKeepRow(fw::DataSet& ds) : ds_(ds)
{
    if (ds.active() && !ds.isEmpty())
        row_ = ds.bookmark().id;
}

TKeepRow::~TKeepRow()
{
    if (row_ == 0)
        return;
    try {
        if (ds_.active() && ds_.bookmarkValid(fw::Bookmark{row_}))
            ds_.gotoBookmark(fw::Bookmark{row_});
    } catch (...) {
        // a row that cannot be reached again is no reason to fail the export
    }
}
