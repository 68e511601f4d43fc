#include "reports/Export.h"
#include "reports/SelectColumnForm.h"
#include "reports/fmExportConCount.h"
#include "reports/fmExportTo.h"

#include "db/DataSource.h"
#include "db/Query.h"
#include "db/CodePage.h"
#include "os/OsError.h"
#include "os/Shell.h"
#include "support/ExportDialogs.h"
#include "support/schema/DatabaseTest.h"
#include "widgets/DBGrid.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using testing_support::chooseSpreadsheet;
using testing_support::chooseTextFile;
using testing_support::keepAllColumns;
using testing_support::whenShown;

QByteArray fileBytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString unzipped(const QString& book, const QString& member)
{
    QProcess p;
    p.start("unzip", {"-p", book, member});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class ExportTest : public testing_support::DatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        DatabaseTest::SetUpTestSuite();
        fw::Database db;
        db.setParams(params());
        db.connect();
        db.execute("create table EXPT (ID integer, NAME varchar(40), SUMMA numeric(15,2), D date, "
                   "Q double precision)");
        db.execute("insert into EXPT values (:id, :name, :summa, :d, :q)",
                   {{"id", 1}, {"name", "Ромашка"}, {"summa", 1234.5},
                    {"d", QDateTime(QDate(2024, 3, 5), QTime(0, 0))}, {"q", 0.25}});
        db.execute("insert into EXPT values (:id, :name, null, :d, null)",
                   {{"id", 2}, {"name", "a\r\nb\nc"}, {"d", QDateTime(QDate(2024, 3, 5), QTime(14, 30, 15))}});
        db.execute("insert into EXPT (ID) values (3)");
        db.disconnect();
    }

    void SetUp() override
    {
        DatabaseTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        qry = std::make_unique<fw::Query>(&db);
        qry->setSql({"select * from EXPT order by ID"});
        ds = std::make_unique<fw::DataSource>();
        ds->setDataSet(qry.get());
        grid = std::make_unique<fw::DBGrid>();
        grid->setDataSource(ds.get());
        fw::GridColumn hidden{"Q", "Доля"};
        hidden.visible = false;
        grid->setColumns({{"ID", "Код"}, {"NAME", "Название"}, {"SUMMA", "Сумма"}, {"D", "Дата"}, hidden});
        qry->open();
        fileName = dir.filePath("out.txt");
    }

    void TearDown() override
    {
        grid.reset();
        ds.reset();
        qry.reset();
        QLocale::setDefault(QLocale::c());
        DatabaseTest::TearDown();
    }

    std::unique_ptr<fw::Query> qry;
    std::unique_ptr<fw::DataSource> ds;
    std::unique_ptr<fw::DBGrid> grid;
    QTemporaryDir dir;
    QString fileName;
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
};

