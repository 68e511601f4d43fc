#include "clients/ClientFixture.h"

#include "clients/KlientQuery.h"
#include "clients/dmKl.h"
#include "clients/fmCustomFields.h"
#include "clients/fmKlient.h"
#include "controls/ControlsTestUtil.h"
#include "core/schema/Schema.h"
#include "support/Refusal.h"
#include "support/WhenShown.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/ScriptedDialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <gtest/gtest.h>

using testing_support::refusal;
using testing_support::whenShown;

namespace {

const QString kCaption = "Код \"А\"";

TEST(CustomFieldStatements, ClientStatementsAndSearchLine)
{
    // Each field goes in right after "set", and at the end of both lists of the insert.
    const QStringList modify{"update Customer", "set", "  IDCUST = :IDCUST,", "  WWW = :WWW", "where",
                             "  IDCUST = :OLD_IDCUST"};
    EXPECT_EQ(AddCustomFieldToModifySql(AddCustomFieldToModifySql(modify, "field2"), "field9"),
              (QStringList{"update Customer", "set", "  field9 = :field9,", "  field2 = :field2,",
                           "  IDCUST = :IDCUST,", "  WWW = :WWW", "where", "  IDCUST = :OLD_IDCUST"}));
    const QStringList insert{"insert into Customer", "  (IDCUST, WWW)", "values", "  (:IDCUST, :WWW)"};
    EXPECT_EQ(AddCustomFieldToInsertSql(AddCustomFieldToInsertSql(insert, "field2"), "field9"),
              (QStringList{"insert into Customer", "  (IDCUST, WWW, field2, field9)", "values",
                           "  (:IDCUST, :WWW, :field2, :field9)"}));

    // Searched right after the company's own data; an empty edit adds nothing.
    TKlientQueryInput in;
    in.company = "Альфа";
    in.customFields = {{"field3", kCaption}, {"field4", ""}, {"field5", "x"}};
    in.contact = "Петров";
    const QStringList sql = KlientQuerySql(in, "1=1", "2=2").mid(1, 4);
    EXPECT_EQ(sql, (QStringList{"and Company containing \"Альфа\"", "and field3 containing \"Код \"\"А\"\"\"",
                                "and field5 containing \"x\"", "and exists (select 1 from Contacts where idCust=c.idCust"}));
}

// The user-defined columns of CUSTOMER and the fields' rows, removed after each
// test: the suite's database is shared by its tests.
void DropCustomFields(fw::Database& db)
{
    QStringList columns;
    {
        fw::Query q(&db);
        q.setSql({"select trim(rdb$field_name) from rdb$relation_fields",
                  "where rdb$relation_name = 'CUSTOMER' and rdb$field_name starting with 'FIELD'"});
        q.open();
        for (; !q.eof(); q.next()) columns << q.field(0).asString();
    }
    for (const QString& c : columns) db.execute("alter table customer drop " + c);
    db.execute("delete from CustomFields");
}

// Length, character set and collation of a CUSTOMER column.
QString ColumnType(fw::Database& db, const QString& column)
{
    return db
        .selectValue("select f.rdb$character_length || ' ' || trim(cs.rdb$character_set_name) || ' '"
                     " || trim(co.rdb$collation_name)"
                     " from rdb$relation_fields rf join rdb$fields f on f.rdb$field_name = rf.rdb$field_source"
                     " join rdb$character_sets cs on cs.rdb$character_set_id = f.rdb$character_set_id"
                     " join rdb$collations co on co.rdb$character_set_id = f.rdb$character_set_id"
                     "  and co.rdb$collation_id = coalesce(rf.rdb$collation_id, f.rdb$collation_id)"
                     " where rf.rdb$relation_name = 'CUSTOMER' and rf.rdb$field_name = :c",
                     {{"c", column.toUpper()}})
        .asString();
}

class CustomFields : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    TfmKlient* fm = nullptr;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        Grant({1001, 1002, 1016, 1017, 1018, 1033});
        dm->qryMain.open();
    }
    void TearDown() override
    {
        delete fm;
        if (!db.connected()) db.connect();
        DropCustomFields(db);
        LoggedInTest::TearDown();
    }
    void open()
    {
        dialogs.expectConfirm(false, "Проверить невыполненные планы?");
        fm = new TfmKlient;
        fm->resize(1100, 720);
    }
    // The fields dialog from the menu, with f run while it is shown; closed afterwards.
    void withFieldsDialog(std::function<void(TfmCustomFields*)> f)
    {
        whenShown<TfmCustomFields>([f](TfmCustomFields* d) {
            f(d);
            d->reject();
        });
        fm->mmiCustomField->trigger();
    }
    int addClient(const QString& company)
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company, DateCr, polzov, regpolzov) "
                   "values (:id, :u, :c, :d, '-', '-')",
                   {{"id", id}, {"u", me.IdUser}, {"c", company}, {"d", GetServerDate()}});
        return id;
    }
    int fieldCount() { return db.selectValue("select count(*) from CustomFields").asInt(); }
    bool tabVisible(QTabWidget* tabs, QWidget* page) { return tabs->isTabVisible(tabs->indexOf(page)); }
    // The captions of the labels in a scroll box, top to bottom.
    static QStringList captionsOf(QScrollArea* box)
    {
        QList<QLabel*> labels = box->widget()->findChildren<QLabel*>();
        std::sort(labels.begin(), labels.end(), [](QLabel* a, QLabel* b) { return a->y() < b->y(); });
        QStringList captions;
        for (QLabel* l : labels) captions << l->text();
        return captions;
    }
};

