// Rows that others point to are never deleted from under them: every
// reference list, departments, and through the server with two workstations.

#include "ReferenceListsFixture.h"

#include "core/Users.h"
#include "core/fmUsers.h"
#include "core/schema/References.h"

#include "support/Refusal.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <thread>

using testing_support::refusal;

namespace {

// A database made before the keys existed: the same tables without them.
void dropReferenceKeys(const fw::ConnectParams& p)
{
    fw::Database d(p);
    d.connect();
    QSet<QString> dropped;
    for (const schema::Use& u : schema::uses()) {
        const QString name = QString("FK_%1_%2").arg(u.usingTable, u.column);
        if (!dropped.contains(name)) d.execute(QString("alter table %1 drop constraint %2").arg(u.usingTable, name));
        dropped << name;
    }
}

// The form of a count's noun after "в": 1, 21, 101 take the singular, 11 does not.
QString countedAs(const schema::Use& u, int n)
{
    return QString("%1 %2").arg(n).arg(n % 10 == 1 && n % 100 != 11 ? u.one : u.many);
}

class ReferenceRows : public ReferenceLists {
protected:
    void SetUp() override
    {
        ReferenceLists::SetUp();
        db.execute("update or insert into SDELKA (IDSDELKA, NAME) values (900000, 'Сделка') matching (IDSDELKA)");
    }
    // A goods item added in the editor, left current on the goods level of the list shown.
    int newGoodsItem(TSprav* goods, const QString& name)
    {
        fw::Query& q = *goods->Queries[1];
        q.append();
        q.fieldByName("Tovar").setAsString(name);
        q.post();
        return q.fieldByName("idTovar").asInteger();
    }
    QString keyOf(const QString& table)
    {
        return db.selectValue("select trim(s.rdb$field_name) from rdb$relation_constraints c join rdb$index_segments s"
                              " on s.rdb$index_name = c.rdb$index_name where c.rdb$constraint_type = 'PRIMARY KEY'"
                              " and c.rdb$relation_name = :t", {{"t", table}})
            .asString();
    }
    // A row of u's table pointing at id, of the kind u counts.
    void use(const schema::Use& u, int id)
    {
        QString columns = QString("%1, %2").arg(keyOf(u.usingTable), u.column), values = ":k, :id";
        const QString condition = u.condition ? QString(u.condition) : QString();
        if (condition.startsWith("IDSDELKA is not")) columns += ", IDSDELKA", values += ", 900000";
        if (condition.startsWith("HISTORY =")) columns += ", HISTORY", values += ", '-'";
        if (condition.startsWith("HISTORY is")) columns += ", HISTORY", values += ", '+'";
        db.execute(QString("insert into %1 (%2) values (%3)").arg(u.usingTable, columns, values),
                   {{"k", ++key_}, {"id", id}});
    }

    // Every level of every list: a new row used by random numbers of rows of
    // some of its using kinds is refused, naming each count, and nothing
    // changes; once unused it is deleted.
    void usedRowsAreRefusedWithTheirCounts()
    {
        QRandomGenerator random(31);
        const int counts[] = {1, 2, 5, 11, 21, 22};
        for (int n = 0; n < SpravCount; ++n) {
            TSprav* s = select(n);
            // A district's regions are assigned, not deleted.
            const int levels = n == 3 ? 1 : s->Rec.Count;
            // A new row on every level, each under the one above; then from the deepest up.
            QList<int> ids;
            for (int l = 0; l < levels; ++l) {
                const TSpravTable& t = s->Rec.Tables[size_t(l)];
                fw::Query& q = *s->Queries[size_t(l)];
                q.append();
                q.fieldByName(t.Field1).setAsString(QString("Проба %1").arg(t.TableName));
                q.post();
                ids << q.fieldByName(t.KeyField).asInteger();
            }
            for (int l = levels - 1; l >= 0; --l) {
                const TSpravTable& t = s->Rec.Tables[size_t(l)];
                SCOPED_TRACE((s->Rec.Name + " / " + t.TableName).toStdString());
                fw::Query& q = *s->Queries[size_t(l)];
                const int id = ids[l];
                ASSERT_TRUE(q.locate(t.KeyField, id));
                const QString exists = QString("select count(*) from %1 where %2 = %3").arg(t.TableName, t.KeyField).arg(id);

                QList<QPair<const schema::Use*, int>> used;
                for (const schema::Use& u : schema::uses())
                    if (t.TableName.compare(u.table, Qt::CaseInsensitive) == 0 && random.bounded(3) > 0)
                        used.append({&u, counts[random.bounded(int(std::size(counts)))]});
                for (const auto& [u, c] : used)
                    for (int i = 0; i < c; ++i) use(*u, id);

                if (!used.isEmpty()) {
                    dialogs.expectConfirm(true, "Удалить?");
                    const QString message = refusal([&] { s->DelClick(l); });
                    EXPECT_TRUE(message.endsWith("нельзя.")) << message.toStdString();
                    EXPECT_TRUE(message.contains(QString("«Проба %1»").arg(t.TableName)));
                    for (const auto& [u, c] : used) {
                        EXPECT_TRUE(message.contains(countedAs(*u, c))) << message.toStdString();
                        const QString where = u->condition ? QString(" and (%1)").arg(u->condition) : QString();
                        EXPECT_EQ(count(QString("select count(*) from %1 where %2 = %3%4")
                                            .arg(u->usingTable, u->column).arg(id).arg(where)),
                                  c);
                    }
                    EXPECT_EQ(count(exists), 1);
                    EXPECT_TRUE(q.locate(t.KeyField, id));
                    for (const auto& [u, c] : used)
                        db.execute(QString("delete from %1 where %2 = %3").arg(u->usingTable, u->column).arg(id));
                }
                dialogs.expectConfirm(true, "Удалить?");
                s->DelClick(l);
                EXPECT_EQ(count(exists), 0);
            }
        }
    }

