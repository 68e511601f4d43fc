#include "core/CoreFixture.h"

#include "clients/KlientExport.h"
#include "clients/KlientHost.h"
#include "clients/dmKl.h"
#include "clients/fmDog.h"
#include "clients/fmExpKlDetal.h"
#include "clients/fmSegmentFind.h"
#include "controls/DBCalcEdit.h"
#include "core/Users.h"
#include "reports/SelectColumnForm.h"
#include "reports/fmExportConCount.h"
#include "reports/fmExportTo.h"

#include "db/CodePage.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/Dialogs.h"
#include "support/ExportDialogs.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <gtest/gtest.h>

namespace {

using testing_support::chooseTextFile;
using testing_support::keepColumns;
using testing_support::whenShown;

QByteArray fileBytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

std::string fileText(const QString& name)
{
    return fw::fromCp1251(fileBytes(name)).toStdString();
}

// What the clients window does around a move in the list: the card's details
// closed before, the contacts reopened after.
class CardHost : public TKlientHost {
public:
    void CloseDetails() override
    {
        for (fw::Query* q : {&dmKl->qryHist, &dmKl->qryPlan, &dmKl->qryContacts, &dmKl->qrySales,
                             &dmKl->qrySdelka, &dmKl->qryDog})
            q->close();
    }
    void OpenDetails() override
    {
        if (cardActive && !dmKl->qryCust.isEmpty()) dmKl->qryContacts.open();
    }
    bool cardActive = true;
    void ApplyHistFilter() override {}
    bool LinkNewRecordsToContact() const override { return false; }
    bool ShowOnlyCurrentContact() const override { return false; }
    bool CalendarPageActive() const override { return false; }
    void SetListPageCaption(const QString&) override {}
    void SetCalendarPageCaption(const QString&) override {}
    void StartBudilCheck() override {}
    void SetCardComboAttached(const QString&, bool) override {}
};

class KlientDialogs : public CoreDatabaseTest {
protected:
    static void SetUpTestSuite()
    {
        CoreDatabaseTest::SetUpTestSuite();
        fw::Database d;
        d.setParams(params());
        d.connect();
        // A database that refuses one contract number, for the failed save.
        d.execute("alter table Dog add constraint CK_DOG_TEST check (DogNumber is null or DogNumber <> 'BAD')");
        d.disconnect();
    }

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        UserRights = new TUsers;
        TOtdelRecord sales{-1, "Продажи"};
        UserRights->AddOtdel(sales);
        me = {-1, sales.IdOtdel, "Иванов", "", ""};
        UserRights->AddUser(me);
        CurrentUser = me;
        for (int right : {1002, 1016, 1017, 1054}) UserRights->AddPravo(me.IdUser, right);
        kl = new TdmKl(&host);

        dbgCust = grid(&kl->dsCust, {{"COMPANY", "Компания"}, {"CITY", "Город"}});
        dbgContacts = grid(&kl->dsContacts, {{"CONTACT_NAME", "Имя"}, {"CONTACT_PHONE", "Телефон"}});
        dbgHist = grid(&kl->dsHist, {{"NOTE", "Содержание"}});
        dbgDog = grid(&kl->dsDog, {{"DOGNUMBER", "Номер договора"}, {"SKIDKA", "Скидка"}});
        fileName = dir.filePath("out.txt");
    }

    void TearDown() override
    {
        delete fmExpKlDetal.data();
        grids.clear();
        delete kl;
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        QLocale::setDefault(QLocale::c());
        CoreDatabaseTest::TearDown();
    }

    fw::DBGrid* grid(fw::DataSource* src, const QList<fw::GridColumn>& columns)
    {
        auto g = std::make_unique<fw::DBGrid>();
        g->setDataSource(src);
        g->setColumns(columns);
        grids.push_back(std::move(g));
        return grids.back().get();
    }

