#include "reports/ClientImport.h"
#include "reports/fmExportConCount.h"
#include "reports/fmImport.h"

#include "clients/ClientFixture.h"
#include "clients/fmKlient.h"
#include "controls/DrawGrid.h"
#include "core/ModuleWindows.h"
#include "core/fmMain.h"
#include "core/SharedProcs.h"
#include "core/schema/Schema.h"
#include "db/CodePage.h"
#include "os/TsvFile.h"
#include "support/ExportDialogs.h"
#include "support/RawFile.h"
#include "widgets/DBGrid.h"
#include "widgets/ScriptedDialogs.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QScopeGuard>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using testing_support::keepColumns;
using testing_support::chooseTextFile;
using testing_support::whenShown;

namespace {

TEST(ClientImportValues, QuotesAreUndoubledAndTextsCutByCharacters)
{
    EXPECT_EQ(PrepareStringValue("ООО \"\"Ромашка\"\"", 100), "ООО \"Ромашка\"");
    EXPECT_EQ(PrepareStringValue("\"\"\"\"", 0), "\"");
    EXPECT_EQ(PrepareStringValue("\"", 10), "\"");
    EXPECT_EQ(PrepareStringValue("Ромашка", 3), "Ром");
    // A character outside the basic plane is never cut in half.
    EXPECT_EQ(PrepareStringValue(QString::fromUcs4(U"ab\U0001F600"), 3), "ab");
}

TEST(ClientImportValues, DistinctFileValuesIgnoreLetterCase)
{
    TImportValues v;
    for (const char* s : {"Москва", "авто", "Авто", "москва", "Бийск"}) v.Add(s);
    ASSERT_EQ(v.Count(), 3);
    EXPECT_EQ(v[0].Value, "авто");
    EXPECT_EQ(v[1].Value, "Бийск");
    EXPECT_EQ(v.IndexOf("МОСКВА"), 2);
    EXPECT_EQ(v.IndexOf("Тула"), -1);
    EXPECT_EQ(v[2].SysIndex, -1);
}

TEST(ClientImportValues, LineChecksNameCountsDatesAndLine)
{
    try {
        CheckValueCount(3, 2, 4);
        FAIL() << "no error";
    } catch (const fw::UserError& e) {
        EXPECT_EQ(e.message(), "Обнаружено несоотвествие количества значений в файле!\r"
                               "Значений должно быть - 3\rЗначений обнаружено - 2\rОшибка в строке файла - 4");
    }
    EXPECT_EQ(ImportDateValue("05.03.2024 14:30:00", 2), QDateTime(QDate(2024, 3, 5), QTime(14, 30)));
    EXPECT_EQ(ImportDateValue("5.3.2024", 2), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    TImportField date;
    date.DataType = idtDateTime;
    date.FileIndex = 1;
    EXPECT_NO_THROW(CheckImportLine({date}, 2, {"x", ""}, 2));
    try {
        CheckImportLine({date}, 2, {"x", "31.02.2024"}, 7);
        FAIL() << "no error";
    } catch (const fw::UserError& e) {
        EXPECT_EQ(e.message(), "Неверная дата \"31.02.2024\" в строке файла - 7");
    }
}

// The clients window of a logged-in user with the right to import, and its import wizard.
class ImportWizard : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    QTemporaryDir dir;
    TfmKlient* kl = nullptr;
    TfmImport* w = nullptr;
    int moscow = 0, kazan = 0, adverts = 0;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        Grant({1032, 1054});
        dm->qryMain.open();
        db.execute("delete from Contacts");
        db.execute("delete from Customer");
        // Users of earlier tests would make the curators' names ambiguous.
        db.execute("delete from Users where idUser <> 0 and idUser <> :a and idUser <> :b",
                   {{"a", me.IdUser}, {"b", colleague.IdUser}});
        db.execute("delete from Region where idRegion <> 0");
        db.execute("delete from Reklama where idReklama <> 0");
        moscow = addRow("Region", "idRegion", "Region", "Москва");
        kazan = addRow("Region", "idRegion", "Region", "Казань");
        adverts = addRow("Reklama", "idReklama", "Reklama", "Авто");
        dialogs.expectConfirm(false, "Проверить невыполненные планы?");
        kl = new TfmKlient;
    }
    void TearDown() override
    {
        delete fmImport.data();
        delete kl;
        LoggedInTest::TearDown();
    }
    int addRow(const QString& table, const QString& key, const QString& name, const QString& value)
    {
        const int id = db.selectValue(QString("select coalesce(max(%1), 0) + 1 from %2").arg(key, table)).asInt();
        db.execute(QString("insert into %1 (%2, %3) values (:k, :v)").arg(table, key, name), {{"k", id}, {"v", value}});
        return id;
    }
    QString file(const QString& name, const QString& text, const QByteArray& encoding = "cp1251")
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QString crlf = text;
        crlf.replace("\n", "\r\n");
        if (encoding == "cp1251") f.write(fw::toCp1251(crlf));
        else if (encoding == "bom") f.write("\xEF\xBB\xBF" + crlf.toUtf8());
        else f.write(crlf.toUtf8());
        return path;
    }
    void open()
    {
        ASSERT_TRUE(kl->mmiImport->isEnabled());
        kl->mmiImport->trigger();
        w = fmImport;
        ASSERT_TRUE(w);
        w->resize(640, 480);
        w->show();
    }
    // From the file page to the fields page.
    void toFields(const QString& path, int contacts)
    {
        w->edFile->setText(path);
        w->seContactCount->setValue(contacts);
        w->btnNext->click();
        ASSERT_EQ(w->pc->currentWidget(), w->tsFields);
    }
    void autoLinkFields()
    {
        dialogs.expectConfirm(true, "Установить связи автоматически?");
        w->btnSetFieldLinks->click();
    }
    // Every reference page's values linked by "Авто".
    void autoLinkValues()
    {
        ASSERT_EQ(w->pc->currentWidget(), w->tsValues);
        for (int i = 0; i < w->cbSprav->count(); ++i) {
            w->cbSprav->setCurrentIndex(i);
            dialogs.expectConfirm(true, "Установить связи для данного справочника автоматически?");
            w->btnSetValueLinks->click();
        }
    }
    void importAndClose(const QString& done = "Импорт успешно завершен.")
    {
        ASSERT_EQ(w->pc->currentWidget(), w->tsImport);
        dialogs.expectInformation(done);
        dialogs.expectConfirm(true, "Закрыть импорт?");
        w->btnImport->click();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(fmImport.isNull());
    }
    const TImportField& field(const QString& caption)
    {
        for (const TImportField& f : w->Fields)
            if (f.Caption == caption) return f;
        ADD_FAILURE() << "no field " << caption.toStdString();
        static TImportField none;
        return none;
    }
    // The window as the user sees it, kept when BRONTAL_SHOTS names a folder.
    void shoot(const QString& page)
    {
        const QImage shot = w->grab().toImage();
        EXPECT_FALSE(shot.isNull());
        if (const QString out = qEnvironmentVariable("BRONTAL_SHOTS"); !out.isEmpty())
            shot.save(out + "/fmImport-" + page + ".png");
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
    QString text(const QString& sql) { return db.selectValue(sql).asString(); }
};

