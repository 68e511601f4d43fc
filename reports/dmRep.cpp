#include "reports/dmRep.h"

#include "core/SqlText.h"
#include "core/dm.h"

#include "db/Database.h"
#include "db/Statement.h"
#include "db/Value.h"

#include <QHash>
#include <QRegularExpression>

TdmRep* dmRep = nullptr;

namespace {

// The day after d on which a new sub-period starts.
bool startsPeriod(const QDate& d, int kind)
{
    switch (kind) {
    case ikDecade: return d.day() == 1 || d.day() == 11 || d.day() == 21;
    case ikQuarter: return d.day() == 1 && (d.month() == 1 || d.month() == 4 || d.month() == 7 || d.month() == 10);
    case ikMonth: return d.day() == 1;
    case ikYear: return d.day() == 1 && d.month() == 1;
    default: return false;
    }
}

QString summed(const TRepParams& p)
{
    if (!p.Money) return "sl.Kolvo";
    return p.Valuta == 0 ? "o.SummaR" : "o.SummaD";
}

QString dateColumn(const TRepParams& p)
{
    return p.Money ? "o.DateOpl" : "sd.DateNakl";
}

QString keyColumn(const TRepParams& p)
{
    return p.Money ? p.Razrez.KeyOplata : p.Razrez.KeySdelka;
}

// A condition on the payment itself: it is tested where the payments are read.
bool onPayment(const TRepParams& p, const QString& condition)
{
    static const QRegularExpression paymentColumn("(^|[^\\w.])o\\.");
    return p.Money && paymentColumn.match(condition).hasMatch();
}

QString periodLine(const TRepParams& p, const QDate& from, const QDate& to)
{
    const QString col = dateColumn(p);
    return "and " + col + " >= " + SqlTimestamp(from) + " and " + col + " < " + SqlTimestamp(to.addDays(1));
}

// The sum over the period, then each interval's: a row counts in the interval
// whose bounds hold its date; a bound the period line sets already is left
// out, so a single interval over the whole period sums what the total does.
QString periodSums(const TRepParams& p, const QDate& from, const QDate& to, const QList<TIntervalRec>& intervals)
{
    const QString col = dateColumn(p);
    QString sums = "sum(" + summed(p) + ") as Summa";
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        QStringList bounds;
        if (intervals[i].DateFrom > from) bounds << col + " >= " + SqlTimestamp(intervals[i].DateFrom);
        if (intervals[i].DateTo < to) bounds << col + " < " + SqlTimestamp(intervals[i].DateTo.addDays(1));
        const QString sum = bounds.isEmpty() ? summed(p) : "case when " + bounds.join(" and ") + " then " + summed(p) + " end";
        sums += QString(", sum(%1) as Summa%2").arg(sum).arg(i + 1);
    }
    return sums;
}

// The sums of the groups below, added up (sum) or passed on.
QString sumsOf(const QString& alias, qsizetype intervals, bool add)
{
    const auto column = [&](const QString& name) {
        return add ? "sum(" + alias + "." + name + ") as " + name : alias + "." + name;
    };
    QString sums = column("Summa");
    for (qsizetype i = 1; i <= intervals; ++i) sums += ", " + column(QString("Summa%1").arg(i));
    return sums;
}

// The clause of GetRecFilter for a user who sees every user's rows.
bool seesEveryone(const TRepParams& p)
{
    return p.RecFilter.compare("idUser is not null", Qt::CaseInsensitive) == 0;
}

