#include "reports/dmRep.h"

#include "core/SqlText.h"
#include "core/dm.h"

#include "db/Value.h"

#include <QHash>
#include <functional>

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

QString sumExpr(const TRepParams& p)
{
    if (!p.Money) return "sum(sl.Kolvo) as Summa";
    return p.Valuta == 0 ? "sum(o.SummaR) as Summa" : "sum(o.SummaD) as Summa";
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

QStringList ItogoSql(const TRepParams& p)
{
    QStringList sql;
    sql << "select n." + p.Razrez.IdField + " as idName, n." + p.Razrez.NameField + " as Name, " + sumExpr(p)
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

QStringList IntervalsSql(const TRepParams& p, const QList<TIntervalRec>& intervals)
{
    QString column = "0";
    if (intervals.size() > 1) {
        column = "case";
        for (int i = 0; i + 1 < intervals.size(); ++i)
            column += QString(" when %1 < %2 then %3").arg(dateColumn(p), SqlDate(intervals[i + 1].DateFrom)).arg(i);
        column += QString(" else %1 end").arg(intervals.size() - 1);
    }
    QStringList sql;
    sql << "select n." + p.Razrez.IdField + ", " + column + " as IntervalNo, " + sumExpr(p) << fromLine(p) << whereLine(p);
    if (!intervals.isEmpty()) sql << periodLine(p, intervals.first().DateFrom, intervals.last().DateTo);
    sql << p.OgrLines;
    sql << "group by n." + p.Razrez.IdField + (intervals.size() > 1 ? ", " + column : QString());
    return sql;
}

TRepTable TdmRep::Run(const TRepParams& p, const QList<TIntervalRec>& intervals, IntervalWay way)
{
    TRepTable table;
    qryItogo.close();
    qryItogo.setSql(ItogoSql(p));
    qryItogo.open();
    QHash<int, qsizetype> rowOf;
    const fw::Field& idName = qryItogo.fieldByName("idName");
    const fw::Field& name = qryItogo.fieldByName("Name");
    const fw::Field& summa = qryItogo.fieldByName("Summa");
    for (qryItogo.first(); !qryItogo.eof(); qryItogo.next()) {
        TRepRow row{idName.asInteger(), name.asString(), summa.asCurrency(), {}};
        row.Sums.resize(intervals.size());
        rowOf.insert(row.Id, table.Rows.size());
        table.Total += row.Total;
        table.Rows.append(std::move(row));
    }
    qryItogo.first();
    table.ColumnTotals.resize(intervals.size());

    // A row the totals do not know cannot happen (the same conditions over a
    // part of the period); it is passed over, as a lookup of the key would.
    const auto take = [&](int id, qsizetype interval, fw::Currency sum) {
        const auto row = rowOf.constFind(id);
        if (row == rowOf.cend() || interval < 0 || interval >= intervals.size()) return;
        table.Rows[*row].Sums[interval] = sum;
        table.ColumnTotals[interval] += sum;
    };
    const auto readInto = [&](const QStringList& sql, const std::function<qsizetype()>& intervalOfRow) {
        qryInterval.close();
        qryInterval.setSql(sql);
        qryInterval.open();
        const fw::Field& id = qryInterval.field(0);
        const fw::Field& sum = qryInterval.fieldByName("Summa");
        for (qryInterval.first(); !qryInterval.eof(); qryInterval.next())
            take(id.asInteger(), intervalOfRow(), sum.asCurrency());
        qryInterval.close();
    };
    if (intervals.isEmpty()) return table;
    if (way == IntervalWay::Grouped) {
        readInto(IntervalsSql(p, intervals), [this] { return qsizetype(qryInterval.field(1).asInteger()); });
    } else {
        for (qsizetype i = 0; i < intervals.size(); ++i) readInto(IntervalSql(p, intervals[i]), [i] { return i; });
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