TEST_F(ExportTest, TextFileHoldsTitlesAndEveryRecordInCodePage1251)
{
    qry->last();
    keepAllColumns();
    chooseTextFile(fileName);
    dialogs.expectInformation("Экспорт успешно завершен.");
    ExportDBGrid(grid.get(), "Тест");

    // Hidden columns are offered too; a CR LF pair gives two spaces, a lone LF one.
    const QByteArray expected = fw::toCp1251(
        "Код\tНазвание\tСумма\tДата\tДоля\r\n"
        "1\tРомашка\t1234,5\t05.03.2024\t0,25\r\n"
        "2\ta  b c\t\t05.03.2024 14:30:15\t\r\n"
        "3\t\t\t\t\r\n");
    EXPECT_EQ(fileBytes(fileName), expected);
    EXPECT_EQ(qry->fieldByName("ID").asInteger(), 3);   // the user's row again
    EXPECT_FALSE(qry->controlsDisabled());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(ExportTest, ColumnChoiceDecidesWhatAndWhetherToExport)
{
    // "*" inverts every mark; the checked ones go out in list order.
    whenShown<TSelectColumnForm>([](TSelectColumnForm* d) {
        EXPECT_EQ(d->windowTitle(), "Выбор столбцов - Сделки");
        ASSERT_EQ(d->clbColumns->count(), 5);
        EXPECT_EQ(d->clbColumns->item(4)->text(), "Доля");
        d->clbColumns->setFocus();
        QKeyEvent star(QEvent::KeyPress, Qt::Key_Asterisk, Qt::NoModifier, "*");
        QApplication::sendEvent(d->clbColumns, &star);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(d->clbColumns->item(i)->checkState(), Qt::Unchecked);
        d->clbColumns->item(3)->setCheckState(Qt::Checked);
        d->clbColumns->item(1)->setCheckState(Qt::Checked);
        d->btnOK->click();
    });
    chooseTextFile(fileName);
    dialogs.expectInformation();
    ExportDBGrid(grid.get(), "Сделки");
    EXPECT_EQ(fileBytes(fileName),
              fw::toCp1251("Название\tДата\r\nРомашка\t05.03.2024\r\na  b c\t05.03.2024 14:30:15\r\n\t\r\n"));

    // Nothing checked, or a cancel anywhere: no file and no message.
    QFile::remove(fileName);
    whenShown<TSelectColumnForm>([](TSelectColumnForm* d) {
        d->InvertChecks();
        d->btnOK->click();
    });
    ExportDBGrid(grid.get(), "Сделки");
    whenShown<TSelectColumnForm>([](TSelectColumnForm* d) { d->btnCancel->click(); });
    ExportDBGrid(grid.get(), "Сделки");
    keepAllColumns();
    whenShown<TfmExportTo>([this](TfmExportTo* d) {
        d->rb2->setChecked(true);
        d->edPath->setText(fileName);
        d->btnCancel->click();
    });
    ExportDBGrid(grid.get(), "Сделки");
    EXPECT_FALSE(QFile::exists(fileName));
    EXPECT_TRUE(fmExportTo.isNull());

    qry->close();
    ExportDBGrid(grid.get(), "Сделки");   // closed data set: no dialog at all
}

TEST_F(ExportTest, SpreadsheetKeepsNumbersAndDatesTyped)
{
    keepAllColumns();
    chooseSpreadsheet();
    dialogs.expectInformation();
    ExportDBGrid(grid.get(), "Тест");

    ASSERT_EQ(shell.opened.size(), 1);
    const QString book = shell.opened[0].toLocalFile();
    // Where the workbook is saved, also when the program it went to opens nothing.
    EXPECT_EQ(dialogs.shown().last().text, "Экспорт успешно завершен.\nФайл сохранен:\n" + book);
    // Named after the list and the day, readable by the user's group.
    EXPECT_TRUE(QFileInfo(book).fileName().startsWith("Тест " + QDate::currentDate().toString("dd.MM.yyyy")))
        << book.toStdString();
    EXPECT_TRUE(book.endsWith(".xlsx"));
    EXPECT_TRUE(QFile(book).permissions() & QFileDevice::ReadGroup);
    const QString sheet = unzipped(book, "xl/worksheets/sheet1.xml");
    const QString strings = unzipped(book, "xl/sharedStrings.xml");
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="A1"[^>]*t="s")"))) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="A2"[^>]*><v>1</v>)")));
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="C2" s="\d+"><v>1234.5</v>)")));   // money: "#,##0.00"
    EXPECT_TRUE(unzipped(book, "xl/styles.xml").contains(R"(formatCode="#,##0.00")"));
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="D2" s="\d+"><v>45356</v>)")));
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="D3" s="\d+"><v>45356\.60)")));
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="E2"[^>]*><v>0.25</v>)")));
    EXPECT_FALSE(sheet.contains(R"(r="C3")"));   // null: no cell
    EXPECT_FALSE(sheet.contains(R"(r="B4")"));
    for (const char* s : {"Код", "Название", "Доля", "Ромашка", "a  b\nc"})
        EXPECT_TRUE(strings.contains(QString::fromUtf8(s))) << s;
    QFile::remove(book);
}

