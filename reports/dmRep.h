#pragma once

#include "db/Currency.h"
#include "db/DataSource.h"
#include "db/Query.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// One slice of the pivot report: the reference table the rows are grouped by
// and how it joins the payments (money mode) or the deals (quantity mode).
struct TRazrezRec {
    QString Caption;
    QString IdField;
    QString NameField;
    QString TableName;
    QString JoinOplata;
    QString JoinSdelka;
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

// What one run of the report is built from.
struct TRepParams {
    TRazrezRec Razrez;
    bool Money = true;          // rgType 0: payments; 1: goods quantities
    int Valuta = 1;             // rgMoney: 0 the first currency (SummaR), 1 the second (SummaD)
    bool SortByTotal = true;    // rgSort 1: by the sum, largest first; 0: by name
    QDate From, To;
    QStringList OgrLines;       // one condition per chosen restriction
    QString RecFilter;          // GetRecFilter() of the current user
};

// The statements of the report. Date ranges are half-open (>= first day and
// < the day after the last), since DATE columns carry a time of day.
// ItogoSql gives the totals by slice value; given intervals (following each
// other without a gap inside the period, as MakeIntervals makes them), each
// row also carries the sum of every interval, "Summa1".."SummaN", so one
// statement reads the payments once. The totals are those of the statement
// without intervals: the same rows, grouping and order.
QStringList ItogoSql(const TRepParams& p, const QList<TIntervalRec>& intervals = {});
QStringList IntervalSql(const TRepParams& p, const TIntervalRec& interval);
QStringList DetalSql(const TRepParams& p);

// One row of the pivot table: a slice value with its sum in every interval and
// over the whole period.
struct TRepRow {
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
                  IntervalWay way = IntervalWay::Grouped);

    fw::Query qryItogo;
    fw::Query qryInterval;
    fw::Query qryList;
    fw::Query qryDetal;
    fw::DataSource dsDetal;
};

extern TdmRep* dmRep;