TEST_F(ImportWizard, FieldsComeFromTheGridsAndClientTitlesLinkInAnyCase)
{
    open();
    EXPECT_EQ(w->windowTitle(), "Импорт клиентов");
    // The payment flags are no import fields; references import their keys.
    QStringList names;
    for (const TImportField& f : w->Fields) names << f.FieldName;
    EXPECT_EQ(names, (QStringList{"DATECR", "COMPANY", "FAX", "ADDRESS", "CITY", "idUser", "idCountry", "idRegion",
                                  "idReklama", "idReklama2", "idSegment", "idSegment2", "idPersp", "OTHER"}));
    EXPECT_EQ(w->ContactFields.size(), 8);
    EXPECT_EQ(w->ContactFields[5].FieldName, "idUser");
    EXPECT_TRUE(w->ContactFields[5].IsLookup);

    QStringList titles;
    for (int i = 0; i < kl->dbgCust->columnCount(); ++i) titles << kl->dbgCust->columnTitle(i).toUpper();
    toFields(file("upper.txt", titles.join('\t') + "\n"), 2);
    EXPECT_EQ(w->Fields.size(), 14 + 2 * 8);
    EXPECT_EQ(w->Fields[14].Caption, "1Контактное лицо");
    EXPECT_EQ(w->Fields[22].Caption, "2Контактное лицо");
    EXPECT_EQ(w->dgFields->RowCount(), 31);
    autoLinkFields();
    for (int i = 0; i < 14; ++i) EXPECT_EQ(w->Fields[i].FileField, titles[titles.indexOf(w->Fields[i].Caption.toUpper())]);
    EXPECT_FALSE(w->Fields[14].Linked());

    // Going back warns that the links are lost; No stays.
    dialogs.expectConfirm(false, "Внимание!\rУстановленные связи будут потеряны\rПродолжить?");
    w->btnBack->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFields);
    dialogs.expectConfirm(true);
    w->btnBack->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFile);
    EXPECT_EQ(w->Fields.size(), 14);
}