    int key_ = 700000;
};

class ReferenceRowsOfAnOldDatabase : public ReferenceRows {
protected:
    static void SetUpTestSuite()
    {
        ReferenceRows::SetUpTestSuite();
        dropReferenceKeys(params());
    }
};

} // namespace

TEST_F(ReferenceRows, AGoodsItemOnDealLinesIsRefusedNamingThem)
{
    TSprav* s = select(1);
    const int id = newGoodsItem(s, "Выезд инженера");
    for (int i = 0; i < 48; ++i) use(schema::uses()[4], id);
    ASSERT_STREQ(schema::uses()[4].many, "строках товара сделок");
    dialogs.expectConfirm(true, "Удалить?");
    EXPECT_EQ(refusal([&] { s->DelClick(1); }),
              "Товар «Выезд инженера» указан в 48 строках товара сделок; удалить его нельзя.");
    EXPECT_EQ(count(QString("select count(*) from Sales where idTovar = %1").arg(id)), 48);
    db.execute(QString("delete from Sales where idTovar = %1").arg(id));
}

TEST_F(ReferenceRows, EveryListRefusesUsedRowsAndDeletesUnusedOnes)
{
    usedRowsAreRefusedWithTheirCounts();
}

TEST_F(ReferenceRowsOfAnOldDatabase, EveryListRefusesUsedRowsAndDeletesUnusedOnes)
{
    usedRowsAreRefusedWithTheirCounts();
}

TEST_F(ReferenceRows, ADepartmentIsCheckedInTheDatabaseNotInTheWindow)
{
    UserRights = new TUsers;
    TOtdelRecord otdel{-1, "Отдел Б"};
    UserRights->AddOtdel(otdel);
    {
        TfmUsers w;   // opened before the user below was added elsewhere
        db.execute("insert into USERS (IDUSER, IDOTDEL, NAME) values (800001, :o, 'Новый')", {{"o", otdel.IdOtdel}});
        w.tvUsers->setCurrentItem(w.OtdelNode(otdel.IdOtdel));
        dialogs.expectConfirm(true, "Удалить отдел \"Отдел Б\"?");
        EXPECT_EQ(refusal([&] { w.tbGroupDelClick(); }), "Нельзя удалять отдел, в котором есть пользователи!");
        EXPECT_NE(w.OtdelNode(otdel.IdOtdel), nullptr);
    }
    EXPECT_EQ(count(QString("select count(*) from Otdel where idOtdel = %1").arg(otdel.IdOtdel)), 1);
    db.execute("delete from USERS where IDUSER = 800001");
    delete UserRights;
    UserRights = nullptr;
}

// --- two workstations on the server

namespace {

class TwoWorkstations : public testing_support::OnServerOrNot<ReferenceRows> {
protected:
    // The other workstation writes in a transaction of its own and finishes it
    // while this one's delete waits for it.
    struct Other {
        explicit Other(const fw::ConnectParams& p) : db(p) { db.connect(); }
        void begin(const QString& sql)
        {
            db.startTransaction();
            db.execute(sql);
        }
        std::thread finishSoon(bool commit)
        {
            return std::thread([this, commit] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                commit ? db.commit() : db.rollback();
            });
        }
        fw::Database db;
    };

