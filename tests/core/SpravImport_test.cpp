#include "CoreFixture.h"

#include "core/ModuleWindows.h"
#include "core/Sprav.h"
#include "core/SpravImport.h"
#include "core/fmSetupList.h"

#include "db/DataSource.h"
#include "db/Query.h"
#include "reports/Export.h"
#include "widgets/DBGrid.h"
#include "db/CodePage.h"
#include "os/TsvFile.h"
#include "support/RawFile.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

using Lines = QList<QStringList>;

class GoodsImport : public CoreDatabaseTest {
protected:
    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        fmSetupList = new TfmSetupList;
    }
    void TearDown() override
    {
        delete fmSetupList.data();
        CoreDatabaseTest::TearDown();
    }

    TSprav* goods()
    {
        fmSetupList->cbSprav->setCurrentIndex(1);
        return fmSetupList->SpravMan->GetSprav(1);
    }

    QString writeFile(const QString& name, const Lines& lines)
    {
        const QString path = dir.filePath(name);
        fw::TsvWriter w(path);
        w.writeValue("Группа");
        w.writeValue("Товар");
        w.writeValue("Цена");
        w.newLine();
        for (const QStringList& line : lines) {
            for (const QString& v : line) w.writeValue(v);
            w.newLine();
        }
        w.close();
        return path;
    }

    // Runs the wizard from the button while drive works on it.
    void runWizard(const std::function<void(TSpravImportForm&)>& drive)
    {
        bool driven = false;
        QTimer::singleShot(0, [&] {
            auto* form = qobject_cast<TSpravImportForm*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "the wizard is not shown";
                return;
            }
            driven = true;
            drive(*form);
            if (form->isVisible()) {
                ADD_FAILURE() << "the wizard is still open";
                dialogs.expectConfirm(true, "Закрыть импорт справочника?");
                form->reject();
            }
        });
        fmSetupList->tbImport->click();
        EXPECT_TRUE(driven);
    }

    static void link(TSpravImportForm& f, const char* field, int column)
    {
        f.findChild<QComboBox*>(QString("cb") + field)->setCurrentIndex(column);
    }
    static void linkAll(TSpravImportForm& f)
    {
        link(f, "GrTovar", 0);
        link(f, "Tovar", 1);
        link(f, "Price", 2);
    }

    // From the file page to the import page, every field linked.
    static void toImportPage(TSpravImportForm& f, const QString& file)
    {
        f.edFile->setText(file);
        f.btnNext->click();
        linkAll(f);
        f.btnNext->click();
    }

    // Imports file through the wizard, expecting a failure; gives the error shown.
    QString importFailing(TSpravImportForm& f, const QString& file)
    {
        toImportPage(f, file);
        dialogs.expectError();
        f.btnNext->click();
        EXPECT_FALSE(dialogs.shown().isEmpty());
        return dialogs.shown().isEmpty() ? QString() : dialogs.shown().last().text;
    }

    QString price(const QString& group, const QString& name)
    {
        const fw::Value v = db.selectValue(
            "select t.Price from Tovar t join GrTovar g on g.idGrTovar = t.idGrTovar"
            " where g.GrTovar = :g and t.Tovar = :t",
            {{"g", group}, {"t", name}});
        return v.isNull() ? "null" : v.asCurrency().toString(2);
    }
    int count(const QString& sql, const QList<QPair<QString, fw::Value>>& params = {})
    {
        return db.selectValue(sql, params).asInt();
    }

    QTemporaryDir dir;
    fw::ScriptedDialogs dialogs;
};

} // namespace