TEST_F(ExportTest, AFailedWriteOrCloseIsNeverReportedDone)
{
    keepAllColumns();
    chooseTextFile(dir.filePath("no/such/folder/out.txt"));
    EXPECT_THROW(ExportDBGrid(grid.get(), "Тест"), fw::FileError);
    EXPECT_FALSE(qry->controlsDisabled());

    if (QFile::exists("/dev/full")) {   // the data only fails to reach the disk at the close
        keepAllColumns();
        chooseTextFile("/dev/full");
        EXPECT_THROW(ExportDBGrid(grid.get(), "Тест"), fw::FileError);
    }

    // No program for workbooks: the file is kept, and one message tells so and where it is.
    shell.openResult = false;
    keepAllColumns();
    chooseSpreadsheet();
    dialogs.expectWarning();
    ExportDBGrid(grid.get(), "Тест");
    ASSERT_EQ(shell.opened.size(), 1);
    const QString book = shell.opened[0].toLocalFile();
    ASSERT_EQ(dialogs.shown().size(), 1);
    EXPECT_EQ(dialogs.shown().last().text,
              "Экспорт успешно завершен.\nФайл сохранен:\n" + book
                  + "\n\nОткрыть его не удалось: на этом компьютере нет программы, которая открывает таблицы (.xlsx).");
    EXPECT_TRUE(QFile::exists(book));
    QFile::remove(book);
}

class StringGridExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        sg.setRowCount(3);
        sg.setColumnCount(3);
        const QStringList cells = {"Товар", "31.03.2024", "Итого:",
                                   "Стол", "1 234,50", "1234,5",
                                   "Итого:", "0", "0.25"};
        for (int i = 0; i < cells.size(); ++i) sg.setItem(i / 3, i % 3, new QTableWidgetItem(cells[i]));
        fileName = dir.filePath("report.txt");
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QTableWidget sg;
    QTemporaryDir dir;
    QString fileName;
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
};

TEST_F(StringGridExportTest, TitlesAsTextAndCellsAsNumbers)
{
    chooseTextFile(fileName);
    dialogs.expectInformation("Экспорт успешно завершен.");
    ExportStringGrid(&sg);
    EXPECT_EQ(fileBytes(fileName),
              fw::toCp1251("Товар\t31.03.2024\tИтого:\r\nСтол\t1234,5\t1234,5\r\nИтого:\t0\t0,25\r\n"));

    sg.item(1, 1)->setText("");   // the report has not been run
    ExportStringGrid(&sg);
}

TEST_F(StringGridExportTest, BadCellOrCharacterOutsideTheCodePageStopsWithoutDone)
{
    sg.item(2, 1)->setText("abc");
    chooseTextFile(fileName);
    EXPECT_THROW(ExportStringGrid(&sg), fw::ConvertError);
    EXPECT_FALSE(QFile::exists(fileName));   // no partial file is left

    sg.item(2, 1)->setText("1");
    sg.item(1, 0)->setText("Стол 中");
    chooseTextFile(fileName);
    try {
        ExportStringGrid(&sg);
        ADD_FAILURE() << "no error";
    } catch (const fw::EncodingError& e) {
        EXPECT_EQ(e.codePoint(), char32_t(0x4E2D));
        EXPECT_TRUE(e.message().contains("U+4E2D")) << e.message().toStdString();
    }
}

TEST(ExportDialogsTest, TargetDialogStartsOnTheSpreadsheetWithTheTemporaryPath)
{
    fw::ScriptedDialogs dialogs;
    TExport exporter;
    whenShown<TfmExportTo>([&dialogs](TfmExportTo* d) {
        EXPECT_EQ(d->windowTitle(), "Экпорт");
        EXPECT_TRUE(d->rb1->isChecked());
        EXPECT_FALSE(d->edPath->isEnabled());
        EXPECT_FALSE(d->btnPath->isEnabled());
        EXPECT_EQ(d->edPath->text(), QDir(QDir::tempPath()).filePath("table.txt"));
        d->rb2->setChecked(true);
        EXPECT_TRUE(d->btnPath->isEnabled());
        dialogs.expectSaveFile("/tmp/chosen.txt");
        d->btnPath->click();
        EXPECT_EQ(d->edPath->text(), "/tmp/chosen.txt");
        d->rb1->setChecked(true);
        EXPECT_FALSE(d->edPath->isEnabled());
        d->btnOK->click();
    });
    EXPECT_TRUE(SetupExport(exporter));
    EXPECT_EQ(exporter.ExportType, TExport::Spreadsheet);
    EXPECT_EQ(exporter.FileName, "/tmp/chosen.txt");   // passed on even though unused
    EXPECT_TRUE(fmExportTo.isNull());

    TfmExportConCount count;
    EXPECT_EQ(count.seCount->value(), 5);
    EXPECT_EQ(count.seCount->minimum(), 1);
    EXPECT_EQ(count.seCount->maximum(), 20);
}

} // namespace
