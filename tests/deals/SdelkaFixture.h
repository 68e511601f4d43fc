#pragma once

#include "clients/ClientFixture.h"

#include "clients/dmKl.h"
#include "core/Users.h"
#include "db/DbError.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdelka.h"
#include "support/Refusal.h"
#include "widgets/ScriptedDialogs.h"

#include <QDateTime>
#include <QTabWidget>
#include <QTime>
#include <gtest/gtest.h>
#include <memory>

// A logged-in user of a sales department, the clients module on one client and
// the deal module, as the clients window has them when it opens a deal card.
class SdelkaFixture : public LoggedInTest {
protected:
    int idCust = 0;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        db.execute("update ver set VALUTA1 = 'руб', VALUTA2 = 'USD', COMPANY = 'Наша фирма', "
                   "PRIZNAK1 = 'Учебный', PRIZNAK2 = 'Апгрейд'");
        dm->qryMain.open();
        Grant({1001, 1011, 1016, 1023});
        dm->qryUser.open();

        idCust = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company) values (:id, :u, 'Альфа')",
                   {{"id", idCust}, {"u", me.IdUser}});
        new TdmKl;
        dmKl->qryCust.setSql({"select *", "from Customer", "where idCust = " + QString::number(idCust)});
        dmKl->qryCust.open();
        new TdmKlSd;
    }
    void TearDown() override
    {
        delete dmKlSd;
        delete dmKl;
        LoggedInTest::TearDown();
    }

    static QDateTime Today() { return QDateTime(GetServerDate().date(), QTime(0, 0)); }

    // A new deal as the clients window makes one: parameter 0, append, post, then its key.
    int NewDeal()
    {
        fw::Query& q = dmKlSd->qrySdelka;
        q.close();
        q.paramByName("idSdelka").setValue(0);
        q.open();
        q.append();
        q.post();
        const int id = q.fieldByName("IDSDELKA").asInteger();
        q.paramByName("idSdelka").setValue(id);
        return id;
    }
    int AddTovarItem(const QString& name, int price)
    {
        const int id = db.selectValue("select coalesce(max(idTovar), 0) + 1 from Tovar").asInt();
        db.execute("insert into Tovar (idTovar, idGrTovar, tovar, price) values (:id, 0, :n, :p)",
                   {{"id", id}, {"n", name}, {"p", price}});
        return id;
    }
    // A goods line of the open deal, written through the module.
    int AddSale(int idTovar, int summaR, int summaD, int kurs)
    {
        fw::Query& s = dmKlSd->qrySales;
        if (!s.active()) s.open();
        s.append();
        s.fieldByName("IDTOVAR").setAsInteger(idTovar);
        s.fieldByName("SUMMARP").setAsCurrency(fw::Currency::fromInt(summaR));
        s.fieldByName("SUMMADP").setAsCurrency(fw::Currency::fromInt(summaD));
        s.fieldByName("KURS").setAsCurrency(fw::Currency::fromInt(kurs));
        s.post();
        return s.fieldByName("IDSALE").asInteger();
    }
    // A stage kind; the suite's database may hold it from an earlier test.
    void AddEtapKind(int id, const QString& name)
    {
        db.execute("update or insert into Etap (idEtap, etap) values (:id, :n) matching (idEtap)",
                   {{"id", id}, {"n", name}});
    }
    fw::Value Stored(const QString& sql) { return db.selectValue(sql); }
    fw::Currency StoredMoney(const QString& sql) { return db.selectValue(sql).asCurrency(); }
};

// The deal card over a new deal of the fixture's client.
class DealCardTest : public SdelkaFixture {
protected:
    fw::ScriptedDialogs dialogs;
    std::unique_ptr<TfmSdelka> card;
    int deal = 0;

    void SetUp() override
    {
        SdelkaFixture::SetUp();
        deal = NewDeal();
    }
    void TearDown() override
    {
        card.reset();
        SdelkaFixture::TearDown();
    }
    // The card on the deal, shown as the clients window shows it (here not modally).
    void Open()
    {
        dmKlSd->qrySdelka.close();
        dmKlSd->qrySdelka.open();
        card = std::make_unique<TfmSdelka>();
        card->show();
    }
    void Page(QWidget* page) { card->pcMain->setCurrentWidget(page); }
};

using testing_support::refusal;