TEST_F(CustomFields, AddedFieldIsAColumnTheCardStoresAndTheSearchFinds)
{
    const int alfa = addClient("Альфа");
    addClient("Бета");
    open();
    EXPECT_TRUE(fm->mmiCustomField->isEnabled());
    EXPECT_FALSE(tabVisible(fm->pcDown, fm->tsOther));
    EXPECT_FALSE(tabVisible(fm->KlientQuery->pcZapros, fm->KlientQuery->tsZOther));
    const QStringList plainModify = dmKl->usqlCust.modifySql();
    const QStringList plainInsert = dmKl->usqlCust.insertSql();

    withFieldsDialog([this](TfmCustomFields* d) {
        whenShown<TfmCustomFieldsEdit>([](TfmCustomFieldsEdit* e) {
            EXPECT_TRUE(e->lblWarning->isVisible());
            typeText(e->edCaption, kCaption);
            e->seLength->setValue(30);
            e->btnOK->click();
        });
        d->tbAdd->click();
        ASSERT_EQ(d->lvCustomFields->topLevelItemCount(), 1);
        EXPECT_EQ(d->lvCustomFields->topLevelItem(0)->text(1), "30");
    });

    const int id = db.selectValue("select IDCUSTOMFIELDS from CustomFields").asInt();
    const QString name = "field" + QString::number(id);
    EXPECT_EQ(db.selectValue("select POS || '|' || FIELDNAME || '|' || CAPTION || '|' || ENTITY || '|' || FIELDTYPE"
                             " || '|' || FIELDSIZE from CustomFields")
                  .asString(),
              QString("%1|%2|%3|kar|string|30").arg(id).arg(name, kCaption));
    EXPECT_EQ(ColumnType(db, name), "30 WIN1251 PXW_CYRL");

    // The card, the search page and the list show the field; the statements write it.
    EXPECT_TRUE(tabVisible(fm->pcDown, fm->tsOther));
    EXPECT_TRUE(tabVisible(fm->KlientQuery->pcZapros, fm->KlientQuery->tsZOther));
    EXPECT_EQ(captionsOf(fm->scrlboxOther), QStringList{kCaption});
    EXPECT_EQ(captionsOf(fm->KlientQuery->scrlboxZKar), QStringList{kCaption});
    auto* cardEdit = fm->scrlboxOther->findChild<fw::DBEdit*>();
    ASSERT_NE(cardEdit, nullptr);
    auto* searchEdit = fm->KlientQuery->scrlboxZKar->findChild<QLineEdit*>(name);
    ASSERT_NE(searchEdit, nullptr);
    const fw::GridColumn& column = fm->dbgCust->column(fm->dbgCust->columnCount() - 1);
    EXPECT_EQ(column.fieldName + column.title, name + kCaption);
    EXPECT_EQ(dmKl->usqlCust.modifySql(), AddCustomFieldToModifySql(plainModify, name));
    EXPECT_EQ(dmKl->usqlCust.insertSql(), AddCustomFieldToInsertSql(plainInsert, name));

    // Typed on the card, stored, shown again.
    ASSERT_TRUE(fm->GoToKar(alfa, 0, 0));
    fm->pcDown->setCurrentWidget(fm->tsOther);
    cardEdit->setFocus();
    typeText(cardEdit, "Синий");
    dmKl->qryCust.post();
    EXPECT_EQ(db.selectValue("select " + name + " from Customer where idCust=:id", {{"id", alfa}}).asString(), "Синий");
    dmKl->qryCust.close();
    ASSERT_TRUE(fm->GoToKar(alfa, 0, 0));
    EXPECT_EQ(cardEdit->text(), "Синий");

    // A new client gets its value through the insert statement.
    dmKl->qryCust.append();
    dmKl->qryCust.fieldByName("COMPANY").setAsString("Гамма");
    dmKl->qryCust.fieldByName(name).setAsString("Зелёный");
    dmKl->qryCust.post();
    EXPECT_EQ(db.selectValue("select " + name + " from Customer where company='Гамма'").asString(), "Зелёный");

    // The search by the field finds only that client.
    typeText(searchEdit, "ини");
    fm->KlientQuery->RunQuery();
    ASSERT_EQ(dmKl->qryCust.recordCount(), 1);
    EXPECT_EQ(dmKl->qryCust.fieldByName("COMPANY").asString(), "Альфа");
    fm->KlientQuery->SBClear->click();
    EXPECT_EQ(searchEdit->text(), "");
}

