#include "clients/ClientFixture.h"

#include "clients/Budil.h"
#include "clients/dmKl.h"
#include "clients/fmPlan.h"
#include "controls/DateEdit.h"
#include "core/Users.h"
#include "core/fmSelectItem.h"
#include "clients/GrOper.h"
#include "deals/dmKlSd.h"
#include "os/Shell.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>

namespace {

// Three clients selected in the clients module, as the clients window has
// them when the user starts a group operation.
class GroupOperation : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
    QList<int> clients;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        Grant({1016, 1029});

        for (const char* company : {"Альфа", "Бета", "Гамма"}) {
            const int id = db.executeProcedure("ID_CUST").asInt();
            db.execute("insert into Customer (idCust, idUser, company) values (:id, :u, :c)",
                       {{"id", id}, {"u", me.IdUser}, {"c", company}});
            clients << id;
        }
        new TdmKl;
        dmKl->qryCust.setSql({"select *", "from Customer", "where idCust in (" + QString::number(clients[0]) + ", "
                                  + QString::number(clients[1]) + ", " + QString::number(clients[2]) + ")",
                              "order by idCust"});
        dmKl->qryCust.open();
        // The user stands on the second client.
        dmKl->qryCust.locate("idCust", clients[1]);
    }
    void TearDown() override
    {
        delete dmKlSd;
        delete dmKl;
        LoggedInTest::TearDown();
    }

    // Drives the next modal dialog of type Form when it shows.
    template <class Form>
    void answer(std::function<void(Form&)> drive)
    {
        QTimer::singleShot(0, [drive] {
            auto* form = qobject_cast<Form*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "the expected dialog is not shown";
                if (QWidget* other = QApplication::activeModalWidget()) other->close();
                return;
            }
            drive(*form);
        });
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
    // The rows of this test's clients only: the database lives as long as the suite.
    QString mine() const
    {
        return QString("idCust in (%1, %2, %3)").arg(clients[0]).arg(clients[1]).arg(clients[2]);
    }
    int addContact(int idCust, const QString& email)
    {
        const int id = db.executeProcedure("ID_CONTACTS").asInt();
        db.execute("insert into contacts (idContacts, idCust, idUser, contact_name, contact_email) "
                   "values (:id, :c, :u, 'Лицо', :e)",
                   {{"id", id}, {"c", idCust}, {"u", me.IdUser}, {"e", email.isEmpty() ? fw::Value() : email}});
        return id;
    }
    QStringList fieldNames(const TGrOper& op)
    {
        QStringList names;
        for (const TFieldValueItem& item : op.FieldValues.Items) names << item.FieldName;
        return names;
    }
    int currentClient() { return dmKl->qryCust.fieldByName("idCust").asInteger(); }
};

} // namespace

// The run's progress window is a dialog like any other: a reminder that comes due meanwhile waits.
TEST_F(GroupOperation, ReminderWaitsWhileTheRunLasts)
{
    TGrOper op(TGrOper::Hist);
    op.FieldValues.Add("Note", "Звонок");
    int posts = 0, busy = 0;
    const auto post = dmKl->qryHist.beforePost;
    dmKl->qryHist.beforePost = [&](fw::DataSet& ds) {
        ++posts;
        busy += TBudilCheck::IsModalBusy();
        post(ds);
    };
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(posts, 3);
    EXPECT_EQ(busy, 3);
    EXPECT_FALSE(TBudilCheck::IsModalBusy());
}

