#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

// What the deals list searches for, as its filter controls hold it. An empty
// optional is a blank lookup, a null date a blank date edit.
struct TSdelkaSearch {
    enum Regim { Sdelki = 0, Etapy = 1, Tovary = 2 };
    enum SdDate { SdBegin, SdEnd, SdOplata };
    enum EtDate { EtBegin, EtPlan, EtEnd };
    enum EtState { Any, Open, Closed };

    int Regim = Sdelki;
    QString RecFilter;                    // the visibility clause over idUser

    std::optional<int> IdCust;            // the clients window's current client
    std::optional<int> IdDog;
    QString Name;                         // part of the deal name
    std::optional<int> IdUser;
    std::optional<int> IdSdelkaSt;
    std::optional<int> IdPrichina;
    std::optional<int> IdPrichina2;
    SdDate SdDateColumn = SdBegin;
    QDate SdFrom, SdTo;
    std::optional<int> IdSdelkaType;
    std::optional<int> IdOtkaz;
    bool PlanNotFact = false;

    // The deal has a stage that meets all of these.
    std::optional<int> EtSdEtap;
    std::optional<int> EtSdUser;
    EtDate EtDateColumn = EtBegin;
    QDate EtFrom, EtTo;
    EtState EtSdState = Any;

    // Stage conditions: on the listed stage rows in mode 1, through exists otherwise.
    std::optional<int> EtEtEtap;
    std::optional<int> EtEtUser;
    EtState EtEtState = Any;

    std::optional<int> IdGrTovar;
    std::optional<int> IdTovar;
};

// The first two lines of the goods mode: a goods line whose goods item is
// missing comes with the goods group 0 and the goods name "-".
inline constexpr const char* kSalesSelect
    = "select c.Company, coalesce(t.IdGrTovar, 0) as IdGrTovar, coalesce(t.Tovar, '-') as Tovar, l.*, s.*";
inline constexpr const char* kSalesFrom = "from Sdelka s join Sales l on s.idSdelka=l.idSdelka join Customer c on "
                                          "s.idCust=c.idCust left join Tovar t on t.idTovar=l.idTovar";

// The search statement, one filter per line. Date ranges are half-open
// (from the first day's midnight to before the day after the last), since a
// DATE column carries the time of day.
QStringList SdelkaSearchSql(const TSdelkaSearch& f);