TEST_F(CustomFields, MoveSwapsPositionsAndTheCardFollowsTheNewOrder)
{
    open();
    withFieldsDialog([this](TfmCustomFields* d) {
        for (const char* caption : {"Первое", "Второе", "Третье"}) d->AddField(caption, 10);
        const auto buttons = [d] {
            return QString("%1%2%3%4").arg(d->tbEdit->isEnabled()).arg(d->tbDel->isEnabled())
                .arg(d->tbMoveUp->isEnabled()).arg(d->tbMoveDown->isEnabled());
        };
        EXPECT_EQ(d->SelectedIndex(), 2);     // the new field
        EXPECT_EQ(buttons(), "1110");
        d->SelectIndex(0);
        EXPECT_EQ(buttons(), "1101");
        d->SelectIndex(1);
        EXPECT_EQ(buttons(), "1111");
        d->lvCustomFields->clearSelection();
        EXPECT_EQ(buttons(), "0000");

        const QList<int> posBefore{db.selectValue("select pos from CustomFields where caption='Второе'").asInt(),
                                   db.selectValue("select pos from CustomFields where caption='Третье'").asInt()};
        d->SelectIndex(2);
        d->tbMoveUp->click();
        EXPECT_EQ(d->SelectedIndex(), 1);
        EXPECT_EQ(d->lvCustomFields->topLevelItem(1)->text(0), "Третье");
        EXPECT_EQ(db.selectValue("select pos from CustomFields where caption='Третье'").asInt(), posBefore[0]);
        EXPECT_EQ(db.selectValue("select pos from CustomFields where caption='Второе'").asInt(), posBefore[1]);
    });
    const QStringList order{"Первое", "Третье", "Второе"};
    EXPECT_EQ(captionsOf(fm->scrlboxOther), order);
    EXPECT_EQ(captionsOf(fm->KlientQuery->scrlboxZKar), order);
    EXPECT_EQ(fm->dbgCust->column(fm->dbgCust->columnCount() - 1).title, "Второе");
}

