#pragma once
// The three posts a user makes most, each counted in round trips to the server
// through a relay: one client field, a new history note, a payment through the
// payment dialog's OK with the deal card's refresh after it. Shared by the test
// that holds the counts to their goals and by bench_posts.

#include "TcpProxy.h"

#include "db/DataSet.h"
#include "db/Currency.h"
#include "deals/fmSdOplata.h"
#include "deals/fmSdelka.h"

#include <QPushButton>
#include <QTimer>

namespace testing_support {

// At most this many round trips once the statements are prepared.
constexpr long kFieldTripsGoal = 5;
constexpr long kNoteTripsGoal = 6;
constexpr long kPaymentTripsGoal = 9;

// One field of the current client changed and posted.
inline long FieldTrips(TcpProxy& relay, fw::DataSet& cust, const QString& field, const QString& value)
{
    relay.resetRoundTrips();
    cust.edit();
    cust.fieldByName(field).setAsString(value);
    cust.post();
    return relay.roundTrips();
}

// A new history note: the new row (its defaults, the server's date among
// them), then its text and the post (its key and the insert).
struct NoteTrips {
    long newRecord = 0;
    long post = 0;
    long total() const { return newRecord + post; }
};
inline NoteTrips HistoryNoteTrips(TcpProxy& relay, fw::DataSet& hist, const QString& note)
{
    NoteTrips t;
    relay.resetRoundTrips();
    hist.append();
    t.newRecord = relay.roundTrips();
    relay.resetRoundTrips();
    hist.fieldByName("NOTE").setAsString(note);
    hist.post();
    t.post = relay.roundTrips();
    return t;
}

// A payment on every goods line with a planned sum, from the dialog's OK to
// the card's goods lines read again; -1 when the dialog was not shown or
// refused the payment.
inline long PaymentTrips(TcpProxy& relay, TfmSdelka& card, fw::Currency v1, fw::Currency v2, fw::Currency kurs)
{
    bool accepted = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!fmSdOplata || !fmSdOplata->isVisible()) return;
        poll.stop();
        fmSdOplata->SetValues(v1, v2, kurs);
        fmSdOplata->sbCheckAllClick();
        relay.resetRoundTrips();
        fmSdOplata->btnOK->click();
        accepted = !fmSdOplata->isVisible() && fmSdOplata->result() == QDialog::Accepted;
        if (!accepted) fmSdOplata->reject();
    });
    poll.start(5);
    SdOplataAdd(card);
    return accepted ? relay.roundTrips() : -1;
}

} // namespace testing_support