    int addClient(const QString& company, const QString& city = {})
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company, city) values (:id, :u, :c, :city)",
                   {{"id", id}, {"u", me.IdUser}, {"c", company}, {"city", city.isEmpty() ? fw::Value() : city}});
        return id;
    }
    void addContact(int idCust, const QString& name, const QString& phone)
    {
        db.execute("insert into contacts (idContacts, idCust, idUser, contact_name, contact_phone) "
                   "values (:id, :c, :u, :n, :p)",
                   {{"id", db.executeProcedure("ID_CONTACTS").asInt()}, {"c", idCust}, {"u", me.IdUser},
                    {"n", name}, {"p", phone}});
    }
    void addHist(int idCust, const QString& note)
    {
        db.execute("insert into history (idHist, idCust, idUser, DateCr, History, Note, Access) "
                   "values (:id, :c, :u, :d, '+', :n, '+')",
                   {{"id", db.executeProcedure("ID_HIST").asInt()}, {"c", idCust}, {"u", me.IdUser},
                    {"d", QDateTime(QDate(2024, 5, 6), QTime(10, 0))}, {"n", note}});
    }
    void addDog(int idCust, const QString& number, double skidka)
    {
        db.execute("insert into Dog (idDog, idCust, idUser, DogNumber, Skidka, Access) "
                   "values (:id, :c, :u, :n, :s, '+')",
                   {{"id", db.executeProcedure("ID_DOG").asInt()}, {"c", idCust}, {"u", me.IdUser},
                    {"n", number}, {"s", skidka}});
    }
    void openClients(const QList<int>& ids)
    {
        QStringList keys;
        for (int id : ids) keys << QString::number(id);
        kl->qryCust.setSql({"select *", "from Customer", "where idCust in (" + keys.join(',') + ")",
                            "order by idCust"});
        kl->qryCust.open();
    }
    QString stored(const QString& sql) { return db.selectValue(sql).asString(); }

    CardHost host;
    fw::ScriptedDialogs dialogs;
    TdmKl* kl = nullptr;
    TUserRecord me;
    std::vector<std::unique_ptr<fw::DBGrid>> grids;
    fw::DBGrid* dbgCust = nullptr;
    fw::DBGrid* dbgContacts = nullptr;
    fw::DBGrid* dbgHist = nullptr;
    fw::DBGrid* dbgDog = nullptr;
    QTemporaryDir dir;
    QString fileName;
};

} // namespace