TEST_F(CustomFields, RenameShowsTheLengthGreyedAndKeepsIt)
{
    TfmCustomFields form(nullptr);
    const int id = form.AddField("Старое", 40);
    form.SelectIndex(0);
    whenShown<TfmCustomFieldsEdit>([](TfmCustomFieldsEdit* e) {
        EXPECT_EQ(e->windowTitle(), "Изменение названия поля");
        EXPECT_FALSE(e->seLength->isEnabled());
        EXPECT_FALSE(e->lblLength->isEnabled());
        EXPECT_FALSE(e->lblWarning->isVisible());
        EXPECT_EQ(e->seLength->value(), 40);
        EXPECT_EQ(e->edCaption->text(), "Старое");
        e->edCaption->setText("Новое \"имя\"");
        e->btnOK->click();
    });
    form.lvCustomFieldsDblClick();
    EXPECT_EQ(db.selectValue("select CAPTION || '|' || FIELDSIZE from CustomFields").asString(), "Новое \"имя\"|40");
    EXPECT_EQ(ColumnType(db, "field" + QString::number(id)), "40 WIN1251 PXW_CYRL");
    EXPECT_EQ(form.SelectedIndex(), 0);
}

TEST_F(CustomFields, BadInputAndAFailedColumnWriteNothing)
{
    TfmCustomFields form(nullptr);
    EXPECT_EQ(refusal([&] { form.AddField(QString(21, 'a'), 10); }),
              "Название поля не может быть длиннее 20 символов!");
    EXPECT_EQ(refusal([&] { form.AddField("Код", 0); }), "Длина поля должна быть от 1 до 255 символов!");
    EXPECT_EQ(refusal([&] { form.AddField("Код", 256); }), "Длина поля должна быть от 1 до 255 символов!");
    EXPECT_EQ(fieldCount(), 0);

    // The dialog keeps what was typed when OK is refused, and takes no more than 20 characters.
    TfmCustomFieldsEdit edit;
    edit.show();
    dialogs.expectError("Укажите название поля!");
    edit.btnOK->click();
    EXPECT_TRUE(edit.isVisible());
    // A character the database cannot store is named with the field, never with a statement.
    typeText(edit.edCaption, "Рубль ₽");
    dialogs.expectError("В поле «Название» «Рубль ₽» есть символ U+20BD «₽», которого нет в кодировке "
                        "Windows-1251.\nЗамените или удалите этот символ.");
    edit.btnOK->click();
    EXPECT_TRUE(edit.isVisible());
    EXPECT_EQ(edit.edCaption->text(), "Рубль ₽");
    edit.edCaption->clear();
    typeText(edit.edCaption, QString(25, QChar(u'Ж')));
    EXPECT_EQ(edit.edCaption->text().size(), 20);
    edit.btnOK->click();
    EXPECT_EQ(edit.result(), QDialog::Accepted);

    // A column that already exists fails the change: no row describes it.
    const int next = db.selectValue("select gen_id(GEN_CUSTOMFIELDS, 0) + 1 from rdb$database").asInt();
    db.execute("alter table customer add field" + QString::number(next) + " varchar(5)");
    EXPECT_THROW(form.AddField("Дубль", 10), fw::DbError);
    EXPECT_FALSE(dm->db.inTransaction());
    EXPECT_EQ(fieldCount(), 0);
    EXPECT_EQ(form.lvCustomFields->topLevelItemCount(), 0);
}

