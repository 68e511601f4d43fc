#include "CoreFixture.h"

#include "controls/DateEdit.h"
#include "core/ModifySQLForm.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/fmSelectItem.h"
#include "os/Shell.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// Runs f once the modal dialog that the next call opens is up.
void whenShown(std::function<void()> f)
{
    QTimer::singleShot(0, [f = std::move(f)] { f(); });
}

class EditSQLTest : public ::testing::Test {
protected:
    void SetUp() override { CurrentUser.IdUser = 0; }
    void TearDown() override
    {
        CurrentUser = {};
        ShiftPressed = SqlEditArmed = false;
        delete ModifySQLForm.data();
    }
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
};

TEST_F(EditSQLTest, NeedsShiftAtLoginAndInTheClientsWindow)
{
    SqlEditArmed = true;   // Shift held in the clients window only
    EXPECT_EQ(EditSQL("select * from Cust"), "select * from Cust");
    EXPECT_TRUE(SqlEditArmed);
    ShiftPressed = true;
    SqlEditArmed = false;
    EXPECT_EQ(EditSQL("select * from Cust"), "select * from Cust");
    EXPECT_TRUE(ModifySQLForm.isNull());
    // Both held, but not the administrator.
    CurrentUser.IdUser = 5;
    ShiftPressed = SqlEditArmed = true;
    EXPECT_EQ(EditSQL("select * from Cust"), "select * from Cust");
    EXPECT_TRUE(ModifySQLForm.isNull());
}

TEST_F(EditSQLTest, OnlyASelectIsTaken)
{
    ShiftPressed = SqlEditArmed = true;
    whenShown([] {
        ModifySQLForm->memo->setPlainText(" select * from Cust where 1=1");
        ModifySQLForm->btnOK->click();
    });
    dialogs.expectError("Error. Select only.");
    EXPECT_EQ(EditSQL("select * from Cust"), "select * from Cust");
    EXPECT_FALSE(SqlEditArmed);   // one edit per Shift press
    EXPECT_TRUE(shell.clipboard.isEmpty());

    SqlEditArmed = true;
    whenShown([] {
        EXPECT_EQ(ModifySQLForm->windowTitle(), "SQL Edit");
        EXPECT_EQ(ModifySQLForm->memo->toPlainText(), "select * from Cust");
        ModifySQLForm->memo->setPlainText("Select idCust from Cust");
        ModifySQLForm->cbCopyToClipboard->setChecked(true);
        ModifySQLForm->btnOK->click();
    });
    EXPECT_EQ(EditSQL("select * from Cust"), "Select idCust from Cust");
    EXPECT_EQ(shell.clipboard, "Select idCust from Cust");

    SqlEditArmed = true;
    whenShown([] {
        ModifySQLForm->memo->setPlainText("select 1 from rdb$database");
        ModifySQLForm->btnCancel->click();
    });
    EXPECT_EQ(EditSQL("select * from Cust"), "select * from Cust");
}

class SelectValueTest : public CoreDatabaseTest {
protected:
    fw::ScriptedDialogs dialogs;
};

TEST_F(SelectValueTest, PicksAKeyAndItsName)
{
    db.execute("insert into users (idUser, idOtdel, name) values (501, 0, 'Яковлев')");
    db.execute("insert into users (idUser, idOtdel, name) values (502, 0, 'Борисов')");
    int id = 501;
    QString text;
    whenShown([] {
        ASSERT_TRUE(fmSelectItem);
        EXPECT_EQ(fmSelectItem->windowTitle(), "Ответственный");
        QListWidget* lb = fmSelectItem->findChild<QListWidget*>("lb");
        ASSERT_EQ(lb->count(), 3);
        EXPECT_EQ(lb->currentItem()->text(), "Яковлев");   // the given id is preselected
        EXPECT_EQ(lb->item(0)->text(), "Администратор");
        lb->setCurrentRow(1);
        fmSelectItem->btnOK->click();
    });
    EXPECT_TRUE(SelectValue(0, id, text, "where idUser in (0, 501, 502)", "Ответственный"));
    EXPECT_EQ(id, 502);
    EXPECT_EQ(text, "Борисов");
    EXPECT_TRUE(fmSelectItem.isNull());
}

TEST_F(SelectValueTest, OKNeedsAChoiceAndCancelKeepsTheValue)
{
    int id = -7;
    QString text = "прежнее";
    dialogs.expectWarning("Вы не выбрали значение!");
    whenShown([] {
        ASSERT_TRUE(fmSelectItem);
        fmSelectItem->btnOK->click();
        EXPECT_TRUE(fmSelectItem->isVisible());
        fmSelectItem->btnCancel->click();
    });
    EXPECT_FALSE(SelectValue(1, id, text, "", "Регион"));
    EXPECT_EQ(id, -7);
    EXPECT_EQ(text, "прежнее");
}