    // Deletes while the other workstation adds a use (row 800002, then 800003):
    // refused when that commits; once the use is gone and the next one is
    // rolled back, deleted.
    void deleteWhileAUseIsAdded(const QString& insert, const QString& table, const std::function<void()>& remove,
                                const QString& refused, const QString& exists)
    {
        Other other(params());
        other.begin(insert.arg(800002));
        std::thread finish = other.finishSoon(true);
        EXPECT_EQ(refusal(remove), refused);
        finish.join();
        EXPECT_EQ(count(exists), 1);

        db.execute(QString("delete from %1 where %2 = 800002").arg(table, keyOf(table)));
        other.begin(insert.arg(800003));
        finish = other.finishSoon(false);
        EXPECT_EQ(refusal(remove), "");
        finish.join();
        EXPECT_EQ(count(exists), 0);
    }

    void departmentAndGoodsItem()
    {
        UserRights = new TUsers;
        TOtdelRecord otdel{-1, "Отдел Б"};
        UserRights->AddOtdel(otdel);
        TfmUsers w;
        w.tvUsers->setCurrentItem(w.OtdelNode(otdel.IdOtdel));
        const QString question = "Удалить отдел \"Отдел Б\"?";
        dialogs.expectConfirm(true, question).expectConfirm(true, question);
        deleteWhileAUseIsAdded(
            "insert into USERS (IDUSER, IDOTDEL, NAME) values (%1, " + QString::number(otdel.IdOtdel) + ", 'Новый')",
            "USERS", [&] { w.tbGroupDelClick(); }, "Нельзя удалять отдел, в котором есть пользователи!",
            QString("select count(*) from Otdel where idOtdel = %1").arg(otdel.IdOtdel));
        EXPECT_EQ(w.OtdelNode(otdel.IdOtdel), nullptr);
        EXPECT_EQ(count("select count(*) from Users u where not exists "
                        "(select * from Otdel o where o.idOtdel = u.idOtdel)"),
                  0);

        TSprav* s = select(1);
        const int id = newGoodsItem(s, "Выезд инженера");
        dialogs.expectConfirm(true, "Удалить?").expectConfirm(true, "Удалить?");
        deleteWhileAUseIsAdded(
            "insert into SALES (IDSALE, IDTOVAR) values (%1, " + QString::number(id) + ")", "SALES",
            [&] { s->DelClick(1); }, "Товар «Выезд инженера» указан в 1 строке товара клиента; удалить его нельзя.",
            QString("select count(*) from Tovar where idTovar = %1").arg(id));
        EXPECT_EQ(count("select count(*) from Sales l where not exists "
                        "(select * from Tovar t where t.idTovar = l.idTovar)"),
                  0);
        delete UserRights;
        UserRights = nullptr;
    }
};

class TwoWorkstationsOnAnOldDatabase : public TwoWorkstations {
protected:
    static void SetUpTestSuite()
    {
        TwoWorkstations::SetUpTestSuite();
        if (hasDatabase()) dropReferenceKeys(params());
    }
};

} // namespace

TEST_P(TwoWorkstations, AUseAddedWhileDeletingIsNeverLeftPointingAtNothing)
{
    departmentAndGoodsItem();

    // Deleted first: the other workstation's window, loaded before, can no longer point at it.
    TSprav* s = select(1);
    const int id = newGoodsItem(s, "Снят с продажи");
    dialogs.expectConfirm(true, "Удалить?");
    s->DelClick(1);
    Other other(params());
    try {
        other.db.execute(QString("insert into SALES (IDSALE, IDTOVAR) values (800004, %1)").arg(id));
        ADD_FAILURE() << "a goods line of a deleted goods item was stored";
    } catch (const fw::DbError& e) {
        EXPECT_EQ(e.kind(), fw::DbErrorKind::ForeignKey);
        EXPECT_TRUE(e.message().startsWith("Запись нельзя сохранить")) << e.message().toStdString();
    }
}

TEST_P(TwoWorkstationsOnAnOldDatabase, AUseAddedWhileDeletingIsNeverLeftPointingAtNothing)
{
    departmentAndGoodsItem();
}

INSTANTIATE_TEST_SUITE_P(OnServer, TwoWorkstations, testing::Values(true));
INSTANTIATE_TEST_SUITE_P(OnServer, TwoWorkstationsOnAnOldDatabase, testing::Values(true));