TEST_F(GoodsImport, AddsWhatIsMissingAndUpdatesPrices)
{
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (701, 'Станки')");
    db.execute("insert into Tovar (idTovar, idGrTovar, Tovar, Price) values (711, 701, 'Токарный', 100)");
    const QString file = writeFile("goods.txt", {
        {"Станки", "Токарный", "150"},
        {"Станки", "Фрезерный", "12,50"},
        {},
        {"Инструмент", "Сверло", "7.25"},
        {"Инструмент", "Сверло", "7.25"},
        {"Инструмент", "", "3"},
        {"Инструмент", "Метчик", "нет"},
    });
    ASSERT_TRUE(goods()->Built);
    ASSERT_TRUE(fmSetupList->tbImport->isEnabled());

    runWizard([&](TSpravImportForm& f) {
        EXPECT_EQ(f.windowTitle(), "Товары - Импорт справочника");
        EXPECT_FALSE(f.btnBack->isEnabled());
        f.edFile->setText(dir.filePath("missing.txt"));
        dialogs.expectError("Файл не найен.");
        f.btnNext->click();
        EXPECT_EQ(f.pc->currentWidget(), f.tsFile);

        f.edFile->setText(file);
        f.btnNext->click();
        ASSERT_EQ(f.pc->currentWidget(), f.tsFields);
        auto* cbPrice = f.findChild<QComboBox*>("cbPrice");
        ASSERT_TRUE(cbPrice);
        EXPECT_EQ(cbPrice->count(), 3);
        EXPECT_EQ(cbPrice->itemText(2), "Цена");
        link(f, "GrTovar", 0);
        link(f, "Tovar", 1);
        dialogs.expectError("Установлены не все связи.");
        f.btnNext->click();
        EXPECT_EQ(f.pc->currentWidget(), f.tsFields);

        // Back to the file and forward again: every link is chosen anew.
        f.btnBack->click();
        f.btnNext->click();
        EXPECT_EQ(f.findChild<QComboBox*>("cbGrTovar")->currentIndex(), -1);
        linkAll(f);
        f.btnNext->click();
        ASSERT_EQ(f.pc->currentWidget(), f.tsImport);
        EXPECT_EQ(f.btnNext->text(), "Импорт!");
        dialogs.expectInformation("Импорт справочника успешно завершен.");
        f.btnNext->click();
        EXPECT_EQ(f.lblCount->text(), "5");
        EXPECT_FALSE(f.isVisible());
    });

    EXPECT_EQ(price("Станки", "Токарный"), "150.00");
    EXPECT_EQ(count("select count(*) from Tovar where idTovar = 711"), 1);   // updated in place
    EXPECT_EQ(price("Станки", "Фрезерный"), "12.50");
    EXPECT_EQ(price("Инструмент", "Сверло"), "7.25");
    EXPECT_EQ(price("Инструмент", "Метчик"), "0.00");
    EXPECT_EQ(count("select count(*) from GrTovar where GrTovar = 'Инструмент'"), 1);
    EXPECT_EQ(count("select count(*) from Tovar t join GrTovar g on g.idGrTovar = t.idGrTovar"
                    " where g.GrTovar = 'Инструмент'"),
              2);
    EXPECT_EQ(count("select count(*) from Tovar where Tovar = '' or Tovar is null"), 0);
}

TEST_F(GoodsImport, AFailingLineIsNamedAndARetryStartsOver)
{
    db.execute("create exception EX_PRICE 'negative price'");
    db.execute("create trigger TOVAR_PRICE_CHECK for Tovar before insert or update as "
               "begin if (new.Price < 0) then exception EX_PRICE; end");
    const QString file = writeFile("bad.txt", {
        {"Мебель", "Стол", "10"},
        {"Мебель", "Стул", "-1"},
        {"Мебель", "Шкаф", "30"},
    });
    goods();

    runWizard([&](TSpravImportForm& f) {
        const QString message = importFailing(f, file);
        EXPECT_TRUE(message.contains("строке 3")) << message.toStdString();
        EXPECT_TRUE(message.contains("negative price")) << message.toStdString();
        EXPECT_EQ(f.pc->currentWidget(), f.tsImport);
        EXPECT_EQ(price("Мебель", "Стол"), "10.00");   // what was written before stays
        EXPECT_EQ(price("Мебель", "Шкаф"), "null");

        // The file put right: the whole of it is read again, nothing twice.
        writeFile("bad.txt", {
            {"Мебель", "Стол", "10"},
            {"Мебель", "Стул", "20"},
            {"Мебель", "Шкаф", "30"},
        });
        dialogs.expectInformation("Импорт справочника успешно завершен.");
        f.btnNext->click();
        EXPECT_EQ(f.lblCount->text(), "3");
        EXPECT_FALSE(f.isVisible());
    });
    EXPECT_EQ(count("select count(*) from Tovar where Tovar = 'Стол'"), 1);
    EXPECT_EQ(price("Мебель", "Стул"), "20.00");
    EXPECT_EQ(price("Мебель", "Шкаф"), "30.00");
}

TEST_F(GoodsImport, APriceTooLargeForMoneyIsNamedNotZeroed)
{
    const QString file = writeFile("huge.txt", {
        {"Мебель", "Стол", "10"},
        {"Мебель", "Трон", "99999999999999999e20"},
    });
    goods();
    runWizard([&](TSpravImportForm& f) {
        const QString message = importFailing(f, file);
        EXPECT_TRUE(message.contains("строке 3")) << message.toStdString();
        EXPECT_TRUE(message.contains("99999999999999999e20")) << message.toStdString();
        dialogs.expectConfirm(true, "Закрыть импорт справочника?");
        f.reject();
    });
    EXPECT_EQ(price("Мебель", "Стол"), "10.00");
    EXPECT_EQ(price("Мебель", "Трон"), "null");
}

