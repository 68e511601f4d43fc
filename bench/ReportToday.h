#pragma once
// The report's statements as they were before the payments were summed first:
// the slice's table joined to every payment, the period as quoted dates, the
// visibility clause as given. The benchmark times the report against them and
// the tests compare every number with theirs.
#include "reports/dmRep.h"

namespace reportToday {

// The detail list named each reference by a sub-select.
inline const QList<QPair<QString, QString>> kDetalNames = {
    {"cu.Name as cUser", "(select Name from Users where idUser=c.idUser) as cUser"},
    {"cdi.District as cDistrict",
     "(select District from District where idDistrict=(select idDistrict from Region where idRegion=c.idRegion)) as cDistrict"},
    {"cco.Country as cCountry", "(select Country from Country where idCountry=c.idCountry) as cCountry"},
    {"cr.Region as cRegion", "(select Region from Region where idRegion=c.idRegion) as cRegion"},
    {"crk.Reklama as cReklama", "(select Reklama from Reklama where idReklama=c.idReklama) as cReklama"},
    {"crk2.Reklama2 as cReklama2", "(select Reklama2 from Reklama2 where idReklama2=c.idReklama2) as cReklama2"},
    {"cs.Segmentt as cSegment", "(select Segmentt from Segmentt where idSegment=c.idSegment) as cSegment"},
    {"cs2.Segmentt2 as cSegment2", "(select Segmentt2 from Segmentt2 where idSegment2=c.idSegment2) as cSegment2"},
    {"su.Name as sdUser", "(select Name from Users where idUser=sd.idUser) sdUser"},
    {"sst.Sdelka_St as sdSdelka_St", "(select Sdelka_St from Sdelka_St where idSdelka_St=sd.idSdelka_St) as sdSdelka_St"},
    {"sot.Otkaz as sdOtkaz", "(select Otkaz from Otkaz where idotkaz=sd.idOtkaz) as sdOtkaz"},
    {"set_.Etap as sdEtap", "(select Etap from Etap where idEtap=sd.idEtap) as sdEtap"},
    {"spr.Prichina as sdPrichina", "(select Prichina from Prichina where idPrichina=sd.idPrichina) as sdPrichina"},
    {"spr2.Prichina2 as sdPrichina2", "(select Prichina2 from Prichina2 where idPrichina2=sd.idPrichina2) as sdPrichina2"},
    {"stp.SdelkaType as sdSdelkaType",
     "(select SdelkaType from SdelkaType where idSdelkaType=sd.idSdelkaType) as sdSdelkaType"},
    {"sdg.DogNumber as sdDogNumber", "(select DogNumber from Dog where idDog=sd.idDog) as sdDogNumber"},
    {"lg.GrTovar as slGrTovar",
     "(select GrTovar from GrTovar where idGrTovar=(select idGrTovar from Tovar where idTovar=sl.idTovar)) as slGrTovar"},
    {"lt.Tovar as slTovar", "(select Tovar from Tovar where idTovar=sl.idTovar) as slTovar"},
    {"ou.Name as oUser", "(select Name from Users where idUser=o.idUser) as oUser"},
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
    // The select list of today's, its names by sub-selects.
    QStringList sql;
    for (QString line : ::DetalSql(p)) {
        if (line.startsWith("from ")) break;
        for (const auto& [joined, selected] : kDetalNames) line.replace(joined, selected);
        sql << line;
    }
    sql << fromLine(p) << whereLine(p) << periodLine(p, p.From, p.To);
    sql << p.OgrLines;
    return sql;
}

} // namespace reportToday