TEST_F(ImportWizard, PickListLinksAColumnAndTheEmptyLineUnlinks)
{
    open();
    toFields(file("pick.txt", "Название\tТелефон фирмы\nАльфа\t111\n"), 1);
    QTest::qWait(10);
    TBrDrawGrid* g = w->dgFields;
    g->MoveTo(1, 2);   // "Компания"
    auto* editor = static_cast<TBrInplaceEdit*>(g->InplaceEditor());
    ASSERT_TRUE(editor && editor->isVisible());
    EXPECT_EQ(editor->EditStyle(), iePickList);
    QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(editor->ListVisible());
    EXPECT_EQ(editor->PickList()->count(), 3);
    QTest::keyClick(editor, Qt::Key_Down);   // the open list takes the keys
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(editor->text(), "Название");
    g->MoveTo(1, 3);
    EXPECT_EQ(field("Компания").FileField, "Название");
    EXPECT_EQ(field("Компания").FileIndex, 0);

    // Text that is no column is ignored; the empty line unlinks.
    g->MoveTo(1, 2);
    editor->setText("Нет такого");
    g->MoveTo(1, 3);
    EXPECT_EQ(field("Компания").FileField, "Название");
    g->MoveTo(1, 2);
    editor->setText("");
    g->MoveTo(1, 3);
    EXPECT_FALSE(field("Компания").Linked());

    // Nothing linked: the next step refuses.
    dialogs.expectError("Связи не установлены!");
    w->btnNext->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFields);

    shoot("fields");
}