TEST_F(CustomFields, DeletingTheLastFieldLeavesThePlainClientStatements)
{
    const int alfa = addClient("Альфа");
    open();
    const QStringList plainModify = dmKl->usqlCust.modifySql();
    const QStringList plainInsert = dmKl->usqlCust.insertSql();
    const int plainColumns = fm->dbgCust->columnCount();
    withFieldsDialog([](TfmCustomFields* d) { d->AddField("Код", 30); });
    ASSERT_EQ(fm->dbgCust->columnCount(), plainColumns + 1);

    // Alone on the database: the test's own connection goes; the window's
    // reminder connection is its own and does not count.
    db.disconnect();
    dmKl->dbBudil.connect();
    withFieldsDialog([this](TfmCustomFields* d) {
        d->SelectIndex(0);
        dialogs.expectConfirm(false, "Удалить поле?");
        d->tbDel->click();
        EXPECT_EQ(d->lvCustomFields->topLevelItemCount(), 1);
        dialogs.expectConfirm(true, "Удалить поле?");
        d->tbDel->click();
        EXPECT_EQ(d->lvCustomFields->topLevelItemCount(), 0);
        EXPECT_FALSE(d->tbDel->isEnabled());
    });
    EXPECT_EQ(dm->db.selectValue("select count(*) from rdb$relation_fields where rdb$relation_name = 'CUSTOMER'"
                                 " and rdb$field_name starting with 'FIELD'").asInt(), 0);
    EXPECT_EQ(dm->db.selectValue("select count(*) from CustomFields").asInt(), 0);
    EXPECT_EQ(dmKl->usqlCust.modifySql(), plainModify);
    EXPECT_EQ(dmKl->usqlCust.insertSql(), plainInsert);
    EXPECT_EQ(fm->dbgCust->columnCount(), plainColumns);
    EXPECT_TRUE(fm->scrlboxOther->widget()->findChildren<QWidget*>().isEmpty());

    ASSERT_TRUE(fm->GoToKar(alfa, 0, 0));
    dmKl->qryCust.edit();
    dmKl->qryCust.fieldByName("CITY").setAsString("Тверь");
    dmKl->qryCust.post();
    EXPECT_EQ(dm->db.selectValue("select city from Customer where idCust=:id", {{"id", alfa}}).asString(), "Тверь");
}

TEST_F(CustomFields, ALengthTypedOutsideItsLimitsIsRefusedAndStaysAsTyped)
{
    TfmCustomFields form(nullptr);
    whenShown<TfmCustomFieldsEdit>([this](TfmCustomFieldsEdit* e) {
        typeText(e->edCaption, "Kod");
        for (const QString typed : {"0", "256"}) {
            QTest::keyClick(e->seLength, Qt::Key_A, Qt::ControlModifier);
            typeText(e->seLength, typed);
            dialogs.expectError("Длина поля должна быть от 1 до 255 символов!");
            QTest::keyClick(e->seLength, Qt::Key_Return);
            EXPECT_TRUE(e->isVisible());
            EXPECT_EQ(e->seLength->text(), typed);
        }
        // The arrows lead back into the limits and no further.
        QTest::keyClick(e->seLength, Qt::Key_Down);
        EXPECT_EQ(e->seLength->text(), "255");
        QTest::keyClick(e->seLength, Qt::Key_Up);
        EXPECT_EQ(e->seLength->text(), "255");
        QTest::keyClick(e->seLength, Qt::Key_A, Qt::ControlModifier);
        typeText(e->seLength, "120");
        QTest::keyClick(e->seLength, Qt::Key_Return);
        EXPECT_FALSE(e->isVisible());
    });
    form.tbAdd->click();
    EXPECT_EQ(db.selectValue("select CAPTION || '|' || FIELDSIZE from CustomFields").asString(), "Kod|120");
}

// Several users on one database: only the server lets a second attachment in.
class CustomFieldsOnServer : public ::testing::Test {
protected:
    fw::ScriptedDialogs dialogs;
    fw::ConnectParams params;

    void SetUp() override
    {
        if (testing_support::serverHost().isEmpty()) GTEST_SKIP() << "no Firebird server for this run";
        params = testing_support::createServerDatabase("customfields");
        {
            fw::Database schemaDb(params);
            schemaDb.connect();
            schema::createObjects(schemaDb);
        }
        dm = new Tdm;
        dm->db.beforeConnect = nullptr;
        dm->db.setParams(params);
        dm->db.connect();
    }
    void TearDown() override
    {
        if (!dm) return;
        dm->db.drop();
        delete dm;
        dm = nullptr;
    }
};