TEST_F(GoodsImport, ClosingAfterTheFirstPageAsks)
{
    const QString file = writeFile("close.txt", {{"Мебель", "Стол", "10"}});
    goods();
    runWizard([&](TSpravImportForm& f) {
        f.edFile->setText(file);
        f.btnNext->click();
        dialogs.expectConfirm(false, "Закрыть импорт справочника?");
        f.btnCancel->click();
        EXPECT_TRUE(f.isVisible());
        dialogs.expectConfirm(true, "Закрыть импорт справочника?");
        f.btnCancel->click();
        EXPECT_FALSE(f.isVisible());
    });
    runWizard([&](TSpravImportForm& f) {
        f.btnCancel->click();   // the first page closes without a question
        EXPECT_FALSE(f.isVisible());
    });
}

// The goods list as the export service writes it (Russian locale, as the
// program runs) must come back through the import exactly.
TEST_F(GoodsImport, AnExportedGoodsListImportsBackUnchanged)
{
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto cLocale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    db.execute("delete from Tovar");   // the suite shares one database
    db.execute("delete from GrTovar where idGrTovar <> 0");
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (801, 'Станки')");
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (802, 'Инструмент')");
    db.execute("insert into Tovar (idTovar, idGrTovar, Tovar, Price) values (811, 801, 'Токарный', 1500.5)");
    db.execute("insert into Tovar (idTovar, idGrTovar, Tovar, Price) values (812, 801, 'Фрезерный', 99.99)");
    db.execute("insert into Tovar (idTovar, idGrTovar, Tovar, Price) values (813, 802, 'Сверло \"№6\", 6,5 мм', 7.25)");
    db.execute("insert into Tovar (idTovar, idGrTovar, Tovar, Price) values (814, 802, 'Метчик', 0)");
    const QStringList goodsSql = {
        "select g.GrTovar, t.Tovar, t.Price from Tovar t join GrTovar g on g.idGrTovar = t.idGrTovar",
        "order by g.GrTovar, t.Tovar"};
    auto snapshot = [&] {
        fw::Query q(&db);
        q.setSql(goodsSql);
        q.open();
        QStringList rows;
        for (; !q.eof(); q.next())
            rows << q.fieldByName("GrTovar").asString() + "|" + q.fieldByName("Tovar").asString() + "|" +
                        q.fieldByName("Price").value().asCurrency().toString(2);
        return rows;
    };
    const QStringList before = snapshot();

    fw::Query qry(&db);
    qry.setSql(goodsSql);
    fw::DataSource ds;
    ds.setDataSet(&qry);
    fw::DBGrid grid;
    grid.setDataSource(&ds);
    grid.setColumns({{"GRTOVAR", "Группа"}, {"TOVAR", "Товар"}, {"PRICE", "Цена"}});
    qry.open();
    const QString file = dir.filePath("exported.txt");
    {
        TExportDBGrid exporter;
        exporter.SetFileName(file);
        exporter.SetExportType(TExport::TextFile);
        exporter.BeginExport();
        exporter.WriteTitles(&grid, {0, 1, 2}, "");
        exporter.NewLine();
        for (qry.first(); !qry.eof(); qry.next()) {
            exporter.WriteRecord(&grid, {0, 1, 2}, false);
            exporter.NewLine();
        }
        exporter.EndExport();
    }
    qry.close();

    db.execute("delete from Tovar");
    db.execute("delete from GrTovar where idGrTovar <> 0");
    auto import = [&] {
        goods();
        runWizard([&](TSpravImportForm& f) {
            toImportPage(f, file);
            dialogs.expectInformation("Импорт справочника успешно завершен.");
            f.btnNext->click();
            EXPECT_EQ(f.lblCount->text(), "4");
        });
    };
    import();
    EXPECT_EQ(snapshot(), before);

    // A second run finds every row as it is and writes nothing.
    const int keys = count("select max(idTovar) from Tovar");
    import();
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(count("select max(idTovar) from Tovar"), keys);
}

using testing_support::writeBytes;

