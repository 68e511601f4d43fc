#pragma once

#include "clients/ClientFixture.h"
#include "clients/dmKl.h"
#include "clients/fmKlient.h"
#include "core/dm.h"

#include "widgets/ScriptedDialogs.h"

#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>

// The clients window over the suite's database, opened with its first
// question answered, and rows written directly for it to show.
class KlientCardTest : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    TfmKlient* fm = nullptr;

    KlientCardTest() : LoggedInTest(true) {}
    void TearDown() override
    {
        delete fm;
        fm = nullptr;
        LoggedInTest::TearDown();
    }
    void open()
    {
        dialogs.expectConfirm(false, "Проверить невыполненные планы?");
        fm = new TfmKlient;
        fm->resize(1000, 700);
    }
    // The client's card with the sub-page shown.
    void card(int idCust, QWidget* page)
    {
        ASSERT_TRUE(fm->GoToKar(idCust, 0, 0, page));
        fm->pcDown->setCurrentWidget(page);
    }
    int addClient(int owner, const QString& company)
    {
        const int id = db.executeProcedure("ID_CUST").asInt();
        db.execute("insert into Customer (idCust, idUser, company, DateCr, polzov, regpolzov) "
                   "values (:id, :u, :c, :d, '-', '-')",
                   {{"id", id}, {"u", owner}, {"c", company}, {"d", GetServerDate()}});
        return id;
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }
    // Runs f once the next modal dialog runs its loop.
    static void whenModal(std::function<void()> f)
    {
        QTimer::singleShot(0, [f = std::move(f)] { f(); });
    }
};