TEST_F(CustomFieldsOnServer, DeleteIsRefusedWhileAnotherUserIsAttached)
{
    TfmCustomFields form(nullptr);
    const int id = form.AddField("Код", 30);
    const QString name = "field" + QString::number(id);

    fw::Database other(params);
    other.connect();
    EXPECT_EQ(refusal([&] { form.DeleteField(id); }),
              "Обнаружено более одного подключение к базе.\rУдаление поля невозможно!\rВсего подключений: 2");
    EXPECT_EQ(other.selectValue("select count(*) from CustomFields").asInt(), 1);
    EXPECT_EQ(ColumnType(other, name), "30 WIN1251 PXW_CYRL");
    other.disconnect();

    dialogs.expectConfirm(true, "Удалить поле?");
    form.SelectIndex(0);
    form.DeleteField(id);
    EXPECT_EQ(dm->db.selectValue("select count(*) from CustomFields").asInt(), 0);
    EXPECT_EQ(ColumnType(dm->db, name), "");
}

// Another user removes a field while this one's list still shows it.
TEST_F(CustomFieldsOnServer, RenameOrDeleteOfAFieldAnotherUserRemovedSaysSoAndReloads)
{
    TfmCustomFields form(nullptr);
    const int kept = form.AddField("Код", 30);
    QList<int> ids;
    for (const char* caption : {"Цвет", "Размер", "Вес"}) ids << form.AddField(caption, 10);
    fw::Database other(params);
    other.connect();
    const auto removedByOther = [&other](int id) {
        other.startTransaction();
        other.execute("alter table customer drop field" + QString::number(id));
        other.execute("delete from CustomFields where idCustomFields=" + QString::number(id));
        other.commit();
    };
    const auto listed = [&form] {
        QStringList captions;
        for (int i = 0; i < form.lvCustomFields->topLevelItemCount(); ++i)
            captions << form.lvCustomFields->topLevelItem(i)->text(0);
        return captions;
    };

    // While the new name is being typed, and before the rename is asked for.
    form.SelectIndex(1);
    whenShown<TfmCustomFieldsEdit>([&](TfmCustomFieldsEdit* e) {
        removedByOther(ids[0]);
        e->edCaption->setText("Оттенок");
        e->btnOK->click();
    });
    dialogs.expectError("Поле «Цвет» удалено другим пользователем.\nСписок полей обновлён.");
    form.tbEdit->click();
    EXPECT_EQ(listed(), QStringList({"Код", "Размер", "Вес"}));
    removedByOther(ids[1]);
    form.SelectIndex(1);
    // A rename dialog for a field that is gone would wait for a user.
    QTimer::singleShot(3000, &form, [] {
        if (!fmCustomFieldsEdit) return;
        ADD_FAILURE() << "the rename of a removed field was asked for";
        fmCustomFieldsEdit->reject();
    });
    dialogs.expectError("Поле «Размер» удалено другим пользователем.\nСписок полей обновлён.");
    form.tbEdit->click();
    EXPECT_EQ(listed(), QStringList({"Код", "Вес"}));

    // Deleted by the other user, who then leaves.
    removedByOther(ids[2]);
    other.disconnect();
    form.SelectIndex(1);
    dialogs.expectConfirm(true, "Удалить поле?")
        .expectError("Поле «Вес» удалено другим пользователем.\nСписок полей обновлён.");
    form.tbDel->click();
    EXPECT_EQ(listed(), QStringList({"Код"}));
    EXPECT_EQ(dm->db.selectValue("select CAPTION from CustomFields").asString(), "Код");
    EXPECT_EQ(ColumnType(dm->db, "field" + QString::number(kept)), "30 WIN1251 PXW_CYRL");
    EXPECT_FALSE(dm->db.inTransaction());
}

} // namespace