TEST_F(GroupOperation, HistoryRecordGoesToEveryClientWithTheDialogsDateAndTime)
{
    TGrOper op(TGrOper::Hist);
    const QDate today = GetServerDate().date();
    answer<TfmPlan>([&](TfmPlan& f) {
        EXPECT_EQ(f.windowTitle(), "Добавление записи в историю в выборку клиентов");
        EXPECT_EQ(f.deDate->Date(), today);
        EXPECT_FALSE(f.cbBudil->isEnabled());
        EXPECT_FALSE(f.cbPrior->isEnabled());
        EXPECT_EQ(f.dblcUser->keyValue(), fw::Value(me.IdUser));
        EXPECT_EQ(f.dblcHistType->keyValue(), fw::Value(0));
        f.deDate->SetDate(QDate(2003, 2, 1));
        f.dtpTime->setTime(QTime(14, 30));
        f.edNote->setText("Разослан прайс");
        f.edLink->setText("/docs/price.ods");
        f.accept();
    });
    ASSERT_TRUE(op.GetParams());
    EXPECT_EQ(fieldNames(op), QStringList({"idUser", "DateCr", "Note", "FILEPATH", "idHistType", "idContacts"}));

    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(op.Processed, 3);
    EXPECT_EQ(fmGrOperProc, nullptr);
    for (int id : clients) {
        fw::Query q(&db);
        q.setSql({"select * from history where idCust = " + QString::number(id)});
        q.open();
        ASSERT_EQ(q.recordCount(), 1) << id;
        EXPECT_EQ(q.fieldByName("DateCr").asDateTime(), QDateTime(QDate(2003, 2, 1), QTime(14, 30)));
        EXPECT_EQ(q.fieldByName("Note").asString(), "Разослан прайс");
        EXPECT_EQ(q.fieldByName("FILEPATH").asString(), "/docs/price.ods");
        EXPECT_EQ(q.fieldByName("History").asString(), "+");
        EXPECT_EQ(q.fieldByName("idUser").asInteger(), me.IdUser);
        EXPECT_TRUE(q.fieldByName("idContacts").isNull());
    }
    // The selection is back on the client the user stood on.
    EXPECT_EQ(currentClient(), clients[1]);
    EXPECT_FALSE(dmKl->qryCust.controlsDisabled());
    EXPECT_FALSE(dm->db.inTransaction());
}

TEST_F(GroupOperation, PlanCarriesItsReminderAndPriorityMarks)
{
    TGrOper op(TGrOper::Plan);
    answer<TfmPlan>([&](TfmPlan& f) {
        EXPECT_EQ(f.windowTitle(), "Добавление плана в выборку клиентов");
        EXPECT_EQ(f.DateTime(), TdmKl::DefaultPlanDate());
        EXPECT_TRUE(f.cbBudil->isEnabled());
        EXPECT_FALSE(f.cbBudil->isChecked());
        EXPECT_FALSE(f.cbPrior->isChecked());
        f.cbPrior->setChecked(true);
        f.edNote->setText("Перезвонить");
        f.accept();
    });
    ASSERT_TRUE(op.GetParams());
    EXPECT_EQ(fieldNames(op).mid(6), QStringList({"Budil", "Prior"}));
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(count("select count(*) from history where history = '-' and prior = '+' and budil = '-' "
                    "and note = 'Перезвонить' and " + mine()),
              3);
    EXPECT_EQ(count("select count(distinct idCust) from history where " + mine()), 3);
}