TEST_F(KlientDialogs, ClientListWithContactsFillsEveryGroup)
{
    const int alfa = addClient("Альфа", "Москва");
    addContact(alfa, "Орлов", "111");
    addContact(alfa, "Белова", "222");
    const int beta = addClient("Бета", "Тула");
    addContact(beta, "Сидоров", "333");
    const int gamma = addClient("Гамма");
    // Exported from the list page: the contacts have never been opened.
    host.cardActive = false;
    openClients({alfa, beta, gamma});
    kl->qryCust.last();
    ASSERT_FALSE(kl->qryContacts.active());

    dialogs.expectConfirm(true, "Включить в экспорт контактные лица?");
    whenShown<TfmExportConCount>([](TfmExportConCount* d) {
        EXPECT_EQ(d->seCount->value(), 5);
        d->seCount->setValue(3);
        d->btnOK->click();
    });
    keepColumns({"Компания", "Контактные лица"});
    chooseTextFile(fileName);
    dialogs.expectInformation("Экспорт успешно завершен.");
    ExportKlientList(dbgCust, dbgContacts, [this] {
        host.cardActive = true;
        host.OpenDetails();
    });

    // A client with fewer contacts than asked for gets empty cells, one per column.
    EXPECT_EQ(fileBytes(fileName), fw::toCp1251("Компания\tГород\t1Имя\t1Телефон\t2Имя\t2Телефон\t3Имя\t3Телефон\r\n"
                                                "Альфа\tМосква\tОрлов\t111\tБелова\t222\t\t\r\n"
                                                "Бета\tТула\tСидоров\t333\t\t\t\t\r\n"
                                                "Гамма\t\t\t\t\t\t\t\r\n"));
    EXPECT_TRUE(kl->qryContacts.active());
    EXPECT_EQ(kl->qryCust.fieldByName("Company").asString(), "Гамма");   // the user's row again
    EXPECT_FALSE(kl->qryCust.controlsDisabled());
    EXPECT_FALSE(kl->qryContacts.controlsDisabled());

    // Without contacts it is the plain list; a cancelled count ends it silently.
    QFile::remove(fileName);
    dialogs.expectConfirm(false);
    keepColumns({"Компания"});
    chooseTextFile(fileName);
    dialogs.expectInformation();
    ExportKlientList(dbgCust, dbgContacts);
    EXPECT_EQ(fileBytes(fileName), fw::toCp1251("Компания\tГород\r\nАльфа\tМосква\r\nБета\tТула\r\nГамма\t\r\n"));

    dialogs.expectConfirm(true);
    whenShown<TfmExportConCount>([](TfmExportConCount* d) { d->btnCancel->click(); });
    ExportKlientList(dbgCust, dbgContacts);
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(KlientDialogs, ContactExportThatFailsIsNotDoneAndResumesTheDisplay)
{
    openClients({addClient("Альфа")});
    dialogs.expectConfirm(true);
    whenShown<TfmExportConCount>([](TfmExportConCount* d) { d->btnOK->click(); });
    keepColumns({"Компания", "Контактные лица"});
    chooseTextFile(dir.filePath("no/such/folder/out.txt"));
    EXPECT_THROW(ExportKlientList(dbgCust, dbgContacts), fw::Error);
    EXPECT_FALSE(kl->qryCust.controlsDisabled());
    EXPECT_FALSE(kl->qryContacts.controlsDisabled());

    kl->qryCust.close();
    ExportKlientList(dbgCust, dbgContacts);   // no client list: no question at all
}

TEST_F(KlientDialogs, DetailedExportWritesOnlySectionsWithRows)
{
    const int alfa = addClient("Альфа", "Москва");
    addContact(alfa, "Орлов", "111");
    addContact(alfa, "Белова", "222");
    addDog(alfa, "Д-1", 2.5);
    const int beta = addClient("Бета", "Тула");
    addHist(beta, "Звонок");
    openClients({alfa, beta});
    const TKlientDetalGrids grids{dbgCust, dbgHist, nullptr, dbgContacts, nullptr, nullptr, dbgDog};
    QWidget owner;

    // The current client only; Альфа has no history, so no "История" line at all.
    whenShown<TfmExpKlDetal>([](TfmExpKlDetal* d) {
        EXPECT_EQ(d->windowTitle(), "Детальный экспорт клиента");
        EXPECT_TRUE(d->cbKar->isChecked());
        d->cbKar->click();
        EXPECT_FALSE(d->btnOK->isEnabled());
        for (QCheckBox* cb : {d->cbKar, d->cbHist, d->cbContacts, d->cbDog}) cb->click();
        EXPECT_TRUE(d->btnOK->isEnabled());
        d->btnOK->click();
    });
    keepColumns({"Компания", "История", "Контактные лица", "Договора"});
    chooseTextFile(fileName);
    dialogs.expectInformation("Экспорт успешно завершен.");
    ExportKlientDetal(&owner, grids);
    EXPECT_EQ(fileText(fileName), std::string("Компания\tКомпания\tГород\r\n"
                                                "\tАльфа\tМосква\r\n"
                                                "Контактные лица\tИмя\tТелефон\r\n"
                                                "\tОрлов\t111\r\n"
                                                "\tБелова\t222\r\n"
                                                "Договора\tНомер договора\tСкидка\r\n"
                                                "\tД-1\t2,5\r\n"));
    EXPECT_EQ(fmExpKlDetal->parent(), &owner);

    // The dialog keeps its boxes; the whole list ends each client with "--".
    QFile::remove(fileName);
    whenShown<TfmExpKlDetal>([](TfmExpKlDetal* d) {
        EXPECT_TRUE(d->cbKar->isChecked() && d->cbHist->isChecked() && d->cbDog->isChecked());
        d->cbContacts->click();
        d->cbAll->setChecked(true);
        d->btnOK->click();
    });
    keepColumns({"Компания", "История", "Договора"});
    chooseTextFile(fileName);
    dialogs.expectInformation();
    ExportKlientDetal(&owner, grids);
    EXPECT_EQ(fileText(fileName), std::string("Компания\tКомпания\tГород\r\n"
                                                "\tАльфа\tМосква\r\n"
                                                "Договора\tНомер договора\tСкидка\r\n"
                                                "\tД-1\t2,5\r\n"
                                                "--\r\n"
                                                "Компания\tКомпания\tГород\r\n"
                                                "\tБета\tТула\r\n"
                                                "История\tСодержание\r\n"
                                                "\tЗвонок\r\n"
                                                "--\r\n"));
    EXPECT_EQ(kl->qryCust.fieldByName("Company").asString(), "Альфа");   // the user's row again

    // The list at its end (the navigator's "last"): its last client is the current one.
    kl->qryCust.last();
    ASSERT_TRUE(kl->qryCust.eof());
    whenShown<TfmExpKlDetal>([](TfmExpKlDetal* d) {
        d->cbAll->setChecked(false);
        d->btnOK->click();
    });
    keepColumns({"Компания", "История", "Договора"});
    chooseTextFile(fileName);
    dialogs.expectInformation("Экспорт успешно завершен.");
    ExportKlientDetal(&owner, grids);
    EXPECT_EQ(fileText(fileName), std::string("Компания\tКомпания\tГород\r\n"
                                                "\tБета\tТула\r\n"
                                                "История\tСодержание\r\n"
                                                "\tЗвонок\r\n"));

    // Nothing to write is said, and no file is left.
    QFile::remove(fileName);
    kl->qryCust.first();
    whenShown<TfmExpKlDetal>([](TfmExpKlDetal* d) {
        d->cbKar->click();
        d->cbDog->click();
        d->btnOK->click();
    });
    keepColumns({"История"});
    chooseTextFile(fileName);
    dialogs.expectInformation("Нет записей для экспорта: файл не создан.");
    ExportKlientDetal(&owner, grids);
    EXPECT_FALSE(QFile::exists(fileName));
}

TEST_F(KlientDialogs, ContractDialogPostsOnOkAndCancelsOtherwise)
{
    const int alfa = addClient("Альфа");
    addDog(alfa, "Д-1", 0);
    openClients({alfa});
    kl->qryDog.open();
    const QString row = "from Dog where idCust = " + QString::number(alfa);

    kl->qryDog.edit();
    whenShown<TfmDog>([](TfmDog* d) {
        EXPECT_EQ(d->windowTitle(), "Договор");
        EXPECT_EQ(d->dbeDogNumber->text(), "Д-1");
        EXPECT_EQ(d->dblcUser->text(), "Иванов");
        d->dbeDogNumber->setFocus();
        d->dbeDogNumber->selectAll();
        QTest::keyClicks(d->dbeDogNumber, "D-17");
        d->btnAddLink->click();
        EXPECT_EQ(d->dbeFilePath->text(), "/home/docs/d17.pdf");
        d->btnOK->click();
    });
    dialogs.expectOpenFile({"/home/docs/d17.pdf"});
    EXPECT_TRUE(ShowDog(nullptr));
    EXPECT_EQ(kl->qryDog.state(), fw::DataSetState::Browse);
    EXPECT_EQ(stored("select DogNumber || '|' || FilePath " + row), "D-17|/home/docs/d17.pdf");
    EXPECT_TRUE(fmDog.isNull());

    // Cancel: the row and the database as they were.
    kl->qryDog.edit();
    whenShown<TfmDog>([](TfmDog* d) {
        d->dbeDogNumber->setFocus();
        QTest::keyClicks(d->dbeDogNumber, "99");
        d->btnCancel->click();
    });
    EXPECT_FALSE(ShowDog(nullptr));
    EXPECT_EQ(kl->qryDog.state(), fw::DataSetState::Browse);
    EXPECT_EQ(kl->qryDog.fieldByName("DogNumber").asString(), "D-17");
    EXPECT_EQ(stored("select DogNumber " + row), "D-17");

    // A save the database refuses is shown and keeps the dialog with what was typed.
    kl->qryDog.edit();
    whenShown<TfmDog>([this](TfmDog* d) {
        d->dbeDogNumber->setFocus();
        d->dbeDogNumber->selectAll();
        QTest::keyClicks(d->dbeDogNumber, "BAD");
        dialogs.expectError();
        d->btnOK->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->dbeDogNumber->text(), "BAD");
        EXPECT_EQ(kl->qryDog.state(), fw::DataSetState::Edit);
        d->btnCancel->click();
    });
    EXPECT_FALSE(ShowDog(nullptr));
    EXPECT_EQ(stored("select DogNumber " + row), "D-17");
}

