#include "reports/dmRep.h"

#include "core/SqlText.h"
#include "core/dm.h"

#include "db/Value.h"

#include <QHash>

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

QString sumExpr(const TRepParams& p)
{
    return "sum(" + summed(p) + ") as Summa";
}

QString dateColumn(const TRepParams& p)
{
    return p.Money ? "o.DateOpl" : "sd.DateNakl";
}

QString fromLine(const TRepParams& p)
{
    return "from Customer c, Sdelka sd, Sales sl, " + p.Razrez.TableName + " n" + (p.Money ? ", Oplata o" : "");
}

QString whereLine(const TRepParams& p)
{
    const QString visibility = p.Money ? " and o.idSale=sl.idSale and o." + p.RecFilter : " and sd." + p.RecFilter;
    return "where c.idCust=sd.idCust and sd.idSdelka=sl.idSdelka and n."
           + (p.Money ? p.Razrez.JoinOplata : p.Razrez.JoinSdelka) + visibility;
}

// A day's start as a typed literal: compared on every row, a quoted date would
// be converted again each time.
QString sqlTimestamp(const QDate& date)
{
    return "timestamp '" + date.toString("yyyy-MM-dd") + "'";
}

// Each interval's sum beside the total of the same rows: a row counts in the
// interval whose bounds hold its date; a bound the period line sets already is
// left out, so a single interval over the whole period sums what the total does.
QString intervalSums(const TRepParams& p, const QList<TIntervalRec>& intervals)
{
    const QString col = dateColumn(p);
    QString sums;
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        QStringList bounds;
        if (intervals[i].DateFrom > p.From) bounds << col + " >= " + sqlTimestamp(intervals[i].DateFrom);
        if (intervals[i].DateTo < p.To) bounds << col + " < " + sqlTimestamp(intervals[i].DateTo.addDays(1));
        const QString sum = bounds.isEmpty() ? summed(p) : "case when " + bounds.join(" and ") + " then " + summed(p) + " end";
        sums += QString(", sum(%1) as Summa%2").arg(sum).arg(i + 1);
    }
    return sums;
}

QString periodLine(const TRepParams& p, const QDate& from, const QDate& to)
{
    const QString col = dateColumn(p);
    return "and " + col + " >= " + SqlDate(from) + " and " + col + " < " + SqlDate(to.addDays(1));
}

// The client, deal and goods columns of the detail list, then the payment ones.
const QStringList kDetalColumns = {
    "c.idCust as cidCust",
    "c.Company as cCompany",
    "(select Name from Users where idUser=c.idUser) as cUser",
    "(select District from District where idDistrict=(select idDistrict from Region where idRegion=c.idRegion)) as cDistrict",
    "(select Country from Country where idCountry=c.idCountry) as cCountry",
    "(select Region from Region where idRegion=c.idRegion) as cRegion",
    "(select Reklama from Reklama where idReklama=c.idReklama) as cReklama",
    "(select Reklama2 from Reklama2 where idReklama2=c.idReklama2) as cReklama2",
    "(select Segmentt from Segmentt where idSegment=c.idSegment) as cSegment",
    "(select Segmentt2 from Segmentt2 where idSegment2=c.idSegment2) as cSegment2",
    "sd.idSdelka as sdidSdelka",
    "(select Name from Users where idUser=sd.idUser) sdUser",
    "sd.Date_Begin as sdDateBegin",
    "sd.Date_End as sdDateEnd",
    "sd.Name as sdName",
    "(select Sdelka_St from Sdelka_St where idSdelka_St=sd.idSdelka_St) as sdSdelka_St",
    "sd.OplatDP as sdSummaDP",
    "sd.OplatDF as sdSummaDF",
    "sd.OplatRP as sdSummaRP",
    "sd.OplatRF as sdSummaRF",
    "(select Otkaz from Otkaz where idotkaz=sd.idOtkaz) as sdOtkaz",
    "(select Etap from Etap where idEtap=sd.idEtap) as sdEtap",
    "NoSchet",
    "NoNakl",
    "NoSchetF",
    "DateSchet",
    "DateNakl",
    "DateSchetF",
    "(select Prichina from Prichina where idPrichina=sd.idPrichina) as sdPrichina",
    "(select Prichina2 from Prichina2 where idPrichina2=sd.idPrichina2) as sdPrichina2",
    "(select SdelkaType from SdelkaType where idSdelkaType=sd.idSdelkaType) as sdSdelkaType",
    "(select DogNumber from Dog where idDog=sd.idDog) as sdDogNumber",
    "sd.Note as sdNote",
    "sl.idSale as slidSale",
    "sl.SalesCompany as slCompany",
    "sl.Kolvo as slKolvo",
    "(select GrTovar from GrTovar where idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)) as slGrTovar",
    "(select Tovar from Tovar where idTovar=sl.idTovar) as slTovar",
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
    "(select Name from Users where idUser=o.idUser) as oUser",
    "o.DateOpl as oDateOpl",
    "o.SummaD as oSummaD",
    "o.SummaR as oSummaR",
    "o.Kurs as oKurs",
};

} // namespace