TEST_F(GroupOperation, CommonGroupSkipsClientsAlreadyInIt)
{
    db.execute("insert into GrKlient (idGrKlient, GrKlient) values (7, 'Дилеры')");
    db.execute("insert into Gr_Kl (idGr_Kl, idCust, idGrKlient) values (:id, :c, 7)",
               {{"id", db.executeProcedure("ID_GLKL")}, {"c", clients[0]}});
    TGrOper op(TGrOper::GlGroup);
    answer<TfmSelectItem>([](TfmSelectItem& f) {
        EXPECT_EQ(f.windowTitle(), "Выбор общей группы");
        const QList<QListWidgetItem*> found = f.lb->findItems("Дилеры", Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        f.lb->setCurrentItem(found[0]);
        f.accept();
    });
    ASSERT_TRUE(op.GetParams());
    ASSERT_EQ(op.FieldValues.Items.size(), 1);
    EXPECT_EQ(op.FieldValues.Items[0].FieldName, "idGrKlient");
    EXPECT_EQ(op.FieldValues.Items[0].Value, fw::Value(7));

    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(op.Processed, 3);
    for (int id : clients)
        EXPECT_EQ(count(QString("select count(*) from Gr_Kl where idGrKlient = 7 and idCust = %1").arg(id)), 1);
}

TEST_F(GroupOperation, PersonalGroupIsChosenAmongTheUsersOwnGroups)
{
    db.execute("insert into LocGrKl (idLocGrKl, LocGrKl, idUser) values (11, 'Мои', :u)", {{"u", me.IdUser}});
    db.execute("insert into LocGrKl (idLocGrKl, LocGrKl, idUser) values (12, 'Чужие', :u)", {{"u", colleague.IdUser}});
    TGrOper op(TGrOper::LocGroup);
    answer<TfmSelectItem>([](TfmSelectItem& f) {
        EXPECT_EQ(f.windowTitle(), "Выбор личной группы");
        ASSERT_EQ(f.lb->count(), 1);
        EXPECT_EQ(f.lb->item(0)->text(), "Мои");
        f.lb->setCurrentRow(0);
        f.accept();
    });
    ASSERT_TRUE(op.GetParams());
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(count("select count(distinct idCust) from Loc_Kl where idLocGrKl = 11 and " + mine()), 3);
    EXPECT_EQ(count("select count(*) from Loc_Kl where " + mine()), 3);
}

TEST_F(GroupOperation, DealIsCreatedForEveryClient)
{
    // The shared users list stands on another user: the curator is still the user.
    if (!dm->qryUser.active()) dm->qryUser.open();
    for (dm->qryUser.first(); !dm->qryUser.eof() && dm->qryUser.fieldByName("IDUSER").asInteger() == me.IdUser;)
        dm->qryUser.next();
    ASSERT_FALSE(dm->qryUser.eof());
    TGrOper op(TGrOper::Sdelka);
    answer<TfmSdelkaGroup>([this](TfmSdelkaGroup& f) {
        EXPECT_EQ(f.windowTitle(), "Параметры сделки");
        EXPECT_EQ(f.dblcUser->keyValue(), fw::Value(me.IdUser));
        EXPECT_EQ(f.edName->text(), "Новая сделка");
        EXPECT_EQ(f.dblcPrichina->keyValue(), fw::Value(0));
        EXPECT_EQ(f.dblcPrichina2->keyValue(), fw::Value(0));
        EXPECT_EQ(dmKlSd->qryPrichina2.filter(), "idPrichina=0");
        f.edName->setText(QString(255, QChar(0x042F)));   // the column's full width is accepted
        EXPECT_EQ(f.edName->text().size(), 255);
        f.edName->setText("Поставка 2024");
        f.accept();
    });
    ASSERT_TRUE(op.GetParams());
    ASSERT_NE(dmKlSd, nullptr);
    EXPECT_EQ(fieldNames(op), QStringList({"Name", "IDSDELKATYPE", "IDUSER", "IDPRICHINA", "IDPRICHINA2"}));
    // The reason filter is the dialog's own; the deal card finds the list as it was.
    EXPECT_NE(dmKlSd->qryPrichina2.filter(), "idPrichina=0");

    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(count("select count(*) from Sdelka where Name = 'Поставка 2024' and " + mine()), 3);
    for (int id : clients)
        EXPECT_EQ(count(QString("select count(*) from Sdelka where idCust = %1 and idSdelkaType = 0").arg(id)), 1);
    EXPECT_EQ(currentClient(), clients[1]);
}

TEST_F(GroupOperation, EmailListOfAllContactsOrOfTheFirstOnly)
{
    addContact(clients[0], "a@alfa.ru");
    addContact(clients[0], "b@alfa.ru");
    addContact(clients[1], "c@beta.ru");
    addContact(clients[1], "d@beta.ru");
    addContact(clients[2], "");
    addContact(clients[2], "e@gamma.ru");
    const QString done = "Список адресов скопирован в буфер обмена\nи готов для вставки в письмо.";

    TGrOper all(TGrOper::Email);
    answer<TfmGroupEmail>([](TfmGroupEmail& f) {
        EXPECT_EQ(f.edSeparator->text(), ";");
        EXPECT_TRUE(f.rbAll->isChecked());
        f.edSeparator->setText(", ");
        f.accept();
    });
    ASSERT_TRUE(all.GetParams());
    dialogs.expectInformation(done);
    EXPECT_TRUE(all.Execute());
    EXPECT_EQ(shell.clipboard, "a@alfa.ru, b@alfa.ru, c@beta.ru, d@beta.ru, e@gamma.ru");
    EXPECT_EQ(count("select count(*) from contacts where " + mine()), 6);

    // The third client's first contact has no address: it gives nothing.
    TGrOper first(TGrOper::Email);
    answer<TfmGroupEmail>([](TfmGroupEmail& f) {
        f.rbFirst->setChecked(true);
        f.accept();
    });
    ASSERT_TRUE(first.GetParams());
    dialogs.expectInformation(done);
    EXPECT_TRUE(first.Execute());
    EXPECT_EQ(shell.clipboard, "a@alfa.ru;c@beta.ru");
}

TEST_F(GroupOperation, EmailListWithoutAnyAddressIsEmpty)
{
    TGrOper op(TGrOper::Email);
    op.FieldValues.Add("Separator", ";");
    op.FieldValues.Add("AllContacts", 0);
    shell.clipboard = "old";
    dialogs.expectInformation();
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(shell.clipboard, "");
}

TEST_F(GroupOperation, FailureAtOneClientRollsBackTheWholeRun)
{
    // The database refuses history for the second client only, after the first has its row.
    db.execute("create exception GROPER_REFUSED 'Клиент заблокирован'");
    db.execute(QString("create trigger GROPER_REFUSE for history before insert as begin "
                       "if (new.idCust = %1) then exception GROPER_REFUSED; end")
                   .arg(clients[1]));
    TGrOper op(TGrOper::Hist);
    op.FieldValues.Add("idUser", me.IdUser);
    op.FieldValues.Add("DateCr", GetServerDate());
    op.FieldValues.Add("Note", "Разослан прайс");
    op.FieldValues.Add("FILEPATH", "");
    op.FieldValues.Add("idHistType", 0);
    op.FieldValues.Add("idContacts", fw::Value());
    dialogs.expectError();
    dialogs.expectWarning("Операция прервана на компании \"Бета\" и отменена: ни одна запись не сохранена.");

    EXPECT_FALSE(op.Execute());
    ASSERT_EQ(dialogs.shown().size(), 2);
    EXPECT_TRUE(dialogs.shown()[0].text.contains("Клиент заблокирован")) << dialogs.shown()[0].text.toStdString();
    EXPECT_EQ(count("select count(*) from history where " + mine()), 0);
    EXPECT_EQ(op.Processed, 0);
    EXPECT_FALSE(dm->db.inTransaction());
    EXPECT_EQ(fmGrOperProc, nullptr);
    // Nothing of the rolled-back run is left in the data set or its state.
    EXPECT_NE(dmKl->qryHist.state(), fw::DataSetState::Insert);
    EXPECT_TRUE(!dmKl->qryHist.active() || dmKl->qryHist.isEmpty());
    EXPECT_EQ(currentClient(), clients[1]);

    // The next run, once the refusal is gone, writes every client.
    db.execute("drop trigger GROPER_REFUSE");
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(count("select count(distinct idCust) from history where " + mine()), 3);
}

TEST_F(GroupOperation, BackdatedPlanWithoutTheRightWritesNothing)
{
    UserRights->DeletePravo(me.IdUser, 1029);
    TGrOper op(TGrOper::Plan);
    op.FieldValues.Add("DateCr", QDateTime(GetServerDate().date().addDays(-1), QTime(9, 0)));
    dialogs.expectError("Запрещено вводить план или историю задним числом!");
    dialogs.expectWarning("Операция прервана на компании \"Альфа\" и отменена: ни одна запись не сохранена.");
    EXPECT_FALSE(op.Execute());
    EXPECT_EQ(count("select count(*) from history where " + mine()), 0);
}

TEST_F(GroupOperation, CancelledDialogDoesNothing)
{
    TGrOper op(TGrOper::Email);
    answer<TfmGroupEmail>([](TfmGroupEmail& f) { f.reject(); });
    EXPECT_FALSE(op.GetParams());
    EXPECT_TRUE(op.FieldValues.Items.isEmpty());

    TGrOper group(TGrOper::GlGroup);
    answer<TfmSelectItem>([](TfmSelectItem& f) { f.reject(); });
    EXPECT_FALSE(group.GetParams());
}