// The money (quantities) of the period by the row's key column "k".
// Money: the payments are summed by goods line first and only those sums are
// joined to the goods lines, deals and clients, a third of the lookups of
// joining every payment. The deals and clients are joined by hash ("+ 0" keeps
// the engine off their indexes) when about half of them are touched, as by
// every user's payments of more than half a year (a year: a quarter less time
// than a lookup a goods line); by key otherwise (a month: an eighth less time than
// hash joins, which read all deals and clients).
// Quantities: every goods line is read anyway, and hash joins take a third less
// time than a lookup a line.
QStringList groupedSql(const TRepParams& p, const QDate& from, const QDate& to, const QList<TIntervalRec>& intervals)
{
    const QString key = keyColumn(p);
    const QString visibility = (p.Money ? "o." : "sd.") + p.RecFilter;
    QStringList sql;
    if (!p.Money) {
        sql << "select " + key + " as k, " + periodSums(p, from, to, intervals)
            << "from Sdelka sd, Sales sl, Customer c"
            << "where sl.idSdelka + 0 = sd.idSdelka + 0 and c.idCust + 0 = sd.idCust + 0 and " + visibility
            << periodLine(p, from, to) << p.OgrLines << "group by 1";
        return sql;
    }
    QStringList payment, other;
    for (const QString& line : p.OgrLines) (onPayment(p, line) ? payment : other) << line;
    const bool paymentKey = onPayment(p, key);
    sql << "select " + (paymentKey ? QString("pl.k") : key) + " as k, " + sumsOf("pl", intervals.size(), true)
        << "from (select o.idSale, " + (paymentKey ? key + " as k, " : QString()) + periodSums(p, from, to, intervals)
        << "  from Oplata o"
        << "  where " + visibility
        << "  " + periodLine(p, from, to);
    for (const QString& line : payment) sql << "  " + line;
    sql << "  group by o.idSale" + (paymentKey ? ", " + key : QString()) + ") pl, Sales sl, Sdelka sd, Customer c"
        << (seesEveryone(p) && from.daysTo(to) > 182
                ? "where sl.idSale = pl.idSale and sd.idSdelka + 0 = sl.idSdelka + 0 and c.idCust + 0 = sd.idCust + 0"
                : "where sl.idSale = pl.idSale and sd.idSdelka = sl.idSdelka and c.idCust = sd.idCust")
        << other << "group by 1";
    return sql;
}

// Lines of a statement inside another's: "before" opens the first, "after" closes the last.
QStringList nested(const QString& before, QStringList lines, const QString& after)
{
    lines.first().prepend(before);
    lines.last().append(after);
    return lines;
}

// The slice's key of the grouped rows g: theirs, or that of their ViaTable row.
QString sliceKey(const TRazrezRec& r)
{
    return r.ViaTable.isEmpty() ? "g.k" : "t." + r.IdField;
}

QString viaJoin(const TRazrezRec& r)
{
    return "left join " + r.ViaTable + " t on t." + r.ViaKey + " = g.k";
}

// The client, deal and goods columns of the detail list, then the payment ones;
// the names come from the reference tables joined below.
const QStringList kDetalColumns = {
    "c.idCust as cidCust",
    "c.Company as cCompany",
    "cu.Name as cUser",
    "cdi.District as cDistrict",
    "cco.Country as cCountry",
    "cr.Region as cRegion",
    "crk.Reklama as cReklama",
    "crk2.Reklama2 as cReklama2",
    "cs.Segmentt as cSegment",
    "cs2.Segmentt2 as cSegment2",
    "sd.idSdelka as sdidSdelka",
    "su.Name as sdUser",
    "sd.Date_Begin as sdDateBegin",
    "sd.Date_End as sdDateEnd",
    "sd.Name as sdName",
    "sst.Sdelka_St as sdSdelka_St",
    "sd.OplatDP as sdSummaDP",
    "sd.OplatDF as sdSummaDF",
    "sd.OplatRP as sdSummaRP",
    "sd.OplatRF as sdSummaRF",
    "sot.Otkaz as sdOtkaz",
    "set_.Etap as sdEtap",
    "sd.NoSchet",
    "sd.NoNakl",
    "sd.NoSchetF",
    "sd.DateSchet",
    "sd.DateNakl",
    "sd.DateSchetF",
    "spr.Prichina as sdPrichina",
    "spr2.Prichina2 as sdPrichina2",
    "stp.SdelkaType as sdSdelkaType",
    "sdg.DogNumber as sdDogNumber",
    "sd.Note as sdNote",
    "sl.idSale as slidSale",
    "sl.SalesCompany as slCompany",
    "sl.Kolvo as slKolvo",
    "lg.GrTovar as slGrTovar",
    "lt.Tovar as slTovar",
    "sl.Back as slBack",
    "sl.Ucheb as slPriznak1",
    "sl.Upgrade as slPriznak2",
    "sl.SummaDP as slSummaDP",
    "sl.SummaDF as slSummaDF",
    "sl.SummaRP as slSummaRP",
    "sl.SummaRF as slSummaRF",
    "sl.Kurs as slKurs",
    "sl.SerNum as slSerNum",
    "sl.SerNumInt as slSerNumInt",
    "sl.Note as slNote",
};