TEST_F(ImportWizard, LineRulesForBlocksDefaultsReferencesAndQuotes)
{
    const QString path =
        file("rules.txt", "Компания\tРегион\tИсточник\tРегистрация\t1Контактное лицо\t1Телефон\t"
                          "2Контактное лицо\t2Телефон\t3Контактное лицо\t3Телефон\n"
                          "ООО \"\"Ромашка\"\"\tмосква\tавто\t\tОрлов\t111\t\t\tБелова\t333\n"
                          "Бета\tТверь\tавто\t15.02.2024\t\t\t\t\t\t\n");
    open();
    toFields(path, 3);
    autoLinkFields();
    dialogs.expectInformation("Были установлены связи со справочниками системы.\r"
                              "Сейчас будут считаны соответствующие справочники из файла.\r"
                              "Это может занять некоторое время.");
    w->btnNext->click();
    ASSERT_EQ(w->pc->currentWidget(), w->tsValues);
    ASSERT_EQ(w->cbSprav->count(), 2);
    EXPECT_EQ(w->cbSprav->itemText(0), "Регион");
    EXPECT_EQ(w->RecordCount, 2);
    EXPECT_EQ(w->dgValues->RowCount(), 3);   // "москва", "Тверь" under the titles
    autoLinkValues();
    w->cbSprav->setCurrentIndex(0);
    shoot("values");
    EXPECT_EQ(field("Регион").FileValues[0].SysIndex, field("Регион").SysNames.indexOf("Москва"));
    EXPECT_EQ(field("Регион").FileValues[1].SysIndex, -1);
    EXPECT_EQ(field("Источник").SysNames.value(field("Источник").FileValues[0].SysIndex), "Авто");

    w->btnNext->click();   // checked while the values were read: no second pass
    EXPECT_EQ(w->lblAllCount->text(), "2");
    EXPECT_EQ(w->pb->maximum(), 2);
    EXPECT_TRUE(w->btnImport->isEnabled());
    EXPECT_FALSE(w->btnNext->isEnabled());
    shoot("import");
    importAndClose();

    const QDate today = QDate::currentDate();
    ASSERT_EQ(count("select count(*) from Customer"), 2);
    const int romashka = count("select idCust from Customer where Company = 'ООО \"Ромашка\"'");
    ASSERT_GT(romashka, 0);
    EXPECT_EQ(count(QString("select idRegion from Customer where idCust = %1").arg(romashka)), moscow);
    EXPECT_EQ(count(QString("select idReklama from Customer where idCust = %1").arg(romashka)), adverts);
    // Unlinked: the curator is the current user, other references 0, texts null.
    EXPECT_EQ(count(QString("select idUser from Customer where idCust = %1").arg(romashka)), me.IdUser);
    EXPECT_EQ(count(QString("select idCountry + idPersp + idSegment from Customer where idCust = %1").arg(romashka)), 0);
    EXPECT_EQ(count(QString("select count(*) from Customer where idCust = %1 and Fax is null and City is null")
                        .arg(romashka)),
              1);
    EXPECT_EQ(db.selectValue(QString("select DateCr from Customer where idCust = %1").arg(romashka)).asDateTime(),
              QDateTime(today, QTime(0, 0)));
    // An unlinked file value takes the default.
    EXPECT_EQ(count("select idRegion from Customer where Company = 'Бета'"), 0);
    EXPECT_EQ(db.selectValue("select DateCr from Customer where Company = 'Бета'").asDateTime().date(),
              QDate(2024, 2, 15));

    // The empty second block adds no contact; unlinked contact texts are empty, not null.
    EXPECT_EQ(count(QString("select count(*) from Contacts where idCust = %1").arg(romashka)), 2);
    EXPECT_EQ(count("select count(*) from Contacts c join Customer k on k.idCust = c.idCust where k.Company = 'Бета'"),
              0);
    EXPECT_EQ(count(QString("select count(*) from Contacts where idCust = %1 and Contact_Title = '' "
                            "and Contact_Email = '' and idUser = %2")
                        .arg(romashka)
                        .arg(me.IdUser)),
              2);
    EXPECT_EQ(text("select Contact_Phone from Contacts where Contact_Name = 'Белова'"), "333");
    EXPECT_EQ(db.selectValue("select DateCr from Contacts where Contact_Name = 'Орлов'").asDateTime(),
              QDateTime(today, QTime(0, 0)));
}

TEST_F(ImportWizard, EveryLineIsCheckedBeforeTheFirstInsert)
{
    open();
    toFields(file("count.txt", "Компания\tГород\tФакс\nАльфа\tМосква\t1\nБета\tТула\n"), 1);
    autoLinkFields();
    dialogs.expectInformation("Сейчас Brontal призведет проверку структуры файла.\rЭто может занять некоторое время.");
    dialogs.expectError("Обнаружено несоотвествие количества значений в файле!\r"
                        "Значений должно быть - 3\rЗначений обнаружено - 2\rОшибка в строке файла - 3");
    w->btnNext->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFields);
    EXPECT_EQ(w->RecordCount, 0);
    EXPECT_EQ(count("select count(*) from Customer"), 0);

    // An unreadable date is refused with its value and line instead of taking another line's.
    dialogs.expectConfirm(true);
    w->btnBack->click();
    toFields(file("date.txt", "Компания\tРегистрация\nАльфа\t01.02.2024\nБета\t2024-02-01\n"), 1);
    autoLinkFields();
    dialogs.expectInformation();
    dialogs.expectError("Неверная дата \"2024-02-01\" в строке файла - 3");
    w->btnNext->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFields);
    EXPECT_EQ(count("select count(*) from Customer"), 0);
}