QList<TRazrezRec> MakeRazrezRecs()
{
    return {
        {"Группа товара", "idGrTovar", "GrTovar", "GrTovar",
         "idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)",
         "idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)"},
        {"Товар (детально)", "idTovar", "Tovar", "Tovar", "idTovar=sl.idTovar", "idTovar=sl.idTovar"},
        {"Отдел", "idOtdel", "Otdel", "Otdel", "idOtdel=(select idOtdel from Users where idUser=o.idUSer)",
         "idOtdel=(select idOtdel from Users where idUser=sd.idUSer)"},
        {"Фамилия", "idUser", "Name", "Users", "idUSer=o.idUSer", "idUSer=sd.idUSer"},
        {"Источник", "idReklama", "Reklama", "Reklama", "idReklama=c.idReklama", "idReklama=c.idReklama"},
        {"Источник2", "idReklama2", "Reklama2", "Reklama2", "idReklama2=c.idReklama2", "idReklama2=c.idReklama2"},
        {"Сегмент", "idSegment", "Segmentt", "Segmentt", "idSegment=c.idSegment", "idSegment=c.idSegment"},
        {"Сегмент2", "idSegment2", "Segmentt2", "Segmentt2", "idSegment2=c.idSegment2", "idSegment2=c.idSegment2"},
        {"Причина", "idPrichina", "Prichina", "Prichina", "idPrichina=sd.idPrichina", "idPrichina=sd.idPrichina"},
        {"Причина2", "idPrichina2", "Prichina2", "Prichina2", "idPrichina2=sd.idPrichina2",
         "idPrichina2=sd.idPrichina2"},
        {"Район", "idDistrict", "District", "District",
         "idDistrict=(select idDistrict from Region where idRegion=c.idRegion)",
         "idDistrict=(select idDistrict from Region where idRegion=c.idRegion)"},
        {"Страна", "idCountry", "Country", "Country", "idCountry=c.idCountry", "idCountry=c.idCountry"},
        {"Регион", "idRegion", "Region", "Region", "idRegion=c.idRegion", "idRegion=c.idRegion"},
        {"Клиент", "idCust", "Company", "Customer", "idCust=c.idCust", "idCust=c.idCust"},
        {"Тип сделки", "idSdelkaType", "SdelkaType", "SdelkaType", "idSdelkaType=sd.idSdelkaType",
         "idSdelkaType=sd.idSdelkaType"},
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

QStringList ItogoSql(const TRepParams& p, const QList<TIntervalRec>& intervals)
{
    QStringList sql;
    sql << "select n." + p.Razrez.IdField + " as idName, n." + p.Razrez.NameField + " as Name, " + sumExpr(p)
               + intervalSums(p, intervals)
        << fromLine(p) << whereLine(p) << periodLine(p, p.From, p.To);
    sql << p.OgrLines;
    sql << "group by n." + p.Razrez.IdField + ", n." + p.Razrez.NameField
        << QString("order by %1").arg(p.SortByTotal ? "3 desc" : "2");
    return sql;
}

QStringList IntervalSql(const TRepParams& p, const TIntervalRec& interval)
{
    QStringList sql;
    sql << "select n." + p.Razrez.IdField + ", " + sumExpr(p) << fromLine(p) << whereLine(p)
        << periodLine(p, interval.DateFrom, interval.DateTo);
    sql << p.OgrLines;
    sql << "group by n." + p.Razrez.IdField;
    return sql;
}

QStringList DetalSql(const TRepParams& p)
{
    QStringList sql;
    sql << "select " + kDetalColumns.join(", ");
    if (p.Money) sql << ", " + kOplataColumns.join(", ");
    sql << fromLine(p) << whereLine(p) << periodLine(p, p.From, p.To);
    sql << p.OgrLines;
    return sql;
}

TRepTable TdmRep::Run(const TRepParams& p, const QList<TIntervalRec>& intervals, IntervalWay way)
{
    // A select list has a size limit in the engine: a period of very many decades
    // is read one interval at a time instead, which gives the same numbers.
    constexpr qsizetype kMaxIntervalColumns = 1000;
    const bool oneStatement = way == IntervalWay::Grouped && intervals.size() <= kMaxIntervalColumns;
    TRepTable table;
    table.ColumnTotals.resize(intervals.size());
    qryItogo.close();
    qryItogo.setSql(ItogoSql(p, oneStatement ? intervals : QList<TIntervalRec>{}));
    qryItogo.open();
    QHash<int, qsizetype> rowOf;
    const fw::Field& idName = qryItogo.fieldByName("idName");
    const fw::Field& name = qryItogo.fieldByName("Name");
    const fw::Field& summa = qryItogo.fieldByName("Summa");
    QList<const fw::Field*> sums;
    if (oneStatement)
        for (qsizetype i = 0; i < intervals.size(); ++i) sums << &qryItogo.fieldByName(QString("Summa%1").arg(i + 1));
    for (qryItogo.first(); !qryItogo.eof(); qryItogo.next()) {
        TRepRow row{idName.asInteger(), name.asString(), summa.asCurrency(), {}};
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
        qryInterval.setSql(IntervalSql(p, intervals[i]));
        qryInterval.open();
        const fw::Field& id = qryInterval.field(0);
        const fw::Field& sum = qryInterval.fieldByName("Summa");
        for (qryInterval.first(); !qryInterval.eof(); qryInterval.next()) {
            // A row the totals do not know cannot happen (the same conditions
            // over a part of the period); it is passed over, as a lookup would.
            const auto row = rowOf.constFind(id.asInteger());
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