// Every line is read before the first row is written: a character the
// database cannot hold stops the import with nothing written.
TEST_F(GoodsImport, TextTheDatabaseCannotHoldIsRefusedWithNothingWritten)
{
    const QString file = writeBytes(
        dir, "kz.txt", QString("Группа\tТовар\tЦена\r\nПосуда\tЧашка\t10\r\nПосуда\tТОО Қазына\t20\r\n").toUtf8());
    goods();
    runWizard([&](TSpravImportForm& f) {
        const QString message = importFailing(f, file);
        for (const char* part : {"строка 3", "столбец 2 (\"Товар\")", "U+049A"})
            EXPECT_TRUE(message.contains(part)) << message.toStdString();
        EXPECT_EQ(f.lblCount->text(), "0");
        dialogs.expectConfirm(true, "Закрыть импорт справочника?");
        f.reject();
    });
    EXPECT_EQ(count("select count(*) from GrTovar where GrTovar = 'Посуда'"), 0);
    EXPECT_EQ(count("select count(*) from Tovar where Tovar = 'Чашка'"), 0);
}

// A long file: the wizard takes its events while the lines are written and
// shows how far it is; closing it meanwhile stops the import after its line.
// What was written stays, and the count told is the count written.
TEST_F(GoodsImport, ALongImportShowsItsProgressAndStopsWhenClosed)
{
    Lines lines;
    for (int i = 0; i < 3000; ++i)
        lines << QStringList{"Группа " + QString::number(i / 100), "Товар " + QString::number(i), "1"};
    const QString file = writeFile("long.txt", lines);
    goods();
    int progress = -1;
    runWizard([&](TSpravImportForm& f) {
        toImportPage(f, file);
        // Fires only while the import lets the window take its events.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (f.lblCount->text().toInt() < 50) return;
            closer.stop();
            progress = f.pb->value();
            EXPECT_FALSE(f.btnNext->isEnabled());
            dialogs.expectConfirm(true, "Закрыть импорт справочника?").expectInformation();
            QTest::keyClick(&f, Qt::Key_Escape);
        });
        closer.start(5);
        f.btnNext->click();
        EXPECT_FALSE(f.isVisible());
    });
    EXPECT_GE(progress, 50);
    ASSERT_FALSE(dialogs.shown().isEmpty());
    const QString told = dialogs.shown().last().text;
    const int written = count("select count(*) from Tovar where Tovar starting with 'Товар '");
    EXPECT_LT(written, 3000);
    EXPECT_EQ(told, QString("Импорт справочника остановлен. Обработано строк: %1.").arg(written));
}

// Names longer than their column are cut to it, and the closing message counts them.
TEST_F(GoodsImport, ValuesCutToTheirColumnAreCountedInTheClosingMessage)
{
    const QString file = writeFile("long-names.txt", {{QString(60, QChar(0x0416)), QString(120, QChar(0x0411)), "5"},
                                                      {"Посуда", "Чашка", "10"}});
    goods();
    runWizard([&](TSpravImportForm& f) {
        toImportPage(f, file);
        dialogs.expectInformation("Импорт справочника завершен. Обработано строк: 2.\r"
                                  "Значений, обрезанных по длине поля: 2 (Группа товара: 1, Товар: 1).");
        f.btnNext->click();
    });
    EXPECT_EQ(price(QString(50, QChar(0x0416)), QString(100, QChar(0x0411))), "5.00");
}

TEST_F(GoodsImport, EmptyFileHeaderAloneAndEmptyLinesAtTheEnd)
{
    goods();
    const QString empty = writeBytes(dir, "empty.txt", "\r\n\r\n");
    const QString headerOnly = writeBytes(dir, "header.txt", fw::toCp1251("Группа\tТовар\tЦена\r\n\r\n"));
    const QString trailing =
        writeBytes(dir, "trailing.txt", fw::toCp1251("Группа\tТовар\tЦена\r\nПосуда\tЧашка\t10\r\n\r\n\r\n"));
    runWizard([&](TSpravImportForm& f) {
        f.edFile->setText(empty);
        dialogs.expectError(QString("Файл \"%1\" пуст.").arg(empty));
        f.btnNext->click();
        EXPECT_EQ(f.pc->currentWidget(), f.tsFile);

        // A header and nothing else: nothing is said to be imported.
        f.edFile->setText(headerOnly);
        f.btnNext->click();
        linkAll(f);
        f.btnNext->click();
        dialogs.expectError(QString("В файле \"%1\" нет строк для импорта.").arg(headerOnly));
        f.btnNext->click();
        EXPECT_EQ(f.pc->currentWidget(), f.tsImport);

        f.btnBack->click();
        f.btnBack->click();
        f.edFile->setText(trailing);
        f.btnNext->click();
        linkAll(f);
        f.btnNext->click();
        dialogs.expectInformation("Импорт справочника успешно завершен.");
        f.btnNext->click();
        EXPECT_EQ(f.lblCount->text(), "1");
    });
    EXPECT_EQ(price("Посуда", "Чашка"), "10.00");
}
