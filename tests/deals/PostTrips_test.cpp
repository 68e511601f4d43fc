// The common posts through the server cost few round trips and write what
// they always wrote: a client field, a history note, a payment with the deal
// card's refresh after it, counted by a relay in front of the server.
#include "SdelkaFixture.h"

#include "support/PostTrips.h"
#include "support/TestDatabase.h"

#include <QTabWidget>

namespace {

class PostTrips : public testing_support::OnServerOrNot<DealCardTest> {};

TEST_P(PostTrips, TheCommonPostsStayWithinTheirRoundTrips)
{
    Grant({1002});   // the client's own curator edits it
    const int sale = AddSale(AddTovarItem("Станок", 100), 3000, 100, 30);
    testing_support::TcpProxy relay(3050);
    dm->db.disconnect();
    dm->db.setParams(testing_support::throughPort(params(), relay.port()));
    dm->db.connect();
    Open();
    Page(card->tsTovar);
    dmKl->qryHist.open();

    // Each twice: the session's first post prepares its statements.
    long field = 0, payment = 0;
    testing_support::NoteTrips note;
    for (int i = 1; i <= 2; ++i) {
        field = testing_support::FieldTrips(relay, dmKl->qryCust, "FAX", QString("%1-%1").arg(i));
        note = testing_support::HistoryNoteTrips(relay, dmKl->qryHist, QString("Звонок %1").arg(i));
        payment = testing_support::PaymentTrips(relay, *card, fw::Currency::fromInt(300), fw::Currency::fromInt(10),
                                                     fw::Currency::fromInt(30));
    }
    EXPECT_LE(field, testing_support::kFieldTripsGoal);
    EXPECT_LE(note.total(), testing_support::kNoteTripsGoal);
    EXPECT_LE(payment, testing_support::kPaymentTripsGoal);
    EXPECT_GT(payment, 0);

    EXPECT_EQ(Stored(QString("select FAX from Customer where idCust = %1").arg(idCust)).asString(), "2-2");
    EXPECT_EQ(Stored(QString("select count(*) from History where idCust = %1 and History = '+' "
                             "and Note starting with 'Звонок'").arg(idCust)).asInt(), 2);
    EXPECT_EQ(dmKl->qryHist.fieldByName("NOTE").asString(), "Звонок 2");
    EXPECT_FALSE(dmKl->qryHist.fieldByName("IDHIST").isNull());
    // The card shows what the database keeps after both payments: the line's paid sum and its payments.
    EXPECT_EQ(StoredMoney(QString("select SUMMARF from Sales where idSale = %1").arg(sale)), fw::Currency::fromInt(600));
    EXPECT_EQ(dmKlSd->qrySales.fieldByName("SUMMARF").asCurrency(), fw::Currency::fromInt(600));
    EXPECT_EQ(dmKlSd->qryOplata.recordCount(), 2);
    EXPECT_TRUE(card->SdelkaChanged);
}

INSTANTIATE_TEST_SUITE_P(OnServer, PostTrips, testing::Values(true));

} // namespace