// Nothing the database cannot hold gets past the check, so nothing is written.
TEST_F(ImportWizard, TextTheDatabaseCannotHoldIsRefusedBeforeTheFirstInsert)
{
    struct Case {
        const char* name;
        QString text;
        QByteArray encoding;
        QStringList said;
    };
    const QList<Case> cases{
        {"kz.txt", "Компания\tГород\nООО Ёлка\tАстана\nТОО Қазына\tАлматы\n₽\tТула\n", "utf8",
         {"строка 3, столбец 1 (\"Компания\")", "U+049A «Қ»", "нельзя сохранить в базе данных"}},
        {"nul.txt", QString("Компания\tГород\nАльфа\tМос") + QChar(0) + "ква\n", "cp1251",
         {"строка 2, столбец 2 (\"Город\")", "нулевой байт"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open();
        toFields(file(c.name, c.text, c.encoding), 1);
        autoLinkFields();
        dialogs.expectInformation();
        dialogs.expectError();
        w->btnNext->click();
        const QString said = dialogs.shown().last().text;
        for (const QString& part : c.said) EXPECT_TRUE(said.contains(part)) << said.toStdString();
        EXPECT_EQ(w->pc->currentWidget(), w->tsFields);
        EXPECT_EQ(count("select count(*) from Customer"), 0);
        dialogs.expectConfirm(true, "Закрыть импорт?");
        w->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A file that is no text at all, without a single TAB: refused when it is opened.
    QByteArray binary;
    for (int i = 0; i < 3000; ++i) binary += char((i * 7 + i / 256) % 256 == 9 ? 0 : (i * 7 + i / 256) % 256);
    open();
    w->edFile->setText(testing_support::writeBytes(dir, "picture.bin", binary));
    dialogs.expectError();
    w->btnNext->click();
    EXPECT_TRUE(dialogs.shown().last().text.contains("файл не текстовый")) << dialogs.shown().last().text.toStdString();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFile);
    EXPECT_EQ(count("select count(*) from Customer"), 0);
}

TEST_F(ImportWizard, EmptyLinesAtTheEndAndSpacesAroundTitlesAreNoObstacle)
{
    open();
    // Lines of TABs alone at the end are a spreadsheet's empty rows, no clients.
    toFields(file("padded.txt", " Компания \t Город\nАльфа\tМосква\nБета\tТула\n\n\t\n\t\r\n\n"), 1);
    autoLinkFields();
    EXPECT_EQ(field("Компания").FileField, " Компания ");
    EXPECT_EQ(field("Город").FileField, " Город");
    dialogs.expectInformation();
    w->btnNext->click();
    EXPECT_EQ(w->lblAllCount->text(), "2");
    importAndClose();
    EXPECT_EQ(count("select count(*) from Customer"), 2);
    EXPECT_EQ(text("select City from Customer where Company = 'Бета'"), "Тула");
}

// A text cut to its column is counted in the closing message, never under a bare "done".
TEST_F(ImportWizard, ValuesCutToTheirColumnAreCountedAtTheEnd)
{
    open();
    const QString company = QString(300, QChar(0x0416)), city = QString(300, QChar(0x0413));
    toFields(file("long.txt", "Компания\tГород\n" + company + "\t" + city + "\nБета\t" + city + "\nГамма\tТула\n"), 1);
    autoLinkFields();
    dialogs.expectInformation();
    w->btnNext->click();
    importAndClose("Импорт завершен. Импортировано записей: 3.\r"
                   "Значений, обрезанных по длине поля: 3 (Компания: 1, Город: 2).");
    EXPECT_EQ(count("select count(*) from Customer"), 3);
    EXPECT_EQ(text("select Company from Customer where Company starting with 'ЖЖ'"), company.left(100));
}

TEST_F(ImportWizard, EmptyFileAndHeaderAloneSaySo)
{
    open();
    const QString empty = file("empty.txt", "");
    w->edFile->setText(empty);
    dialogs.expectError(QString("Файл \"%1\" пуст.").arg(empty));
    w->btnNext->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFile);

    const QString header = file("header.txt", "Компания\tГород\n");
    toFields(header, 1);
    autoLinkFields();
    dialogs.expectInformation();
    dialogs.expectError(QString("В файле \"%1\" нет строк для импорта.").arg(header));
    w->btnNext->click();
    EXPECT_EQ(w->pc->currentWidget(), w->tsFields);
    EXPECT_EQ(count("select count(*) from Customer"), 0);
}

// The counter takes at most 20 contacts a line; what a line has beyond them is counted, not hidden.
TEST_F(ImportWizard, ContactsBeyondTheCountAreReported)
{
    QStringList header{"Компания"}, full{"Альфа"}, twenty{"Бета"};
    for (int k = 1; k <= 21; ++k) {
        header << QString("%1Контактное лицо").arg(k);
        full << QString("Контакт А%1").arg(k);
        twenty << (k <= 20 ? QString("Контакт Б%1").arg(k) : QString());
    }
    open();
    toFields(file("21.txt", header.join('\t') + "\n" + full.join('\t') + "\n" + twenty.join('\t') + "\n"), 20);
    autoLinkFields();
    EXPECT_EQ(field("20Контактное лицо").FileField, "20Контактное лицо");
    dialogs.expectInformation();
    w->btnNext->click();
    importAndClose("Импорт завершен. Импортировано записей: 2.\r"
                   "Не импортировано контактных лиц сверх указанного количества (20): 1.");
    EXPECT_EQ(count("select count(*) from Customer"), 2);
    EXPECT_EQ(count("select count(*) from Contacts"), 40);
    EXPECT_EQ(count("select count(*) from Contacts where Contact_Name = 'Контакт А21'"), 0);
}

TEST_F(ImportWizard, FileEncodingsImportTheSameRows)
{
    const QString lines = "Компания\tГород\t1Контактное лицо\nООО «Ёлка»\tЧелябинск\tЩукин\n";
    for (const QByteArray enc : {"cp1251", "utf8", "bom"}) {
        SCOPED_TRACE(enc.constData());
        db.execute("delete from Contacts");
        db.execute("delete from Customer");
        open();
        toFields(file("enc-" + enc + ".txt", lines, enc), 1);
        EXPECT_EQ(w->Header.first(), "Компания");
        autoLinkFields();
        dialogs.expectInformation();
        w->btnNext->click();
        importAndClose();
        EXPECT_EQ(text("select Company from Customer"), "ООО «Ёлка»");
        EXPECT_EQ(text("select City from Customer"), "Челябинск");
        EXPECT_EQ(text("select Contact_Name from Contacts"), "Щукин");
    }
}

TEST_F(ImportWizard, ExportedClientsImportBack)
{
    addRow("Reklama", "idReklama", "Reklama", "Выставка");
    for (const char* company : {"Альфа", "Бета"}) {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, Company, Fax, City, Address, DateCr, idRegion, idCountry, "
                   "idReklama, idReklama2, idSegment, idSegment2, idPersp, Polzov, Regpolzov, Other) "
                   "values (:id, :u, :c, '+7 1', 'Город', 'Адрес', '05.03.2024 14:30', :r, 0, :a, 0, 0, 0, 2, '-', "
                   "'-', 'О ней')",
                   {{"id", id}, {"u", me.IdUser}, {"c", company}, {"r", kazan}, {"a", adverts}});
        for (const char* name : {"Орлов", "Белова"}) {
            const int c = db.executeProcedure("ID_CONTACTS").asInt();
            db.execute("insert into Contacts (idContacts, idCust, idUser, Contact_Name, Contact_Title, Contact_Dep, "
                       "Contact_Phone, Contact_Email, DateCr, Contact_Note) "
                       "values (:k, :c, :u, :n, 'Директор', 'Отдел', '111', 'a@b.ru', '01.02.2024', 'Заметка')",
                       {{"k", c}, {"c", id}, {"u", me.IdUser}, {"n", QString(name) + company}});
        }
    }
    const auto snapshot = [this] {
        QStringList rows;
        fw::Query q(&db);
        q.setSql({"select c.Company, c.Fax, c.City, c.Address, c.DateCr, c.idUser, c.idRegion, c.idReklama,",
                  "  c.idPersp, c.Other, k.Contact_Name, k.Contact_Title, k.Contact_Dep, k.Contact_Phone,",
                  "  k.Contact_Email, k.idUser, k.DateCr, k.Contact_Note",
                  "from Customer c join Contacts k on k.idCust = c.idCust order by 1, 11"});
        q.open();
        for (; !q.eof(); q.next()) {
            QStringList r;
            for (int i = 0; i < q.fieldCount(); ++i) r << q.field(i).asString();
            rows << r.join('|');
        }
        return rows;
    };
    const QStringList before = snapshot();
    ASSERT_EQ(before.size(), 4);

    // The list page's export with three contact groups.
    kl->ShowMyClients();
    const QString exported = dir.filePath("export.txt");
    dialogs.expectConfirm(true, "Включить в экспорт контактные лица?");
    whenShown<TfmExportConCount>([](TfmExportConCount* d) {
        d->seCount->setValue(3);
        d->btnOK->click();
    });
    keepColumns({"Компания", "Контактные лица"});
    chooseTextFile(exported);
    dialogs.expectInformation("Экспорт успешно завершен.");
    kl->tbCustExport->click();
    ASSERT_TRUE(QFile::exists(exported));

    db.execute("delete from Contacts");
    db.execute("delete from Customer");

    open();
    toFields(exported, 3);
    autoLinkFields();
    // Everything but the payment flags the file does not carry is linked.
    for (const TImportField& f : w->Fields) EXPECT_TRUE(f.Linked()) << f.Caption.toStdString();
    dialogs.expectInformation();
    w->btnNext->click();
    autoLinkValues();
    w->btnNext->click();
    importAndClose();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(ImportWizard, FailingLineIsRolledBackAndStopsTheImport)
{
    // The database refuses the third line's contact: its client goes with it.
    db.execute("create exception EX_CONTACT_REFUSED 'contact refused'");
    db.execute("create trigger CONTACT_REFUSED for Contacts before insert as "
               "begin if (new.Contact_Name = 'Белов') then exception EX_CONTACT_REFUSED; end");
    open();
    toFields(file("fail.txt", "Компания\t1Контактное лицо\nАльфа\tОрлов\nБета\tБелов\nГамма\tГусев\n", "utf8"), 1);
    autoLinkFields();
    dialogs.expectInformation();
    w->btnNext->click();
    dialogs.expectError();
    w->btnImport->click();
    EXPECT_TRUE(dialogs.shown().last().text.startsWith("Импорт прерван. Импортировано записей: 1.\r"
                                                       "Строка файла 3 не импортирована:"));
    EXPECT_EQ(count("select count(*) from Customer"), 1);
    EXPECT_EQ(count("select count(*) from Contacts"), 1);
    EXPECT_EQ(text("select Company from Customer"), "Альфа");
    // The lines before stay; a second click cannot import them twice.
    EXPECT_FALSE(w->btnImport->isEnabled());
    EXPECT_TRUE(w->btnBack->isEnabled());
}

TEST_F(ImportWizard, ClosingAsksExceptOnTheFirstPageAndStopsARunningImport)
{
    open();
    w->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(fmImport.isNull());

    QString lines = "Компания\t1Контактное лицо\n";
    for (int i = 1; i <= 300; ++i) lines += QString("Клиент %1\tКонтакт %1\n").arg(i);
    const QString path = file("long.txt", lines);
    open();
    toFields(path, 1);
    dialogs.expectConfirm(false, "Закрыть импорт?");
    w->btnCancel->click();
    EXPECT_FALSE(fmImport.isNull());
    autoLinkFields();
    dialogs.expectInformation();
    w->btnNext->click();

    // A close while the import runs stops it after a whole line and then closes.
    dialogs.expectConfirm(true, "Закрыть импорт?");
    dialogs.expectInformation();
    QTimer::singleShot(0, w, [this] {
        EXPECT_TRUE(w->Importing());
        EXPECT_FALSE(w->btnBack->isEnabled());
        w->btnCancel->click();
    });
    w->btnImport->click();
    const QString said = dialogs.shown().last().text;
    ASSERT_TRUE(said.startsWith("Импорт остановлен. Импортировано записей: ")) << said.toStdString();
    const int imported = said.mid(said.lastIndexOf(' ') + 1).chopped(1).toInt();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(fmImport.isNull());
    EXPECT_GT(imported, 0);
    EXPECT_LT(imported, 300);
    EXPECT_EQ(count("select count(*) from Customer"), imported);
    EXPECT_EQ(count("select count(*) from Contacts"), imported);
}

// "Выход" while an import runs, answered "Да": the import stops after a whole
// line, and then the program closes as it promised.
TEST_F(ImportWizard, ExitDuringAnImportStopsItAndThenClosesTheProgram)
{
    fmMain = new TfmMain;
    QPointer<TfmMain> main = fmMain.data();
    QPointer<TfmKlient> klient = kl;
    const auto cleanup = qScopeGuard([&] {
        delete main.data();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!klient) kl = nullptr;
    });
    main->ShowMDIChild(kl);

    QString lines = "Компания\t1Контактное лицо\n";
    for (int i = 1; i <= 10000; ++i) lines += QString("Клиент %1\tКонтакт %1\n").arg(i);
    const QString path = file("10000.txt", lines);
    open();
    ASSERT_TRUE(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    toFields(path, 1);
    autoLinkFields();
    dialogs.expectInformation();
    w->btnNext->click();
    ASSERT_EQ(w->lblAllCount->text(), "10000");

    dialogs.expectConfirm(true, "Закрыть импорт?");
    dialogs.expectInformation();
    QTimer::singleShot(0, main, [&] {
        EXPECT_TRUE(w->Importing());
        main->mmiExit->trigger();
    });
    w->btnImport->click();
    const QString said = dialogs.shown().last().text;
    ASSERT_TRUE(said.startsWith("Импорт остановлен. Импортировано записей: ")) << said.toStdString();
    const int imported = said.mid(said.lastIndexOf(' ') + 1).chopped(1).toInt();
    QTest::qWait(20);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(main.isNull());
    EXPECT_TRUE(fmImport.isNull());
    EXPECT_TRUE(klient.isNull());
    EXPECT_FALSE(dm->db.connected());
    EXPECT_GT(imported, 0);
    EXPECT_LT(imported, 10000);
    EXPECT_EQ(count("select count(*) from Customer"), imported);
    EXPECT_EQ(count("select count(*) from Contacts"), imported);
}

// Two users on the server: each line is committed on its own, so another
// attachment sees the clients arrive one line at a time, each with its contacts.
TEST(ClientImportServer, EachLineIsCommittedWithItsContacts)
{
    if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server";
    const fw::ConnectParams p = testing_support::createServerDatabase("client-import");
    fw::Database importer(p), other(p);
    importer.connect();
    schema::createObjects(importer);
    other.connect();

    QTemporaryDir dir;
    const QString path = dir.filePath("two.txt");
    {
        fw::TsvWriter out(path);
        for (const char* v : {"Компания", "1Контактное лицо", "2Контактное лицо"}) out.writeValue(v);
        out.newLine();
        for (const char* v : {"Альфа", "Орлов", "Белова"}) out.writeValue(v);
        out.newLine();
        for (const char* v : {"Бета", "", "Сидоров"}) out.writeValue(v);
        out.newLine();
        out.close();
    }
    TImportField company, name;
    company.FieldName = "COMPANY";
    company.DataType = idtText;
    company.Size = 100;
    company.FileIndex = 0;
    name.FieldName = "CONTACT_NAME";
    name.DataType = idtText;
    name.IsContact = true;
    TImportFields contacts{name};
    TImportFields fields{company};
    AddContactFields(fields, contacts, 2);
    fields[0].FileIndex = 0;
    fields[1].FileIndex = 1;
    fields[2].FileIndex = 2;

    TClientImport import(importer, fields, contacts, 2, 0);
    EXPECT_EQ(import.ClientSql(), (QStringList{"Insert into Customer (idCust, COMPANY)", "Values (:idCust, :COMPANY)"}));
    EXPECT_EQ(import.ContactSql(), (QStringList{"Insert into Contacts (idContacts, idCust, CONTACT_NAME)",
                                               "Values (:idContacts, :idCust, :CONTACT_NAME)"}));
    fw::TsvReader reader(path);
    QList<QPair<int, int>> seen;
    const int n = import.Run(reader, [&](int) {
        seen << qMakePair(other.selectValue("select count(*) from Customer").asInt(),
                          other.selectValue("select count(*) from Contacts").asInt());
        return true;
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(seen, (QList<QPair<int, int>>{{1, 2}, {2, 3}}));
    importer.disconnect();
    other.drop();
}

} // namespace