const QStringList kOplataColumns = {
    "ou.Name as oUser",
    "o.DateOpl as oDateOpl",
    "o.SummaD as oSummaD",
    "o.SummaR as oSummaR",
    "o.Kurs as oKurs",
};

// A left join a name, where a sub-select a name took half again as long.
const QStringList kDetalNames = {
    "left join Users cu on cu.idUser = c.idUser",
    "left join Region cr on cr.idRegion = c.idRegion",
    "left join District cdi on cdi.idDistrict = cr.idDistrict",
    "left join Country cco on cco.idCountry = c.idCountry",
    "left join Reklama crk on crk.idReklama = c.idReklama",
    "left join Reklama2 crk2 on crk2.idReklama2 = c.idReklama2",
    "left join Segmentt cs on cs.idSegment = c.idSegment",
    "left join Segmentt2 cs2 on cs2.idSegment2 = c.idSegment2",
    "left join Users su on su.idUser = sd.idUser",
    "left join Sdelka_St sst on sst.idSdelka_St = sd.idSdelka_St",
    "left join Otkaz sot on sot.idOtkaz = sd.idOtkaz",
    "left join Etap set_ on set_.idEtap = sd.idEtap",
    "left join Prichina spr on spr.idPrichina = sd.idPrichina",
    "left join Prichina2 spr2 on spr2.idPrichina2 = sd.idPrichina2",
    "left join SdelkaType stp on stp.idSdelkaType = sd.idSdelkaType",
    "left join Dog sdg on sdg.idDog = sd.idDog",
    "left join Tovar lt on lt.idTovar = sl.idTovar",
    "left join GrTovar lg on lg.idGrTovar = lt.idGrTovar",
};

int keyOf(const fw::Field& id)
{
    return id.isNull() ? TRepRow::NoKey : id.asInteger();
}

} // namespace

QList<TRazrezRec> MakeRazrezRecs()
{
    return {
        {"Группа товара", "idGrTovar", "GrTovar", "GrTovar",
         "idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)",
         "idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)", "sl.idTovar", "sl.idTovar", "Tovar",
         "idTovar"},
        {"Товар (детально)", "idTovar", "Tovar", "Tovar", "idTovar=sl.idTovar", "idTovar=sl.idTovar", "sl.idTovar",
         "sl.idTovar", "", ""},
        {"Отдел", "idOtdel", "Otdel", "Otdel", "idOtdel=(select idOtdel from Users where idUser=o.idUSer)",
         "idOtdel=(select idOtdel from Users where idUser=sd.idUSer)", "o.idUser", "sd.idUser", "Users", "idUser"},
        {"Фамилия", "idUser", "Name", "Users", "idUSer=o.idUSer", "idUSer=sd.idUSer", "o.idUser", "sd.idUser", "", ""},
        {"Источник", "idReklama", "Reklama", "Reklama", "idReklama=c.idReklama", "idReklama=c.idReklama",
         "c.idReklama", "c.idReklama", "", ""},
        {"Источник2", "idReklama2", "Reklama2", "Reklama2", "idReklama2=c.idReklama2", "idReklama2=c.idReklama2",
         "c.idReklama2", "c.idReklama2", "", ""},
        {"Сегмент", "idSegment", "Segmentt", "Segmentt", "idSegment=c.idSegment", "idSegment=c.idSegment",
         "c.idSegment", "c.idSegment", "", ""},
        {"Сегмент2", "idSegment2", "Segmentt2", "Segmentt2", "idSegment2=c.idSegment2", "idSegment2=c.idSegment2",
         "c.idSegment2", "c.idSegment2", "", ""},
        {"Причина", "idPrichina", "Prichina", "Prichina", "idPrichina=sd.idPrichina", "idPrichina=sd.idPrichina",
         "sd.idPrichina", "sd.idPrichina", "", ""},
        {"Причина2", "idPrichina2", "Prichina2", "Prichina2", "idPrichina2=sd.idPrichina2",
         "idPrichina2=sd.idPrichina2", "sd.idPrichina2", "sd.idPrichina2", "", ""},
        {"Район", "idDistrict", "District", "District",
         "idDistrict=(select idDistrict from Region where idRegion=c.idRegion)",
         "idDistrict=(select idDistrict from Region where idRegion=c.idRegion)", "c.idRegion", "c.idRegion", "Region",
         "idRegion"},
        {"Страна", "idCountry", "Country", "Country", "idCountry=c.idCountry", "idCountry=c.idCountry", "c.idCountry",
         "c.idCountry", "", ""},
        {"Регион", "idRegion", "Region", "Region", "idRegion=c.idRegion", "idRegion=c.idRegion", "c.idRegion",
         "c.idRegion", "", ""},
        {"Клиент", "idCust", "Company", "Customer", "idCust=c.idCust", "idCust=c.idCust", "c.idCust", "c.idCust", "",
         ""},
        {"Тип сделки", "idSdelkaType", "SdelkaType", "SdelkaType", "idSdelkaType=sd.idSdelkaType",
         "idSdelkaType=sd.idSdelkaType", "sd.idSdelkaType", "sd.idSdelkaType", "", ""},
    };
}

