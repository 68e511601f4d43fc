#pragma once
// The report's statements as they were before the payments were summed first:
// the slice's table joined to every payment, the period as quoted dates, the
// visibility clause as given. The benchmark times the report against them and
// the tests compare every number with theirs.
#include "reports/dmRep.h"

namespace reportToday {

// The detail columns, each name by a sub-select.
inline const QStringList kDetalColumns = {
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
inline const QStringList kOplataColumns = {
    "(select Name from Users where idUser=o.idUser) as oUser",
    "o.DateOpl as oDateOpl",
    "o.SummaD as oSummaD",
    "o.SummaR as oSummaR",
    "o.Kurs as oKurs",
};


inline QString sumExpr(const TRepParams& p)
{
    if (!p.Money) return "sum(sl.Kolvo) as Summa";
    return p.Valuta == 0 ? "sum(o.SummaR) as Summa" : "sum(o.SummaD) as Summa";
}

inline QString dateColumn(const TRepParams& p)
{
    return p.Money ? "o.DateOpl" : "sd.DateNakl";
}

inline QString fromLine(const TRepParams& p)
{
    return "from Customer c, Sdelka sd, Sales sl, " + p.Razrez.TableName + " n" + (p.Money ? ", Oplata o" : "");
}

inline QString whereLine(const TRepParams& p)
{
    const QString visibility = p.Money ? " and o.idSale=sl.idSale and o." + p.RecFilter : " and sd." + p.RecFilter;
    return "where c.idCust=sd.idCust and sd.idSdelka=sl.idSdelka and n."
           + (p.Money ? p.Razrez.JoinOplata : p.Razrez.JoinSdelka) + visibility;
}

inline QString intervalSums(const TRepParams& p, const QList<TIntervalRec>& intervals)
{
    const QString col = dateColumn(p);
    const QString summed = p.Money ? (p.Valuta == 0 ? "o.SummaR" : "o.SummaD") : "sl.Kolvo";
    QString sums;
    for (qsizetype i = 0; i < intervals.size(); ++i) {
        QStringList bounds;
        if (intervals[i].DateFrom > p.From) bounds << col + " >= " + SqlTimestamp(intervals[i].DateFrom);
        if (intervals[i].DateTo < p.To) bounds << col + " < " + SqlTimestamp(intervals[i].DateTo.addDays(1));
        const QString sum = bounds.isEmpty() ? summed : "case when " + bounds.join(" and ") + " then " + summed + " end";
        sums += QString(", sum(%1) as Summa%2").arg(sum).arg(i + 1);
    }
    return sums;
}

inline QString periodLine(const TRepParams& p, const QDate& from, const QDate& to)
{
    const QString col = dateColumn(p);
    return "and " + col + " >= " + SqlDate(from) + " and " + col + " < " + SqlDate(to.addDays(1));
}

inline QStringList ItogoSql(const TRepParams& p, const QList<TIntervalRec>& intervals)
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

inline QStringList IntervalSql(const TRepParams& p, const TIntervalRec& interval)
{
    QStringList sql;
    sql << "select n." + p.Razrez.IdField + ", " + sumExpr(p) << fromLine(p) << whereLine(p)
        << periodLine(p, interval.DateFrom, interval.DateTo);
    sql << p.OgrLines;
    sql << "group by n." + p.Razrez.IdField;
    return sql;
}

inline QStringList DetalSql(const TRepParams& p)
{
    QStringList sql{"select " + kDetalColumns.join(", ")};
    if (p.Money) sql << ", " + kOplataColumns.join(", ");
    sql << fromLine(p) << whereLine(p) << periodLine(p, p.From, p.To);
    sql << p.OgrLines;
    return sql;
}

} // namespace reportToday