TEST_F(KlientDialogs, SegmentSearchSetsBothLevelsOfTheClient)
{
    db.execute("insert into Segmentt (idSegment, Segmentt) values (71, 'Торговля')");
    db.execute("insert into Segmentt (idSegment, Segmentt) values (72, 'Производство')");
    db.execute("insert into Segmentt2 (idSegment2, idSegment, Segmentt2) values (81, 71, 'Оптовая торговля')");
    db.execute("insert into Segmentt2 (idSegment2, idSegment, Segmentt2) values (82, 71, 'Розница')");
    db.execute("insert into Segmentt2 (idSegment2, idSegment, Segmentt2) values (83, 72, 'Пищевое производство')");
    const int alfa = addClient("Альфа");
    openClients({alfa});
    kl->qrySegment.open();
    kl->qrySegment2.open();
    fw::DBLookupCombo segment, segment2;
    for (auto [combo, list, key, name] : {std::tuple{&segment, &kl->dsSegment, "IDSEGMENT", "SEGMENTT"},
                                          std::tuple{&segment2, &kl->dsSegment2, "IDSEGMENT2", "SEGMENTT2"}}) {
        combo->setListSource(list);
        combo->setKeyField(key);
        combo->setListField(name);
        combo->setDataSource(&kl->dsCust);
        combo->setDataField(key);
    }

    TfmSegmentFind form(nullptr, &segment, &segment2);
    EXPECT_EQ(fmSegmentFind, &form);
    form.show();
    // Nothing found: "Установить" leaves the client alone.
    form.edSeg->setText("нет такого");
    form.btnFind->click();
    EXPECT_TRUE(form.qrySeg.isEmpty());
    form.btnSet->click();
    EXPECT_EQ(kl->qryCust.state(), fw::DataSetState::Browse);
    EXPECT_TRUE(form.isVisible());

    // The engine's "containing" ignores case.
    form.edSeg->setText("ПРОИЗВОД");
    form.btnFind->click();
    ASSERT_EQ(form.qrySeg.recordCount(), 1);
    form.edSeg->setText("о");
    form.btnFind->click();
    ASSERT_TRUE(form.qrySeg.locate("idSegment2", 81));
    form.btnSet->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.qrySeg.active());
    EXPECT_EQ(kl->qryCust.state(), fw::DataSetState::Edit);
    EXPECT_EQ(kl->qryCust.fieldByName("idSegment").asInteger(), 71);
    EXPECT_EQ(kl->qryCust.fieldByName("idSegment2").asInteger(), 81);
    EXPECT_EQ(segment.text(), "Торговля");
    EXPECT_EQ(segment2.text(), "Оптовая торговля");
    kl->qryCust.post();
    EXPECT_EQ(stored(QString("select idSegment || '/' || idSegment2 from Customer where idCust = %1").arg(alfa)),
              "71/81");
}


// The title bar shows the dialog's title whole (it was cut to "Дета…иента").
TEST(KlientDialogTitles, TheDetailedExportDialogIsWideEnoughForItsTitle)
{
    fw::fitDialogTitles();
    std::unique_ptr<TfmExpKlDetal> d(new TfmExpKlDetal(nullptr));
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    EXPECT_GE(d->width(), fw::windowTitleWidth("Детальный экспорт клиента"));
    EXPECT_TRUE(d->grab().save("/tmp/clients-expkldetal.png"));
}