QList<TIntervalRec> MakeIntervals(const QDate& from, const QDate& to, int kind)
{
    QList<TIntervalRec> result;
    if (!from.isValid() || !to.isValid() || to < from) return result;
    if (kind < ikDecade || kind > ikYear) {
        result.append({from, to, fw::dateToStr(from) + " - " + fw::dateToStr(to)});
        return result;
    }
    QDate d = from;
    while (d <= to) {
        QDate e = d;
        while (e < to && !startsPeriod(e.addDays(1), kind)) e = e.addDays(1);
        result.append({d, e, fw::dateToStr(e)});
        d = e.addDays(1);
    }
    return result;
}

QString SqlDate(const QDate& date)
{
    // The server reads "dd.mm.yyyy" whatever the workstation's locale.
    return "\"" + DoubleQuotes(date.toString("dd.MM.yyyy")) + "\"";
}

QString SqlTimestamp(const QDate& date)
{
    // Typed, it is read once; a quoted date is converted again on every row it is compared with.
    return "timestamp '" + date.toString("yyyy-MM-dd") + "'";
}

QString ListedRecFilter(fw::Database& db, const QString& recFilter)
{
    if (!recFilter.contains("select", Qt::CaseInsensitive)) return recFilter;
    QStringList ids;
    db.withTransaction([&](fw::Transaction& tr) {
        fw::Statement s(db, "select idUser from Users where " + recFilter);
        s.execute(tr);
        while (s.fetch()) ids << QString::number(s.value(0).asInt());
    });
    return ids.isEmpty() ? recFilter : "idUser in (" + ids.join(", ") + ")";
}

// The names join the groups last: the slice's table is read once per group,
// not once per payment, and a key it does not hold still counts, as "-".
QStringList ItogoSql(const TRepParams& p, const QList<TIntervalRec>& intervals)
{
    const TRazrezRec& r = p.Razrez;
    const bool via = !r.ViaTable.isEmpty();
    QStringList sql;
    sql << "select " + sliceKey(r) + " as idName, iif(n." + r.IdField + " is null, '-', n." + r.NameField
               + ") as Name, " + sumsOf("g", intervals.size(), via);
    sql << nested("from (", groupedSql(p, p.From, p.To, intervals), ") g");
    if (via) sql << viaJoin(r);
    sql << "left join " + r.TableName + " n on n." + r.IdField + " = " + sliceKey(r);
    if (via) sql << "group by " + sliceKey(r) + ", n." + r.IdField + ", n." + r.NameField;
    // By the name column itself: its collation orders the names.
    sql << (p.SortByTotal ? QString("order by 3 desc") : "order by n." + r.NameField);
    return sql;
}

QStringList IntervalSql(const TRepParams& p, const TIntervalRec& interval)
{
    const QStringList grouped = groupedSql(p, interval.DateFrom, interval.DateTo, {});
    if (p.Razrez.ViaTable.isEmpty()) return grouped;
    return QStringList{"select " + sliceKey(p.Razrez) + ", sum(g.Summa) as Summa"} << nested("from (", grouped, ") g")
                                                                                 << viaJoin(p.Razrez) << "group by 1";
}

