// Round trips to the server of the three posts a user makes most, counted by a
// relay between this program and the server: one client field, a new history
// note (its defaults, then its key and insert), and a payment through the
// payment dialog's OK with the deal card's goods lines read again after it.
// Each is counted twice: the first post of the session (statements prepared
// there) and the next. Beside them the minimum: the same rows written by bare
// prepared statements (start, execute, commit; for a payment also reading the
// goods lines back) on the same attachment. What the posts wrote is removed.
//   bench_posts DATABASE    (host:path of a --demo database; an embedded file has no round trips)
#include "BenchCommon.h"

#include "support/PostTrips.h"

#include "clients/dmKl.h"
#include "core/Users.h"
#include "core/dm.h"
#include "core/dmUsers.h"
#include "core/fmMain.h"
#include "db/Statement.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdelka.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QTabWidget>
#include <memory>

namespace {

using testing_support::TcpProxy;

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "bench_posts: %s\n", what.toUtf8().constData());
    std::exit(1);
}

// Round trips of fn, whose statements are prepared beforehand.
long bare(TcpProxy& relay, const std::function<void(fw::Transaction&)>& fn)
{
    relay.resetRoundTrips();
    fw::Transaction tr(dm->db);
    tr.start();
    fn(tr);
    tr.commit();
    return relay.roundTrips();
}

