#include "SdelkaFixture.h"

#include "widgets/ScriptedDialogs.h"

namespace {

using fw::Currency;

class DealModule : public SdelkaFixture {
protected:
    fw::ScriptedDialogs dialogs;

    QString DealSql(const char* column, int id)
    {
        return QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(id);
    }
    void Reread()
    {
        dmKlSd->qrySdelka.close();
        dmKlSd->qrySdelka.open();
    }
};

TEST_F(DealModule, NewDealPostedAtOnceGetsItsKeyAndDefaults)
{
    EXPECT_TRUE(dmKlSd->qryPrichina.active());
    EXPECT_TRUE(dmKlSd->qryPrichina2.active());

    const int id = NewDeal();
    EXPECT_GT(id, 0);
    EXPECT_EQ(Stored(DealSql("NAME", id)).asString(), "Новая сделка");
    EXPECT_EQ(Stored(DealSql("IDCUST", id)).asInt(), idCust);
    EXPECT_EQ(Stored(DealSql("IDUSER", id)).asInt(), me.IdUser);
    EXPECT_EQ(Stored(DealSql("IDSDELKA_ST", id)).asInt(), 1);
    EXPECT_EQ(Stored(DealSql("DATE_BEGIN", id)).asDateTime(), Today());
    EXPECT_EQ(Stored(DealSql("IDPRICHINA2", id)).asInt(), 0);
    EXPECT_EQ(Stored(DealSql("IDSDELKATYPE", id)).asInt(), 0);
    for (const char* total : {"OPLATRP", "OPLATDP", "OPLATRF", "OPLATDF"})
        EXPECT_EQ(StoredMoney(DealSql(total, id)), Currency()) << total;
    for (const char* empty : {"DATE_END", "DATECR", "ACCESS", "IDDOG", "IDETAP"})
        EXPECT_TRUE(Stored(DealSql(empty, id)).isNull()) << empty;

    // The opener's parameter now names the deal: reopening finds it.
    Reread();
    EXPECT_EQ(dmKlSd->qrySdelka.recordCount(), 1);
    EXPECT_EQ(dmKlSd->qrySdelka.fieldByName("IDSDELKA").asInteger(), id);
}

TEST_F(DealModule, NewDealWithoutAClientIsRefusedSilently)
{
    dmKl->qryCust.close();
    dmKl->qryCust.setSql({"select *", "from Customer", "where idCust = -1"});
    dmKl->qryCust.open();
    const int before = Stored("select count(*) from Sdelka").asInt();
    fw::Query& q = dmKlSd->qrySdelka;
    q.paramByName("idSdelka").setValue(0);
    q.open();
    EXPECT_EQ(refusal([&] { q.append(); }), "abort");
    EXPECT_EQ(q.state(), fw::DataSetState::Browse);
    EXPECT_EQ(Stored("select count(*) from Sdelka").asInt(), before);
}

TEST_F(DealModule, StageNeedsItsKindAndTakesTheDealAndUser)
{
    const int deal = NewDeal();
    fw::Query& e = dmKlSd->qryEtaps;
    e.open();
    e.append();
    EXPECT_EQ(e.fieldByName("IDSDELKA").asInteger(), deal);
    EXPECT_EQ(e.fieldByName("IDUSER").asInteger(), me.IdUser);
    EXPECT_EQ(refusal([&] { e.post(); }), "Не указан этап!");
    EXPECT_EQ(e.state(), fw::DataSetState::Insert);
    EXPECT_TRUE(e.fieldByName("IDETAPS").isNull());

    AddEtapKind(7, "Переговоры");
    e.fieldByName("IDETAP").setAsInteger(7);
    e.fieldByName("NOTE").setAsString("позвонить");
    e.post();
    const int key = e.fieldByName("IDETAPS").asInteger();
    EXPECT_GT(key, 0);
    EXPECT_EQ(Stored(QString("select idSdelka from Etaps where idEtaps = %1").arg(key)).asInt(), deal);
}

TEST_F(DealModule, GoodsLineDefaultsAndChecks)
{
    const int deal = NewDeal();
    fw::Query& s = dmKlSd->qrySales;
    s.open();
    s.append();
    EXPECT_EQ(s.fieldByName("IDSDELKA").asInteger(), deal);
    EXPECT_EQ(s.fieldByName("IDCUST").asInteger(), idCust);
    EXPECT_EQ(s.fieldByName("IDUSER").asInteger(), me.IdUser);
    EXPECT_EQ(s.fieldByName("KOLVO").asCurrency(), Currency::fromInt(1));
    EXPECT_EQ(s.fieldByName("BACK").asString(), "-");
    EXPECT_EQ(s.fieldByName("UCHEB").asString(), "-");
    EXPECT_EQ(s.fieldByName("UPGRADE").asString(), "-");
    EXPECT_EQ(s.fieldByName("SALESCOMPANY").asString(), "Наша фирма");
    EXPECT_TRUE(s.fieldByName("DATEREG").isNull());

    // The quantity is looked at before the sums.
    s.fieldByName("SUMMARP").setAsCurrency(Currency::fromInt(5));
    for (int kolvo : {0, -2}) {
        s.fieldByName("KOLVO").setAsCurrency(Currency::fromInt(kolvo));
        EXPECT_EQ(refusal([&] { s.post(); }), "Не верно указано количество!") << kolvo;
    }
    s.fieldByName("KOLVO").setAsCurrency(Currency::fromInt(2));
    EXPECT_EQ(refusal([&] { s.post(); }), "Не правильно указана стоимость товара!");
    s.fieldByName("SUMMADP").setAsCurrency(Currency::fromInt(1));
    EXPECT_EQ(refusal([&] { s.post(); }), "Не правильно указана стоимость товара!");   // rate 0
    EXPECT_EQ(s.state(), fw::DataSetState::Insert);
    EXPECT_TRUE(s.fieldByName("IDSALE").isNull());

    // All three zero is a line without a price.
    s.fieldByName("SUMMARP").setAsCurrency(Currency());
    s.fieldByName("SUMMADP").setAsCurrency(Currency());
    s.post();
    EXPECT_GT(s.fieldByName("IDSALE").asInteger(), 0);
    EXPECT_EQ(Stored(QString("select count(*) from Sales where idSdelka = %1").arg(deal)).asInt(), 1);
}

TEST_F(DealModule, DatabaseKeepsTheTotalsOfGoodsLinesAndPayments)
{
    const int deal = NewDeal();
    const int tovar = AddTovarItem("Станок", 100);
    const int sale = AddSale(tovar, 3000, 100, 30);
    AddSale(tovar, 300, 10, 30);
    Reread();
    fw::Query& d = dmKlSd->qrySdelka;
    EXPECT_EQ(d.fieldByName("OPLATRP").asCurrency(), Currency::fromInt(3300));
    EXPECT_EQ(d.fieldByName("OPLATDP").asCurrency(), Currency::fromInt(110));
    EXPECT_EQ(d.fieldByName("OPLATRF").asCurrency(), Currency());

    // A payment of the first line: its paid sums and the deal's fact follow.
    dmKlSd->qrySales.locate("IDSALE", sale);
    fw::Query& o = dmKlSd->qryOplata;
    ASSERT_TRUE(o.active());
    o.append();
    for (const auto& [name, value] : {std::pair{"IDSALE", fw::Value(sale)}, {"IDUSER", fw::Value(me.IdUser)},
                                      {"ACCESS", fw::Value("+")}, {"DATEOPL", fw::Value(Today())}})
        o.fieldByName(name).setValue(value);
    o.fieldByName("SUMMAR").setAsCurrency(Currency::fromInt(1500));
    o.fieldByName("SUMMAD").setAsCurrency(Currency::fromInt(50));
    o.fieldByName("KURS").setAsCurrency(Currency::fromInt(30));
    o.post();
    EXPECT_GT(o.fieldByName("IDOPLATA").asInteger(), 0);
    EXPECT_EQ(StoredMoney(QString("select summarf from Sales where idSale = %1").arg(sale)),
              Currency::fromInt(1500));

    // An edit of the deal from a row read before the payment leaves the totals to the database.
    d.edit();
    d.fieldByName("NAME").setAsString("Поставка станков");
    d.post();
    EXPECT_EQ(StoredMoney(DealSql("OPLATRF", deal)), Currency::fromInt(1500));
    EXPECT_EQ(StoredMoney(DealSql("OPLATDF", deal)), Currency::fromInt(50));
    EXPECT_EQ(StoredMoney(DealSql("OPLATRP", deal)), Currency::fromInt(3300));

    // Deleting the payment and then the line takes their sums away again.
    dialogs.expectConfirm(true, "Удалить?").expectConfirm(true, "Удалить?");
    o.remove();
    dmKlSd->qrySales.locate("IDSALE", sale);
    dmKlSd->qrySales.remove();
    EXPECT_EQ(StoredMoney(DealSql("OPLATRF", deal)), Currency());
    EXPECT_EQ(StoredMoney(DealSql("OPLATRP", deal)), Currency::fromInt(300));
    EXPECT_EQ(Stored(QString("select count(*) from Oplata where idSale = %1").arg(sale)).asInt(), 0);
}

TEST_F(DealModule, DeletingAStageAsksAndClearsTheRefusalStageOfItsKind)
{
    const int deal = NewDeal();
    AddEtapKind(7, "Переговоры");
    AddEtapKind(8, "Договор");
    fw::Query& e = dmKlSd->qryEtaps;
    e.open();
    for (int kind : {7, 8}) {
        e.append();
        e.fieldByName("IDETAP").setAsInteger(kind);
        e.post();
    }
    db.execute(QString("update Sdelka set idEtap = 7 where idSdelka = %1").arg(deal));
    Reread();
    fw::Query& d = dmKlSd->qrySdelka;

    // Declined: nothing changes.
    ASSERT_TRUE(e.locate("IDETAP", 7));
    dialogs.expectConfirm(false, "Удалить?");
    EXPECT_EQ(refusal([&] { e.remove(); }), "abort");
    EXPECT_EQ(e.recordCount(), 2);
    EXPECT_EQ(d.state(), fw::DataSetState::Browse);
    EXPECT_EQ(d.fieldByName("IDETAP").asInteger(), 7);

    // Another kind leaves the deal alone.
    ASSERT_TRUE(e.locate("IDETAP", 8));
    dialogs.expectConfirm(true, "Удалить?");
    e.remove();
    EXPECT_EQ(d.state(), fw::DataSetState::Browse);
    EXPECT_EQ(Stored(QString("select count(*) from Etaps where idSdelka = %1").arg(deal)).asInt(), 1);

    // The refusal stage's kind: the deal's IDETAP is cleared, written with the deal's next post.
    ASSERT_TRUE(e.locate("IDETAP", 7));
    dialogs.expectConfirm(true, "Удалить?");
    e.remove();
    EXPECT_EQ(Stored(QString("select count(*) from Etaps where idSdelka = %1").arg(deal)).asInt(), 0);
    EXPECT_EQ(d.state(), fw::DataSetState::Edit);
    EXPECT_TRUE(d.fieldByName("IDETAP").isNull());
    EXPECT_EQ(Stored(DealSql("IDETAP", deal)).asInt(), 7);
    d.post();
    EXPECT_TRUE(Stored(DealSql("IDETAP", deal)).isNull());
}

TEST_F(DealModule, PaymentsFollowTheGoodsLineOnlyWhileLinked)
{
    NewDeal();
    const int tovar = AddTovarItem("Станок", 100);
    const int first = AddSale(tovar, 100, 10, 10);
    const int second = AddSale(tovar, 200, 20, 10);
    db.execute("insert into Oplata (idOplata, idSale, summar, summad, kurs) values (:id, :s, 50, 5, 10)",
               {{"id", db.executeProcedure("ID_OPLATA")}, {"s", second}});
    fw::Query& s = dmKlSd->qrySales;
    fw::Query& o = dmKlSd->qryOplata;
    s.close();
    s.open();
    ASSERT_EQ(s.fieldByName("IDSALE").asInteger(), first);
    EXPECT_TRUE(o.active());
    EXPECT_EQ(o.recordCount(), 0);

    s.next();
    EXPECT_EQ(o.recordCount(), 1);
    EXPECT_EQ(o.fieldByName("IDSALE").asInteger(), second);

    dmKlSd->SalesLinked = false;
    s.first();
    EXPECT_EQ(o.recordCount(), 1);
    EXPECT_EQ(o.fieldByName("IDSALE").asInteger(), second);
}

TEST_F(DealModule, PaymentsPendingRowIsWrittenBeforeTheGoodsLineMovesAtItsEnds)
{
    NewDeal();
    const int tovar = AddTovarItem("Станок", 100);
    const int first = AddSale(tovar, 100, 10, 10);
    const int second = AddSale(tovar, 200, 20, 10);
    fw::Query& s = dmKlSd->qrySales;
    fw::Query& o = dmKlSd->qryOplata;
    s.close();
    s.open();
    ASSERT_TRUE(s.bof());
    QList<int> postedUnder;
    o.beforePost = [&, previous = o.beforePost](fw::DataSet& ds) {
        previous(ds);
        postedUnder << s.fieldByName("IDSALE").asInteger();
    };
    const auto typePayment = [&](int sale) {
        o.append();
        o.fieldByName("IDSALE").setAsInteger(sale);
        o.fieldByName("SUMMAR").setAsCurrency(fw::Currency::fromInt(30));
        o.fieldByName("SUMMAD").setAsCurrency(fw::Currency::fromInt(3));
        o.fieldByName("KURS").setAsCurrency(fw::Currency::fromInt(10));
    };

    // Leaving the first line (bof), then the last one (eof).
    typePayment(first);
    s.last();
    ASSERT_TRUE(s.eof());
    typePayment(second);
    s.first();
    EXPECT_EQ(postedUnder, (QList<int>{first, second}));
    EXPECT_EQ(Stored(QString("select count(*) from Oplata where idSale in (%1, %2)").arg(first).arg(second)).asInt(), 2);
    EXPECT_EQ(o.recordCount(), 1);
    EXPECT_EQ(o.fieldByName("IDSALE").asInteger(), first);

    // A refused payment keeps the line where it is and the typed values.
    o.beforePost = [](fw::DataSet&) { throw fw::UserError("нельзя"); };
    o.edit();
    o.fieldByName("SUMMAR").setAsCurrency(fw::Currency::fromInt(40));
    EXPECT_THROW(s.last(), fw::UserError);
    EXPECT_EQ(s.fieldByName("IDSALE").asInteger(), first);
    EXPECT_EQ(o.state(), fw::DataSetState::Edit);
    o.cancel();
}

TEST_F(DealModule, FreeingTheModulePostsAPendingEdit)
{
    const int deal = NewDeal();
    dmKlSd->qrySdelka.edit();
    dmKlSd->qrySdelka.fieldByName("NOTE").setAsString("срочно");
    delete dmKlSd;
    EXPECT_EQ(dmKlSd, nullptr);
    EXPECT_EQ(Stored(DealSql("NOTE", deal)).asString(), "срочно");
}

} // namespace
