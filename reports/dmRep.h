#pragma once

#include "db/Currency.h"
#include "db/DataSource.h"
#include "db/Query.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <climits>

namespace fw { class Database; }

// One slice of the pivot report: the reference table the rows are grouped by
// and how it joins the payments (money mode) or the deals (quantity mode).
// KeyOplata and KeySdelka name the column of a payment's (a goods line's) row
// that leads to the slice's key: the key itself, or, when ViaTable is set, the
// ViaKey of a ViaTable row that holds the key in its IdField column.
struct TRazrezRec {
    QString Caption;
    QString IdField;
    QString NameField;
    QString TableName;
    QString JoinOplata;
    QString JoinSdelka;
    QString KeyOplata;
    QString KeySdelka;
    QString ViaTable;
    QString ViaKey;
};

// The fifteen slices in the order of cbRazrez.
QList<TRazrezRec> MakeRazrezRecs();

// One column of the pivot table.
struct TIntervalRec {
    QDate DateFrom;
    QDate DateTo;
    QString Caption;
};

// The sub-periods of cbInterval: none, decades, months, quarters, years.
enum TIntervalKind { ikNone = -1, ikDecade = 0, ikMonth = 1, ikQuarter = 2, ikYear = 3 };

// The columns of the period from..to (from <= to). The first starts on from,
// the last ends on to; each is captioned with its last day, except the single
// column of ikNone, captioned "from - to".
QList<TIntervalRec> MakeIntervals(const QDate& from, const QDate& to, int kind);

// A date written into SQL text: the short date format inside double quotes.
QString SqlDate(const QDate& date);
// The start of a day as a typed literal, "timestamp 'yyyy-mm-dd'".
QString SqlTimestamp(const QDate& date);

// What one run of the report is built from.
struct TRepParams {
    TRazrezRec Razrez;
    bool Money = true;          // rgType 0: payments; 1: goods quantities
    int Valuta = 1;             // rgMoney: 0 the first currency (SummaR), 1 the second (SummaD)
    bool SortByTotal = true;    // rgSort 1: by the sum, largest first; 0: by name
    QDate From, To;
    QStringList OgrLines;       // one condition per chosen restriction
    QString RecFilter;          // GetRecFilter() of the current user, or ListedRecFilter() of it
};

// The visibility clause with a sub-select of the users (the department's rows)
// as the list of the user ids it admits, read once here instead of once a row.
// Any other clause, and one that admits nobody, comes back as it was.
QString ListedRecFilter(fw::Database& db, const QString& recFilter);

// The statements of the report. Date ranges are half-open (>= first day and
// < the day after the last), since DATE columns carry a time of day.
// ItogoSql gives the totals by slice value ("idName", "Name", "Summa"); given
// intervals (following each other without a gap inside the period, as
// MakeIntervals makes them), each row also carries the sum of every interval,
// "Summa1".."SummaN", so one statement reads the payments once. The totals are
// those of the statement without intervals: the same rows, grouping and order.
// IntervalSql gives the key and "Summa" of one interval.
// Every payment (goods line) of the period that the user sees counts in every
// slice: a key that leads to no row of the slice's table (a removed goods
// item, a NULL key) is a row of its own named "-", with a NULL idName when
// there is no key, so the slices all total the same money.
QStringList ItogoSql(const TRepParams& p, const QList<TIntervalRec>& intervals = {});
QStringList IntervalSql(const TRepParams& p, const TIntervalRec& interval);
// The rows the report sums, whatever the slice.
QStringList DetalSql(const TRepParams& p);

// One row of the pivot table: a slice value with its sum in every interval and
// over the whole period.
struct TRepRow {
    static constexpr int NoKey = INT_MIN;   // the row of the payments without a key
    int Id = 0;
    QString Name;
    fw::Currency Total;
    QList<fw::Currency> Sums;   // one per interval, 0 where the value has none
};

// The numbers of a run: the rows in the order of the totals statement, the
// interval columns' totals and the grand total.
struct TRepTable {
    QList<TRepRow> Rows;
    QList<fw::Currency> ColumnTotals;
    fw::Currency Total;
};

// The statements a run is read with (another builder of the same columns
// compares with these).
struct TRepStatements {
    QStringList (*Itogo)(const TRepParams&, const QList<TIntervalRec>&) = ItogoSql;
    QStringList (*Interval)(const TRepParams&, const TIntervalRec&) = IntervalSql;
};

// The report's data module: totals, one sub-period, restriction values and the
// detail rows, all on the main connection; their SQL is set by the window.
class TdmRep : public QObject {
    Q_OBJECT
public:
    explicit TdmRep(QObject* owner = nullptr);
    ~TdmRep() override;

    // How the interval sums are read: in qryItogo beside the totals, or one
    // statement per interval in qryInterval.
    enum class IntervalWay { Grouped, OnePerInterval };

    // Opens qryItogo for the run and reads every number of the pivot table;
    // qryItogo stays open, qryInterval is closed again.
    TRepTable Run(const TRepParams& p, const QList<TIntervalRec>& intervals,
                  IntervalWay way = IntervalWay::Grouped, TRepStatements sql = {});

    fw::Query qryItogo;
    fw::Query qryInterval;
    fw::Query qryList;
    fw::Query qryDetal;
    fw::DataSource dsDetal;
};

extern TdmRep* dmRep;