void report(const QString& work, long first, long next, long minimum, long goal)
{
    std::printf("%s: %ld round trips (the session's first: %ld); minimum %ld; goal at most %ld\n",
                work.toUtf8().constData(), next, first, minimum, goal);
    std::printf("TRIPS|%s|%ld|%ld|%ld|%ld\n", work.toUtf8().constData(), next, first, minimum, goal);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_posts DATABASE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (fw::isEmbeddedPath(path)) {
        std::printf("bench_posts: the embedded engine has no round trips to count\n");
        return 0;
    }
    // "host:file" or "host/port:file".
    const qsizetype colon = path.indexOf(':');
    const QString host = path.left(colon);
    const int port = host.contains('/') ? host.section('/', 1).toInt() : 3050;
    TcpProxy relay(port);
    fw::ConnectParams params = bench::params(path);
    params.path = QString("127.0.0.1/%1:%2").arg(relay.port()).arg(path.mid(colon + 1));

    FixFormatSettings();
    fw::ScriptedDialogs dialogs;
    dialogs.setFailureHandler([](const QString& message) { fail("unexpected dialog: " + message); });
    auto data = std::make_unique<Tdm>();
    dm = data.get();
    dm->db.beforeConnect = nullptr;   // no BR.INI: the database named here
    dm->db.setParams(params);
    dm->db.connect();
    auto users = std::make_unique<TdmUsers>();
    dmUsers = users.get();
    UserRights = new TUsers;
    if (!UserRights->GetUser(0, CurrentUser)) fail("no administrator in the database");
    dm->qryMain.open();
    dm->qryUser.open();

    // A deal with one goods line that has planned sums (one payment), and its client.
    const fw::Value deal = dm->db.selectValue(
        "select first 1 s.idSdelka from Sdelka s where "
        "(select count(*) from Sales l where l.idSdelka = s.idSdelka and l.summarp > 0 and l.summadp > 0) "
        "= 1 order by s.idSdelka");
    if (deal.isNull()) fail("no deal with goods lines: make the database with brontal-db --demo");
    const int idCust = dm->db.selectValue("select idCust from Sdelka where idSdelka = :d", {{"d", deal}}).asInt();
    const int maxHist = dm->db.selectValue("select coalesce(max(idHist), 0) from History").asInt();
    const int maxOplata = dm->db.selectValue("select coalesce(max(idOplata), 0) from Oplata").asInt();

    auto kl = std::make_unique<TdmKl>();
    dmKl->qryCust.setSql({"select *", "from Customer", "where idCust = " + QString::number(idCust)});
    dmKl->qryCust.open();
    const QString fax = dmKl->qryCust.fieldByName("FAX").asString();
    auto sd = std::make_unique<TdmKlSd>();
    dmKlSd->qrySdelka.paramByName("idSdelka").setValue(deal);
    dmKlSd->qrySdelka.open();
    auto card = std::make_unique<TfmSdelka>();
    card->show();
    card->pcMain->setCurrentWidget(card->tsTovar);
    dmKl->qryHist.open();

    const long field1 = testing_support::FieldTrips(relay, dmKl->qryCust, "FAX", "111-11-11");
    const long field2 = testing_support::FieldTrips(relay, dmKl->qryCust, "FAX", "222-22-22");
    const auto note1 = testing_support::HistoryNoteTrips(relay, dmKl->qryHist, "Звонок");
    const auto note2 = testing_support::HistoryNoteTrips(relay, dmKl->qryHist, "Письмо");
    const fw::Currency v1 = fw::Currency::fromInt(300), v2 = fw::Currency::fromInt(10), kurs = fw::Currency::fromInt(30);
    const long pay1 = testing_support::PaymentTrips(relay, *card, v1, v2, kurs);
    const long pay2 = testing_support::PaymentTrips(relay, *card, v1, v2, kurs);
    if (pay1 < 0 || pay2 < 0) fail("the payment dialog did not take the payment");

    // The same rows by bare statements, prepared beforehand.
    fw::Statement setFax(dm->db, "update Customer set FAX = :FAX where idCust = :id");
    setFax.setParam("id", idCust);
    setFax.setParam("FAX", QString("333-33-33"));
    const long fieldMin = bare(relay, [&](fw::Transaction& tr) { setFax.execute(tr); });
    fw::Statement addNote(dm->db, "insert into History (idHist, idCust, idUser, DateCr, History, Note, Access, "
                                  "Prior, Budil, idHistType) values (:id, :c, 0, 'now', '+', 'Факс', '+', '-', '-', 0)");
    addNote.setParam("id", dm->db.executeProcedure("ID_HIST"));
    addNote.setParam("c", idCust);
    const long noteMin = bare(relay, [&](fw::Transaction& tr) { addNote.execute(tr); });
    const fw::Value sale = dm->db.selectValue("select min(idSale) from Sales where idSdelka = :d and summarp > 0",
                                              {{"d", deal}});
    fw::Statement addPayment(dm->db, "insert into Oplata (idOplata, idSale, idUser, Access, DateCr, DateOpl, "
                                     "SummaD, SummaR, Kurs) values (:id, :s, 0, '+', 'today', 'today', 10, 300, 30)");
    addPayment.setParam("id", dm->db.executeProcedure("ID_OPLATA"));
    addPayment.setParam("s", sale);
    fw::Statement readSales(dm->db, "select * from Sales where idSdelka = :d");
    readSales.setParam("d", deal);
    const long paymentMin = bare(relay, [&](fw::Transaction& tr) {
        addPayment.execute(tr);
        readSales.execute(tr);
        while (readSales.fetch()) {
        }
    });

    card.reset();
    sd.reset();
    kl.reset();
    dm->db.execute("update Customer set FAX = :f where idCust = :c", {{"f", fax}, {"c", idCust}});
    dm->db.execute("delete from History where idHist > :h", {{"h", maxHist}});
    dm->db.execute("delete from Oplata where idOplata > :o", {{"o", maxOplata}});

    report("client field", field1, field2, fieldMin, testing_support::kFieldTripsGoal);
    report("history note", note1.total(), note2.total(), noteMin, testing_support::kNoteTripsGoal);
    std::printf("  of which the new row: %ld (first: %ld), the post: %ld (first: %ld)\n", note2.newRecord,
                note1.newRecord, note2.post, note1.post);
    report("payment", pay1, pay2, paymentMin, testing_support::kPaymentTripsGoal);
    delete UserRights;
    UserRights = nullptr;
    users.reset();
    data.reset();
    return 0;
}