TEST_F(SelectValueTest, UnknownKindIsRefused)
{
    int id = 0;
    QString text;
    EXPECT_THROW(SelectValue(5, id, text, "", "x"), fw::Error);
    EXPECT_THROW(SelectValue(-1, id, text, "", "x"), fw::Error);
    EXPECT_TRUE(fmSelectItem.isNull());
}

TEST(DialogKeys, EnterAndEscCloseUnlessACalendarIsOpen)
{
    QDialog dlg;
    auto* date = new TDateEdit(&dlg);
    auto* edit = new QLineEdit(&dlg);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(date);
    layout->addWidget(edit);
    dlg.show();
    date->setFocus();
    static_cast<TCustomComboEdit*>(date)->ButtonPressed();   // the calendar button
    ASSERT_TRUE(date->PopupVisible());
    EXPECT_FALSE(NoDropDownActive(&dlg));
    DialogKeyDown(&dlg, Qt::Key_Return);
    DialogKeyDown(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());
    date->ClosePopup(false);

    edit->setFocus();
    EXPECT_TRUE(NoDropDownActive(&dlg));
    DialogKeyDown(&dlg, Qt::Key_Tab);
    EXPECT_TRUE(dlg.isVisible());
    DialogKeyDown(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    dlg.show();
    DialogKeyDown(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(FilterControls, EscClearsAndRunsTheClickHandler)
{
    fw::DBLookupCombo lookup;
    lookup.setKeyValue(5);
    QComboBox combo;
    combo.addItems({"a", "b"});
    int clicks = 0;
    QObject::connect(&lookup, &fw::DBLookupCombo::activated, [&] { ++clicks; });
    QObject::connect(&combo, &QComboBox::activated, [&] { ++clicks; });
    ClearOnEsc(&lookup, Qt::Key_Return);
    EXPECT_EQ(clicks, 0);
    ClearOnEsc(&lookup, Qt::Key_Escape);
    ClearOnEsc(&combo, Qt::Key_Escape);
    EXPECT_TRUE(lookup.keyValue().isNull());
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(clicks, 2);
}

TEST(SharedProcs, OpenLinkReportsAFailure)
{
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
    EXPECT_TRUE(OpenLink(nullptr, "www.firm.ru"));
    shell.openResult = false;
    dialogs.expectError("Ошибка открытия ссылки:\nwww.firm.ru");
    EXPECT_FALSE(OpenLink(nullptr, "www.firm.ru"));
}

class DataModuleProcs : public CoreDatabaseTest {};

TEST_F(DataModuleProcs, CloseDataModulePostsThenClosesEverything)
{
    fw::Query& q = dmUsers->qryOtdel;
    q.open();
    ASSERT_TRUE(q.prepared());
    q.append();
    q.fieldByName("idOtdel").setAsInteger(dmUsers->NewKey(dmUsers->spOtdel));
    q.fieldByName("Otdel").setAsString("Закрытие");
    dmUsers->qryUsers.open();
    CloseDataModule(dmUsers);
    EXPECT_EQ(db.selectValue("select count(*) from otdel where otdel = 'Закрытие'").asInt(), 1);
    for (fw::Query* each : {&dmUsers->qryOtdel, &dmUsers->qryUsers, &dmUsers->qryPrava}) {
        EXPECT_FALSE(each->active());
        EXPECT_FALSE(each->prepared());
    }
    EXPECT_FALSE(dmUsers->spOtdel.prepared());
}

TEST_F(DataModuleProcs, ColumnTitlesFromTheSettingsRow)
{
    db.execute("update ver set valuta1 = 'руб.', valuta2 = 'USD', priznak1 = 'Учебный', priznak2 = 'Апгрейд'");
    dm->qryMain.open();
    fw::DBGrid grid;
    grid.setColumns({{"SUMMAR"}, {"SUMMADF"}, {"OPLATRP"}, {"UCHEB"}, {"UPGRADE"}, {"NAME", "Фамилия"},
                     {"summad", "как было"}});
    SetColumnTitles(&grid);
    EXPECT_EQ(grid.columnTitle(0), "руб.");
    EXPECT_EQ(grid.columnTitle(1), "Товар USD (факт)");
    EXPECT_EQ(grid.columnTitle(2), "Сделка руб. (план)");
    EXPECT_EQ(grid.columnTitle(3), "Учебный");
    EXPECT_EQ(grid.columnTitle(4), "Апгрейд");
    EXPECT_EQ(grid.columnTitle(5), "Фамилия");
    EXPECT_EQ(grid.columnTitle(6), "как было");   // field names are matched exactly
}

TEST_F(DataModuleProcs, AttachedUserNames)
{
    EXPECT_TRUE(GetAttachedUserNames(dm->db).contains("SYSDBA"));
    dm->db.disconnect();
    EXPECT_THROW(GetAttachedUserNames(dm->db), fw::Error);
}

} // namespace