QStringList DetalSql(const TRepParams& p)
{
    QStringList sql{"select " + kDetalColumns.join(", ")};
    if (p.Money)
        sql << ", " + kOplataColumns.join(", ") << "from Oplata o" << "join Sales sl on sl.idSale = o.idSale"
            << "join Sdelka sd on sd.idSdelka = sl.idSdelka";
    else
        sql << "from Sdelka sd" << "join Sales sl on sl.idSdelka = sd.idSdelka";
    sql << "join Customer c on c.idCust = sd.idCust" << kDetalNames;
    if (p.Money) sql << "left join Users ou on ou.idUser = o.idUser";
    sql << "where " + QString(p.Money ? "o." : "sd.") + p.RecFilter << periodLine(p, p.From, p.To) << p.OgrLines;
    return sql;
}

TRepTable TdmRep::Run(const TRepParams& p, const QList<TIntervalRec>& intervals, IntervalWay way, TRepStatements sql)
{
    // A select list has a size limit in the engine: a period of very many decades
    // is read one interval at a time instead, which gives the same numbers.
    constexpr qsizetype kMaxIntervalColumns = 1000;
    const bool oneStatement = way == IntervalWay::Grouped && intervals.size() <= kMaxIntervalColumns;
    TRepTable table;
    table.ColumnTotals.resize(intervals.size());
    qryItogo.close();
    qryItogo.setSql(sql.Itogo(p, oneStatement ? intervals : QList<TIntervalRec>{}));
    qryItogo.open();
    QHash<int, qsizetype> rowOf;
    const fw::Field& idName = qryItogo.fieldByName("idName");
    const fw::Field& name = qryItogo.fieldByName("Name");
    const fw::Field& summa = qryItogo.fieldByName("Summa");
    QList<const fw::Field*> sums;
    if (oneStatement)
        for (qsizetype i = 0; i < intervals.size(); ++i) sums << &qryItogo.fieldByName(QString("Summa%1").arg(i + 1));
    for (qryItogo.first(); !qryItogo.eof(); qryItogo.next()) {
        TRepRow row{keyOf(idName), name.asString(), summa.asCurrency(), {}};
        row.Sums.resize(intervals.size());
        for (qsizetype i = 0; i < sums.size(); ++i) {
            row.Sums[i] = sums[i]->asCurrency();
            table.ColumnTotals[i] += row.Sums[i];
        }
        if (!oneStatement) rowOf.insert(row.Id, table.Rows.size());
        table.Total += row.Total;
        table.Rows.append(std::move(row));
    }
    qryItogo.first();
    if (oneStatement) return table;

    for (qsizetype i = 0; i < intervals.size(); ++i) {
        qryInterval.close();
        qryInterval.setSql(sql.Interval(p, intervals[i]));
        qryInterval.open();
        const fw::Field& id = qryInterval.field(0);
        const fw::Field& sum = qryInterval.fieldByName("Summa");
        for (qryInterval.first(); !qryInterval.eof(); qryInterval.next()) {
            // A row the totals do not know cannot happen (the same conditions
            // over a part of the period); it is passed over, as a lookup would.
            const auto row = rowOf.constFind(keyOf(id));
            if (row == rowOf.cend()) continue;
            table.Rows[*row].Sums[i] = sum.asCurrency();
            table.ColumnTotals[i] += table.Rows[*row].Sums[i];
        }
        qryInterval.close();
    }
    return table;
}

TdmRep::TdmRep(QObject* owner) : QObject(owner)
{
    setObjectName("dmRep");
    const auto bind = [this](fw::Query& q, const char* name) {
        q.setParent(this);
        q.setObjectName(name);
        if (dm) q.setDatabase(&dm->db);
    };
    bind(qryItogo, "qryItogo");
    bind(qryInterval, "qryInterval");
    bind(qryList, "qryList");
    bind(qryDetal, "qryDetal");
    dsDetal.setParent(this);
    dsDetal.setObjectName("dsDetal");
    dsDetal.setDataSet(&qryDetal);
    dmRep = this;
}

TdmRep::~TdmRep()
{
    for (fw::Query* q : {&qryItogo, &qryInterval, &qryList, &qryDetal}) q->close();
    if (dmRep == this) dmRep = nullptr;
}
