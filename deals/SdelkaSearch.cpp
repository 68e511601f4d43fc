#include "deals/SdelkaSearch.h"

#include "controls/FormatSettings.h"
#include "core/SqlText.h"

namespace {

// A text value between double quotes, as dialect 1 reads a literal.
QString Q(const QString& text)
{
    return '"' + DoubleQuotes(text) + '"';
}

QString QDateText(const QDate& d)
{
    return Q(FormatDateVcl(FormatSettings().ShortDateFormat, d));
}

// The condition on a DATE column for the days from..to, either end open.
QString DateRange(const QString& column, const QDate& from, const QDate& to)
{
    const QString lower = column + ">=" + QDateText(from);
    const QString upper = column + "<" + QDateText(to.addDays(1));
    if (from.isValid() && to.isValid()) return lower + " and " + upper;
    return from.isValid() ? lower : upper;
}

QString Id(const char* prefix, int id)
{
    return QString::fromUtf8(prefix) + QString::number(id);
}

} // namespace

QStringList SdelkaSearchSql(const TSdelkaSearch& f)
{
    QStringList sql;
    switch (f.Regim) {
    case TSdelkaSearch::Etapy:
        sql << "select c.Company, e.*, s.*"
            << "from Sdelka s, Etaps e, Customer c"
            << "where s.idSdelka=e.idSdelka and s.idCust=c.idCust and s." + f.RecFilter;
        break;
    case TSdelkaSearch::Tovary:
        // A goods line whose goods item is missing (a database without the
        // foreign keys) is listed under "-", as key 0, never dropped.
        sql << kSalesSelect << kSalesFrom << "where s." + f.RecFilter;
        break;
    default:
        sql << "select c.Company, s.*"
            << "from Sdelka s, Customer c"
            << "where c.idCust=s.idCust and s." + f.RecFilter;
        break;
    }

    if (f.IdCust) sql << Id("and s.idCust=", *f.IdCust);
    if (f.IdDog) sql << Id("and s.idDog=", *f.IdDog);
    if (!f.Name.isEmpty()) sql << "and s.Name containing " + Q(f.Name);
    if (f.IdUser) sql << Id("and s.idUser=", *f.IdUser);
    if (f.IdSdelkaSt) sql << Id("and s.idSdelka_St=", *f.IdSdelkaSt);
    if (f.IdPrichina) sql << Id("and s.idPrichina=", *f.IdPrichina);
    if (f.IdPrichina2) sql << Id("and s.idPrichina2=", *f.IdPrichina2);

    if (f.SdFrom.isValid() || f.SdTo.isValid()) {
        if (f.SdDateColumn == TSdelkaSearch::SdOplata)
            sql << "and exists (select * from Sales sl where idSdelka=s.idSdelka and exists "
                   "(select * from oplata where idSale=sl.idSale and "
                       + DateRange("DateOpl", f.SdFrom, f.SdTo) + "))";
        else
            sql << "and " + DateRange(f.SdDateColumn == TSdelkaSearch::SdEnd ? "s.Date_End" : "s.Date_Begin",
                                      f.SdFrom, f.SdTo);
    }

    if (f.IdSdelkaType) sql << Id("and s.idSdelkaType=", *f.IdSdelkaType);
    if (f.IdOtkaz) sql << Id("and s.idOtkaz=", *f.IdOtkaz);
    if (f.PlanNotFact) sql << "and s.OplatDP <> s.OplatDF";

    if (f.EtSdEtap || f.EtSdUser || f.EtFrom.isValid() || f.EtTo.isValid() || f.EtSdState != TSdelkaSearch::Any) {
        sql << "and exists (select * from etaps where idSdelka=s.idSdelka";
        if (f.EtSdEtap) sql << Id("and idEtap=", *f.EtSdEtap);
        if (f.EtSdUser) sql << Id("and idUser=", *f.EtSdUser);
        if (f.EtFrom.isValid() || f.EtTo.isValid()) {
            const char* column = f.EtDateColumn == TSdelkaSearch::EtPlan  ? "DatePlan"
                               : f.EtDateColumn == TSdelkaSearch::EtEnd ? "DateFact"
                                                                        : "DateBegin";
            sql << "and " + DateRange(column, f.EtFrom, f.EtTo);
        }
        if (f.EtSdState == TSdelkaSearch::Open) sql << "and DateBegin is not null and DateFact is null";
        if (f.EtSdState == TSdelkaSearch::Closed) sql << "and DateFact is not null";
        sql << ")";
    }

    if (f.EtEtEtap || f.EtEtUser || f.EtEtState != TSdelkaSearch::Any) {
        // The listed stage rows of mode 1 are e themselves.
        const bool wrapped = f.Regim != TSdelkaSearch::Etapy;
        if (wrapped) sql << "and exists (select * from etaps e where e.idSdelka=s.idSdelka";
        if (f.EtEtEtap) sql << Id("and e.idEtap=", *f.EtEtEtap);
        if (f.EtEtUser) sql << Id("and e.idUser=", *f.EtEtUser);
        if (f.EtEtState == TSdelkaSearch::Open) sql << "and e.DateBegin is not null and e.DateFact is null";
        if (f.EtEtState == TSdelkaSearch::Closed) sql << "and e.DateFact is not null";
        if (wrapped) sql << ")";
    }

    if (f.IdGrTovar || f.IdTovar) {
        sql << "and exists (select * from sales l, tovar t where l.idSdelka = s.idSdelka and t.idTovar = l.idTovar";
        if (f.IdGrTovar) sql << Id("and t.idGrTovar = ", *f.IdGrTovar);
        if (f.IdTovar) sql << Id("and t.idTovar = ", *f.IdTovar);
        sql << ")";
    }
    return sql;
}
