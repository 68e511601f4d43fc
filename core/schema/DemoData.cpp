#include "DemoData.h"
#include "DemoWords.h"

#include "db/Statement.h"

#include <QDateTime>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace schema {

using fw::Currency;
using fw::Value;

namespace {

// splitmix64, written out so that a seed gives the same stream with any
// compiler and standard library.
class Rng {
public:
    explicit Rng(quint64 seed) : state_(seed) {}
    quint64 next()
    {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int between(int lo, int hi) { return lo + int(next() % quint64(hi - lo + 1)); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template <class T> const T& pick(const std::vector<T>& v) { return v[size_t(between(0, int(v.size()) - 1))]; }
    QString word(const std::vector<const char*>& v) { return QString::fromUtf8(pick(v)); }
    // A time of day on d between the hours, the minutes as given by the stream.
    QDateTime during(QDate d, int fromHour, int toHour)
    {
        const int hour = between(fromHour, toHour);
        const int minute = between(0, 59);
        return QDateTime(d, QTime(hour, minute));
    }
    QString digits(int n)
    {
        QString s;
        for (int i = 0; i < n; ++i) s += QChar('0' + between(0, 9));
        return s;
    }

private:
    quint64 state_;
};

// Dates hang off a fixed day, not the clock, so that a seed always gives the same rows.
const QDate kToday(2026, 1, 12);
const std::vector<int> kDiscounts{0, 3, 5, 10};

QDateTime at(QDate d, int hour = 0, int minute = 0) { return QDateTime(d, QTime(hour, minute)); }
Value flag(bool yes) { return Value(yes ? "+" : "-"); }
Value money(int whole) { return Value(Currency::fromInt(whole)); }

// One prepared insert, executed once per row in the batch's transaction.
class Insert {
public:
    Insert(fw::Database& db, const QString& table, const QStringList& columns)
        : statement_(db, QString("insert into %1 (%2) values (:%3)")
                             .arg(table, columns.join(", "), columns.join(", :"))),
          columns_(int(columns.size()))
    {
    }
    void operator()(fw::Transaction& tr, const std::vector<Value>& values)
    {
        if (int(values.size()) != columns_) throw fw::Error("Demo insert with a wrong number of values");
        int i = 0;
        for (const Value& v : values) statement_.setParam(i++, v);
        statement_.execute(tr);
    }

private:
    fw::Statement statement_;
    int columns_;
};

// The tables the demo writes with keys of its own, and their key columns.
const std::vector<std::pair<const char*, const char*>> kKeys{
    {"OTDEL", "IDOTDEL"}, {"USERS", "IDUSER"}, {"PRAVA", "IDPRAVA"}, {"COUNTRY", "IDCOUNTRY"},
    {"DISTRICT", "IDDISTRICT"}, {"REGION", "IDREGION"}, {"SEGMENTT", "IDSEGMENT"}, {"SEGMENTT2", "IDSEGMENT2"},
    {"REKLAMA", "IDREKLAMA"}, {"REKLAMA2", "IDREKLAMA2"}, {"PRICHINA", "IDPRICHINA"},
    {"PRICHINA2", "IDPRICHINA2"}, {"SDELKATYPE", "IDSDELKATYPE"}, {"OTKAZ", "IDOTKAZ"},
    {"HISTTYPE", "IDHISTTYPE"}, {"ETAP", "IDETAP"}, {"GRTOVAR", "IDGRTOVAR"}, {"TOVAR", "IDTOVAR"},
    {"GRKLIENT", "IDGRKLIENT"}, {"LOCGRKL", "IDLOCGRKL"}, {"CUSTOMER", "IDCUST"}, {"CONTACTS", "IDCONTACTS"},
    {"HISTORY", "IDHIST"}, {"DOG", "IDDOG"}, {"GR_KL", "IDGR_KL"}, {"LOC_KL", "IDLOC_KL"},
    {"SALES", "IDSALE"}, {"OPLATA", "IDOPLATA"}, {"SDELKA", "IDSDELKA"}, {"ETAPS", "IDETAPS"}};

struct Pair { int first; int second; };           // a first-level key and one of its children
struct RegionRef { int id; int country; const demo::Region* def; };
struct GoodsRef { int id; Currency price; };
struct DealTypeRef { int id; std::vector<int> refusals; };
struct UserRef { int id; std::vector<int> personalGroups; };

class DemoFiller {
public:
    DemoFiller(fw::Database& db, quint32 seed) : db_(db), rng_(seed) {}

    void run(int clients, const DemoProgress& progress)
    {
        for (const auto& [table, keyColumn] : kKeys)
            nextKey_[table] = db_.selectValue(QString("select coalesce(max(%1), 0) from %2").arg(keyColumn, table))
                                  .asInt() + 1;

        db_.withTransaction([this](fw::Transaction& tr) { writeReferenceLists(tr); });

        prepareClientInserts();
        constexpr int kBatch = 500;   // about 6500 rows per transaction
        for (int done = 0; done < clients;) {
            const int n = std::min(kBatch, clients - done);
            fw::Transaction tr(db_);
            tr.start();
            for (int i = 0; i < n; ++i) writeClient(tr);
            tr.commit();
            done += n;
            if (progress) progress(done, clients);
        }
        catchUpGenerators();
    }

private:
    int key(const char* table) { return nextKey_[table]++; }

    // The key providers must not hand out what the demo wrote with its own keys.
    void catchUpGenerators()
    {
        for (const auto& [table, next] : nextKey_) {
            const QString gen = "GEN_" + table;
            const qint64 current = db_.selectValue(QString("select gen_id(%1, 0) from rdb$database").arg(gen)).asInt64();
            if (next - 1 > current)
                db_.selectValue(QString("select gen_id(%1, %2) from rdb$database").arg(gen).arg(next - 1 - current));
        }
    }

    void writeReferenceLists(fw::Transaction& tr)
    {
        Insert otdel(db_, "OTDEL", {"IDOTDEL", "OTDEL"});
        std::vector<int> departments;
        for (const char* name : demo::departments()) {
            departments.push_back(key("OTDEL"));
            otdel(tr, {departments.back(), name});
        }

        // Every right of the administrator except the administration of the system itself.
        std::vector<int> rights;
        {
            fw::Statement s(db_, "select IDPRAVO from PRAVA where IDUSER = 0 and IDPRAVO not in (1044, 1045, 1046) order by IDPRAVO");
            s.execute(tr);
            while (s.fetch()) rights.push_back(s.value(0).asInt());
        }
        Insert user(db_, "USERS", {"IDUSER", "IDOTDEL", "NAME", "PASS", "EMAIL"});
        Insert prava(db_, "PRAVA", {"IDPRAVA", "IDUSER", "IDPRAVO"});
        for (const demo::User& u : demo::users()) {
            users_.push_back({key("USERS"), {}});
            user(tr, {users_.back().id, departments[size_t(u.department - 1)], u.name, "", u.email});
            for (int code : rights) prava(tr, {key("PRAVA"), users_.back().id, code});
        }

        Insert country(db_, "COUNTRY", {"IDCOUNTRY", "COUNTRY"});
        std::vector<int> countries;
        for (const char* name : demo::countries()) {
            countries.push_back(key("COUNTRY"));
            country(tr, {countries.back(), name});
        }
        Insert district(db_, "DISTRICT", {"IDDISTRICT", "DISTRICT"});
        std::vector<int> districts;
        for (const char* name : demo::districts()) {
            districts.push_back(key("DISTRICT"));
            district(tr, {districts.back(), name});
        }
        Insert region(db_, "REGION", {"IDREGION", "IDCOUNTRY", "IDDISTRICT", "REGION"});
        for (const demo::Region& r : demo::regions()) {
            const int country = countries[size_t(r.country - 1)];
            regions_.push_back({key("REGION"), country, &r});
            region(tr, {regions_.back().id, country, r.district ? districts[size_t(r.district - 1)] : 0, r.name});
        }

        segments_ = writeTwoLevel(tr, demo::segments(), "SEGMENTT", "IDSEGMENT", "SEGMENTT2", "IDSEGMENT2");
        advertising_ = writeTwoLevel(tr, demo::advertising(), "REKLAMA", "IDREKLAMA", "REKLAMA2", "IDREKLAMA2");
        reasons_ = writeTwoLevel(tr, demo::reasons(), "PRICHINA", "IDPRICHINA", "PRICHINA2", "IDPRICHINA2");

        Insert dealType(db_, "SDELKATYPE", {"IDSDELKATYPE", "SDELKATYPE"});
        Insert refusal(db_, "OTKAZ", {"IDOTKAZ", "IDSDELKATYPE", "OTKAZ"});
        for (const demo::TwoLevel& t : demo::dealTypes()) {
            DealTypeRef ref{key("SDELKATYPE"), {}};
            dealType(tr, {ref.id, t.name});
            for (const char* name : t.children) {
                ref.refusals.push_back(key("OTKAZ"));
                refusal(tr, {ref.refusals.back(), ref.id, name});
            }
            dealTypes_.push_back(ref);
        }

        Insert histType(db_, "HISTTYPE", {"IDHISTTYPE", "HISTTYPE"});
        for (const char* name : demo::historyTypes()) {
            historyTypes_.push_back(key("HISTTYPE"));
            histType(tr, {historyTypes_.back(), name});
        }
        Insert etap(db_, "ETAP", {"IDETAP", "ETAP"});
        for (const char* name : demo::stages()) {
            stages_.push_back(key("ETAP"));
            etap(tr, {stages_.back(), name});
        }

        Insert grTovar(db_, "GRTOVAR", {"IDGRTOVAR", "GRTOVAR"});
        Insert tovar(db_, "TOVAR", {"IDTOVAR", "IDGRTOVAR", "TOVAR", "PRICE"});
        for (const demo::GoodsGroup& g : demo::goodsGroups()) {
            const int group = key("GRTOVAR");
            grTovar(tr, {group, g.name});
            for (const demo::Goods& item : g.goods) {
                goods_.push_back({key("TOVAR"), Currency::fromInt(item.price)});
                tovar(tr, {goods_.back().id, group, item.name, goods_.back().price});
            }
        }

        Insert grKlient(db_, "GRKLIENT", {"IDGRKLIENT", "GRKLIENT"});
        for (const char* name : demo::globalGroups()) {
            globalGroups_.push_back(key("GRKLIENT"));
            grKlient(tr, {globalGroups_.back(), name});
        }
        Insert locGrKl(db_, "LOCGRKL", {"IDLOCGRKL", "LOCGRKL", "IDUSER"});
        for (UserRef& u : users_)
            for (const char* name : demo::personalGroups()) {
                u.personalGroups.push_back(key("LOCGRKL"));
                locGrKl(tr, {u.personalGroups.back(), name, u.id});
            }

        company_ = "ООО \"Стриж\"";
        fw::Statement settings(db_, "update VER set COMPANY = :COMPANY, VALUTA1 = :VALUTA1, VALUTA2 = :VALUTA2,"
                                    " PRIZNAK1 = :PRIZNAK1, PRIZNAK2 = :PRIZNAK2, COUNTRYCODE = :COUNTRYCODE,"
                                    " CITYCODE = :CITYCODE");
        settings.setParam("COMPANY", company_);
        settings.setParam("VALUTA1", "руб.");
        settings.setParam("VALUTA2", "у.е.");
        settings.setParam("PRIZNAK1", "Обучение");
        settings.setParam("PRIZNAK2", "Обновление");
        settings.setParam("COUNTRYCODE", "7");
        settings.setParam("CITYCODE", "495");
        settings.execute(tr);
    }

    // A first level and its children; the pairs are what a client row may hold.
    std::vector<Pair> writeTwoLevel(fw::Transaction& tr, const std::vector<demo::TwoLevel>& list,
                                    const char* table, const char* keyColumn,
                                    const char* childTable, const char* childKey)
    {
        Insert first(db_, table, {keyColumn, table});
        Insert second(db_, childTable, {childKey, keyColumn, childTable});
        std::vector<Pair> pairs;
        for (const demo::TwoLevel& t : list) {
            const int id = key(table);
            first(tr, {id, t.name});
            pairs.push_back({id, 0});
            for (const char* name : t.children) {
                pairs.push_back({id, key(childTable)});
                second(tr, {pairs.back().second, id, name});
            }
        }
        return pairs;
    }

    void prepareClientInserts()
    {
        customer_.emplace(db_, "CUSTOMER", QStringList{"IDCUST", "IDUSER", "DATECR", "COMPANY", "FAX", "ADDRESS",
                                                       "CITY", "IDREGION", "IDCOUNTRY", "IDREKLAMA", "IDSEGMENT",
                                                       "POLZOV", "REGPOLZOV", "OTHER", "IDREKLAMA2", "IDSEGMENT2",
                                                       "IDPERSP", "WWW"});
        contact_.emplace(db_, "CONTACTS", QStringList{"IDCONTACTS", "CONTACT_NAME", "CONTACT_TITLE", "CONTACT_DEP",
                                                      "CONTACT_PHONE", "CONTACT_EMAIL", "IDCUST", "IDUSER", "DATECR",
                                                      "CONTACT_NOTE"});
        history_.emplace(db_, "HISTORY", QStringList{"IDHIST", "IDCUST", "IDUSER", "DATECR", "HISTORY", "NOTE",
                                                     "ACCESS", "PRIOR", "BUDIL", "IDHISTTYPE", "IDCONTACTS"});
        // FILEPATH is left out: format 6 has no such column.
        contract_.emplace(db_, "DOG", QStringList{"IDDOG", "DATEBEGIN", "DATEEND", "NOTE", "DOGNUMBER", "DATEZAKL",
                                                  "IDCUST", "IDUSER", "ACCESS", "SKIDKA"});
        globalMember_.emplace(db_, "GR_KL", QStringList{"IDGR_KL", "IDCUST", "IDGRKLIENT"});
        personalMember_.emplace(db_, "LOC_KL", QStringList{"IDLOC_KL", "IDCUST", "IDLOCGRKL"});
        sale_.emplace(db_, "SALES", QStringList{"IDSALE", "IDCUST", "IDUSER", "SALESCOMPANY", "DATEREG", "KOLVO",
                                                "IDTOVAR", "SERNUM", "ACCESS", "UPGRADE", "UCHEB", "NOTE", "DATECR",
                                                "SUMMADP", "SUMMADF", "SUMMARP", "SUMMARF", "KURS", "IDSDELKA",
                                                "SERNUMINT", "BACK"});
        payment_.emplace(db_, "OPLATA", QStringList{"IDOPLATA", "IDSALE", "IDUSER", "ACCESS", "DATECR", "DATEOPL",
                                                    "SUMMAD", "SUMMAR", "KURS"});
        deal_.emplace(db_, "SDELKA", QStringList{"IDSDELKA", "IDCUST", "IDUSER", "DATE_BEGIN", "DATE_END",
                                                 "IDSDELKA_ST", "OPLATDP", "OPLATRP", "OPLATDF", "OPLATRF", "NOTE",
                                                 "IDOTKAZ", "IDETAP", "NOSCHET", "NONAKL", "NOSCHETF", "DATESCHET",
                                                 "DATENAKL", "DATESCHETF", "NAME", "IDPRICHINA", "IDPRICHINA2",
                                                 "IDSDELKATYPE", "DATECR", "IDDOG", "ACCESS"});
        stage_.emplace(db_, "ETAPS", QStringList{"IDETAPS", "IDSDELKA", "IDUSER", "DATEPLAN", "DATEFACT", "IDETAP",
                                                 "NOTE", "DATEBEGIN"});
    }

    struct Person { QString fullName; QString mailName; };

    Person person()
    {
        const bool female = rng_.chance(45);
        QString surname = rng_.word(demo::maleSurnames());
        const int patronymic = rng_.between(0, int(demo::malePatronymics().size()) - 1);
        const QString first = female ? rng_.word(demo::femaleNames()) : rng_.word(demo::maleNames());
        const QString latinSurname = demo::translit(surname) + (female ? "a" : "");
        if (female) surname += "а";
        const auto& patronymics = female ? demo::femalePatronymics() : demo::malePatronymics();
        return {surname + " " + first + " " + QString::fromUtf8(patronymics[size_t(patronymic)]),
                demo::translit(first).left(1) + "." + latinSurname};
    }

    QString phone(const RegionRef& r)
    {
        const QString code = QString::fromUtf8(r.def->phoneCode);
        const QString country = QString::fromUtf8(demo::countryPhoneCodes()[size_t(r.def->country - 1)]);
        const QString local = rng_.digits(code.size() >= 4 ? 6 : 7);
        const QString grouped = local.size() == 7
            ? local.left(3) + "-" + local.mid(3, 2) + "-" + local.mid(5)
            : local.left(2) + "-" + local.mid(2, 2) + "-" + local.mid(4);
        return "+" + country + " (" + code + ") " + grouped;
    }

    // A company name and the word its web and mail addresses are made of.
    std::pair<QString, QString> company()
    {
        const int form = rng_.between(1, 100);
        if (form <= 10) {
            const Person p = person();
            const QStringList parts = p.fullName.split(' ');
            return {"ИП " + parts[0] + " " + parts[1].left(1) + ". " + parts[2].left(1) + ".",
                    demo::translit(parts[0])};
        }
        const QString legal = form <= 70 ? "ООО" : form <= 82 ? "АО" : form <= 90 ? "ЗАО" : form <= 93 ? "ПАО"
                                                    : form <= 97 ? "НПО" : "ГУП";
        const QString prefix = rng_.word(demo::companyPrefixes());
        const int style = rng_.between(1, 10);
        QString core;
        if (style <= 5) core = prefix + rng_.word(demo::companySuffixes());
        else if (style <= 8) core = prefix + "-" + rng_.word(demo::companySuffixes());
        else core = prefix + (rng_.chance(50) ? " Плюс" : "-М");
        return {legal + " \"" + core + "\"", demo::translit(core).left(24)};
    }

    void writeClient(fw::Transaction& tr)
    {
        const int idCust = key("CUSTOMER");
        const UserRef& curator = rng_.pick(users_);
        const QDate created = kToday.addDays(-rng_.between(30, 1500));
        const RegionRef& region = rng_.pick(regions_);
        const auto [name, slug] = company();
        const Pair advertising = rng_.chance(85) ? rng_.pick(advertising_) : Pair{0, 0};
        const Pair segment = rng_.chance(85) ? rng_.pick(segments_) : Pair{0, 0};
        QString address = rng_.word(demo::streets());
        address += ", д. " + QString::number(rng_.between(1, 150));
        if (rng_.chance(60)) address += ", оф. " + QString::number(rng_.between(1, 520));
        (*customer_)(tr, {idCust, curator.id, at(created), name, phone(region), address,
                          rng_.word(region.def->cities), region.id, region.country, advertising.first,
                          segment.first, flag(rng_.chance(30)), flag(rng_.chance(20)),
                          rng_.chance(30) ? Value(rng_.word(demo::clientNotes())) : Value(),
                          advertising.second, segment.second, rng_.between(0, 3),
                          rng_.chance(60) ? Value("www." + slug + ".example") : Value()});

        std::vector<int> contacts;
        for (int n = rng_.between(1, 3); n > 0; --n) {
            const Person p = person();
            contacts.push_back(key("CONTACTS"));
            (*contact_)(tr, {contacts.back(), p.fullName, rng_.word(demo::titles()),
                             rng_.chance(70) ? Value(rng_.word(demo::contactDepartments())) : Value(),
                             phone(region), p.mailName + "@" + slug + ".example", idCust, curator.id,
                             at(created.addDays(rng_.between(0, 20))),
                             rng_.chance(20) ? Value(rng_.word(demo::contactNotes())) : Value()});
        }

        const int age = int(created.daysTo(kToday));
        for (int n = rng_.between(0, 4); n > 0; --n)
            (*history_)(tr, {key("HISTORY"), idCust, curator.id,
                             rng_.during(created.addDays(rng_.between(0, age)), 9, 18), "+",
                             rng_.word(demo::historyNotes()), "+", "-", "-", rng_.pick(historyTypes_),
                             rng_.pick(contacts)});
        for (int n = rng_.between(0, 2); n > 0; --n)
            (*history_)(tr, {key("HISTORY"), idCust, curator.id,
                             rng_.during(kToday.addDays(rng_.between(-10, 40)), 9, 17), "-",
                             rng_.word(demo::planNotes()), "+", flag(rng_.chance(20)), flag(rng_.chance(50)),
                             rng_.pick(historyTypes_), rng_.pick(contacts)});

        Value contract;
        if (rng_.chance(40)) {
            const int idDog = key("DOG");
            const QDate signedOn = created.addDays(rng_.between(0, std::min(age, 200)));
            (*contract_)(tr, {idDog, at(signedOn), at(signedOn.addYears(1)), rng_.word(demo::contractNotes()),
                              QString("%1/%2").arg(idDog).arg(signedOn.year() % 100, 2, 10, QChar('0')),
                              at(signedOn), idCust, curator.id, "+", money(rng_.pick(kDiscounts))});
            contract = idDog;
        }

        if (rng_.chance(35)) {
            const int first = rng_.pick(globalGroups_);
            (*globalMember_)(tr, {key("GR_KL"), idCust, first});
            if (rng_.chance(30)) {
                const int second = rng_.pick(globalGroups_);
                if (second != first) (*globalMember_)(tr, {key("GR_KL"), idCust, second});
            }
        }
        if (rng_.chance(15)) (*personalMember_)(tr, {key("LOC_KL"), idCust, rng_.pick(curator.personalGroups)});

        if (rng_.chance(30))
            for (int n = rng_.between(1, 2); n > 0; --n) {
                const QDate reg = created.addDays(rng_.between(0, age));
                (*sale_)(tr, {key("SALES"), idCust, curator.id, company_, at(reg),
                              Currency::fromInt(rng_.between(1, 3)), rng_.pick(goods_).id,
                              "SN" + rng_.digits(8), "+", flag(rng_.chance(20)), flag(rng_.chance(20)),
                              rng_.chance(20) ? Value(rng_.word(demo::goodsNotes())) : Value(), at(reg),
                              money(0), money(0), money(0), money(0), money(0), Value(), Value(),
                              flag(rng_.chance(5))});
            }

        const int deals = rng_.between(1, 100);
        for (int n = deals <= 45 ? 0 : deals <= 80 ? 1 : deals <= 95 ? 2 : 3; n > 0; --n)
            writeDeal(tr, idCust, curator.id, created, contract);
    }

    // The rows of a deal are made in one order (the generator's) and written parent
    // first: the deal, its stages, and each goods line before its payments.
    void writeDeal(fw::Transaction& tr, int idCust, int idUser, QDate created, const Value& contract)
    {
        const int idSdelka = key("SDELKA");
        const DealTypeRef& type = rng_.pick(dealTypes_);
        const Pair reason = rng_.pick(reasons_);
        const QDate begin = created.addDays(rng_.between(0, int(created.daysTo(kToday))));
        const bool old = begin.daysTo(kToday) > 60;
        const int outcome = rng_.between(1, 100);
        const int status = !old || outcome <= 25 ? 1 : outcome <= 75 ? 2 : 3;

        std::vector<std::pair<Insert*, std::vector<Value>>> children;
        const int stageCount = rng_.between(1, 4);
        QDate stageBegin = begin;
        int lastStage = 0;
        for (int i = 0; i < stageCount; ++i) {
            const bool done = status != 1 || i < stageCount - 1;
            children.push_back({&*stage_, {key("ETAPS"), idSdelka, idUser, at(stageBegin.addDays(7)),
                           done ? Value(at(stageBegin.addDays(rng_.between(2, 9)))) : Value(),
                           stages_[size_t(i)], rng_.chance(30) ? Value(rng_.word(demo::historyNotes())) : Value(),
                           at(stageBegin)}});
            lastStage = stages_[size_t(i)];
            stageBegin = stageBegin.addDays(rng_.between(5, 15));
        }
        const QDate end = stageBegin.addDays(rng_.between(0, 10));
        const bool invoiced = status == 2 || (status == 1 && rng_.chance(50));
        const QDate invoiceDate = begin.addDays(rng_.between(3, 20));
        const Currency rate = Currency::fromScaled(rng_.between(8500, 9900) * 100);   // 85.00 .. 99.00

        for (int n = rng_.between(1, 3); n > 0; --n) {
            const int idSale = key("SALES");
            const GoodsRef& goods = rng_.pick(goods_);
            const Currency quantity = Currency::fromInt(rng_.between(1, 10));
            const Currency planR = goods.price * quantity;
            const Currency planD = (planR / rate).rounded(2);

            // A closed deal is paid in full, in one or two payments; an open one maybe in part.
            std::vector<std::pair<Currency, Currency>> payments;
            if (status == 2) {
                if (rng_.chance(50)) {
                    payments.push_back({planR, planD});
                } else {
                    const Currency halfR = (planR / Currency::fromInt(2)).rounded(2);
                    const Currency halfD = (planD / Currency::fromInt(2)).rounded(2);
                    payments.push_back({halfR, halfD});
                    payments.push_back({planR - halfR, planD - halfD});
                }
            } else if (status == 1 && invoiced && rng_.chance(40)) {
                const Currency partR = (planR * Currency::fromScaled(rng_.between(2, 8) * 1000)).rounded(2);
                payments.push_back({partR, (partR / rate).rounded(2)});
            }
            std::vector<std::pair<Insert*, std::vector<Value>>> paid;
            for (const auto& [sumR, sumD] : payments) {
                const QDate on = invoiceDate.addDays(rng_.between(1, 30));
                paid.push_back({&*payment_, {key("OPLATA"), idSale, idUser, "+", at(on), at(on), sumD, sumR, rate}});
            }

            children.push_back({&*sale_, {idSale, idCust, idUser, company_, at(begin), quantity, goods.id, Value(), "+",
                          flag(rng_.chance(20)), flag(rng_.chance(20)),
                          rng_.chance(20) ? Value(rng_.word(demo::goodsNotes())) : Value(), at(begin),
                          planD, money(0), planR, money(0), rate, idSdelka,
                          status == 2 ? Value(QString::number(idSale)) : Value(), "-"}});
            children.insert(children.end(), paid.begin(), paid.end());
        }

        const QString invoiceNo = QString::number(1000 + idSdelka);
        (*deal_)(tr, {idSdelka, idCust, idUser, at(begin), status == 1 ? Value() : Value(at(end)), status,
                      money(0), money(0), money(0), money(0),
                      rng_.chance(30) ? Value(rng_.word(demo::historyNotes())) : Value(),
                      status == 3 ? Value(rng_.pick(type.refusals)) : Value(),
                      status == 3 ? Value(lastStage) : Value(),
                      invoiced ? Value(invoiceNo) : Value(), status == 2 ? Value(invoiceNo) : Value(),
                      status == 2 ? Value(invoiceNo) : Value(), invoiced ? Value(at(invoiceDate)) : Value(),
                      status == 2 ? Value(at(end)) : Value(), status == 2 ? Value(at(end)) : Value(),
                      rng_.word(demo::dealNames()), reason.first, reason.second, type.id, at(begin),
                      !contract.isNull() && rng_.chance(60) ? contract : Value(), "+"});
        for (auto& [insert, values] : children) (*insert)(tr, values);
    }

    fw::Database& db_;
    Rng rng_;
    std::map<QString, int> nextKey_;
    QString company_;
    std::vector<UserRef> users_;
    std::vector<RegionRef> regions_;
    std::vector<Pair> segments_, advertising_, reasons_;
    std::vector<DealTypeRef> dealTypes_;
    std::vector<int> historyTypes_, stages_, globalGroups_;
    std::vector<GoodsRef> goods_;
    std::optional<Insert> customer_, contact_, history_, contract_, globalMember_, personalMember_, sale_,
        payment_, deal_, stage_;
};

// Many payments over a long period for the reports' measurements: deals of the
// existing clients, each with goods lines paid in instalments.
class PaymentFiller {
public:
    PaymentFiller(fw::Database& db, quint32 seed) : db_(db), rng_(quint64(seed) ^ (0x5A17ull << 32)) {}

    void run(int payments, const DemoProgress& progress)
    {
        readReferences();
        if (clients_.empty() || goods_.empty()) throw fw::Error("Payments need a database with demo clients");
        Insert payment(db_, "OPLATA", {"IDOPLATA", "IDSALE", "IDUSER", "ACCESS", "DATECR", "DATEOPL", "SUMMAD",
                                       "SUMMAR", "KURS"});
        Insert sale(db_, "SALES", {"IDSALE", "IDCUST", "IDUSER", "SALESCOMPANY", "DATEREG", "KOLVO", "IDTOVAR",
                                   "ACCESS", "UPGRADE", "UCHEB", "DATECR", "SUMMADP", "SUMMARP", "KURS",
                                   "IDSDELKA", "SERNUMINT", "BACK"});
        Insert deal(db_, "SDELKA", {"IDSDELKA", "IDCUST", "IDUSER", "DATE_BEGIN", "DATE_END", "IDSDELKA_ST",
                                    "NOSCHET", "NONAKL", "NOSCHETF", "DATESCHET", "DATENAKL", "DATESCHETF", "NAME",
                                    "IDPRICHINA", "IDPRICHINA2", "IDSDELKATYPE", "DATECR", "ACCESS"});
        const QDate first = kToday.addDays(-730);
        constexpr int kBatch = 20000;   // payments per transaction, about
        int done = 0;
        while (done < payments) {
            fw::Transaction tr(db_);
            tr.start();
            const int batchEnd = std::min(payments, done + kBatch);
            while (done < batchEnd) {
                const Client& client = clients_[size_t(rng_.between(0, int(clients_.size()) - 1))];
                const int idSdelka = nextSdelka_++;
                const QDate begin = first.addDays(rng_.between(0, 700));
                const Currency rate = Currency::fromScaled(rng_.between(8500, 9900) * 100);
                // Written parent first (the database refuses orphans), drawn in the old order.
                std::vector<std::vector<Value>> saleRows, paymentRows;
                for (int lines = rng_.between(1, 3); lines > 0 && done < batchEnd; --lines) {
                    const int idSale = nextSale_++;
                    const GoodsRef& goods = rng_.pick(goods_);
                    const Currency quantity = Currency::fromInt(rng_.between(1, 10));
                    const Currency planR = goods.price * quantity;
                    const Currency planD = (planR / rate).rounded(2);
                    const int parts = std::min(rng_.between(1, 8), batchEnd - done);
                    const Currency partR = (planR / Currency::fromInt(parts)).rounded(2);
                    const Currency partD = (planD / Currency::fromInt(parts)).rounded(2);
                    for (int i = 0; i < parts; ++i) {
                        const bool lastPart = i == parts - 1;
                        // Instalments a month apart, at any minute of the working day.
                        const QDateTime paid = rng_.during(std::min(begin.addDays(30 * i + rng_.between(0, 29)),
                                                                    kToday.addDays(-1)), 9, 18);
                        paymentRows.push_back({nextOplata_++, idSale, client.user, "+", paid, paid,
                                     lastPart ? planD - partD * Currency::fromInt(parts - 1) : partD,
                                     lastPart ? planR - partR * Currency::fromInt(parts - 1) : partR, rate});
                    }
                    done += parts;
                    saleRows.push_back({idSale, client.id, client.user, "", at(begin), quantity, goods.id, "+",
                              flag(rng_.chance(20)), flag(rng_.chance(20)), at(begin), planD, planR, rate, idSdelka,
                              QString::number(idSale), "-"});
                }
                const QDateTime end = at(begin.addDays(rng_.between(0, 20)));
                const QString number = QString::number(1000 + idSdelka);
                const Pair reason = rng_.pick(reasons_);
                deal(tr, {idSdelka, client.id, client.user, at(begin), end, 2, number, number, number, at(begin),
                          end, end, rng_.word(demo::dealNames()), reason.first, reason.second,
                          rng_.pick(dealTypes_), at(begin), "+"});
                for (const auto& row : saleRows) sale(tr, row);
                for (const auto& row : paymentRows) payment(tr, row);
            }
            tr.commit();
            if (progress) progress(done, payments);
        }
        for (const auto& [gen, next] : {std::pair{"GEN_SDELKA", nextSdelka_}, std::pair{"GEN_SALES", nextSale_},
                                        std::pair{"GEN_OPLATA", nextOplata_}}) {
            const qint64 current = db_.selectValue(QString("select gen_id(%1, 0) from rdb$database").arg(gen)).asInt64();
            if (next - 1 > current)
                db_.selectValue(QString("select gen_id(%1, %2) from rdb$database").arg(gen).arg(next - 1 - current));
        }
    }

private:
    struct Client { int id; int user; };

    void readReferences()
    {
        db_.withTransaction([this](fw::Transaction& tr) {
            const auto each = [&](const QString& sql, const std::function<void(fw::Statement&)>& row) {
                fw::Statement s(db_, sql);
                s.execute(tr);
                while (s.fetch()) row(s);
            };
            // One client in four buys: the rest have no payments of this kind.
            each("select IDCUST, IDUSER from CUSTOMER order by IDCUST", [this](fw::Statement& s) {
                if (rng_.chance(25)) clients_.push_back({s.value(0).asInt(), s.value(1).asInt()});
            });
            each("select IDTOVAR, PRICE from TOVAR order by IDTOVAR",
                 [this](fw::Statement& s) { goods_.push_back({s.value(0).asInt(), s.value(1).asCurrency()}); });
            each("select IDSDELKATYPE from SDELKATYPE order by 1",
                 [this](fw::Statement& s) { dealTypes_.push_back(s.value(0).asInt()); });
            each("select IDPRICHINA, IDPRICHINA2 from PRICHINA2 order by 2",
                 [this](fw::Statement& s) { reasons_.push_back({s.value(0).asInt(), s.value(1).asInt()}); });
            each("select coalesce(max(IDSDELKA), 0) + 1 from SDELKA", [this](fw::Statement& s) { nextSdelka_ = s.value(0).asInt(); });
            each("select coalesce(max(IDSALE), 0) + 1 from SALES", [this](fw::Statement& s) { nextSale_ = s.value(0).asInt(); });
            each("select coalesce(max(IDOPLATA), 0) + 1 from OPLATA", [this](fw::Statement& s) { nextOplata_ = s.value(0).asInt(); });
        });
        if (dealTypes_.empty()) dealTypes_.push_back(0);
        if (reasons_.empty()) reasons_.push_back({0, 0});
    }

    fw::Database& db_;
    Rng rng_;
    std::vector<Client> clients_;
    std::vector<GoodsRef> goods_;
    std::vector<int> dealTypes_;
    std::vector<Pair> reasons_;
    int nextSdelka_ = 1, nextSale_ = 1, nextOplata_ = 1;
};

} // namespace

void fillDemo(fw::Database& db, int clients, quint32 seed, const DemoProgress& progress)
{
    if (clients < 0) throw fw::Error("The number of demo clients cannot be negative");
    DemoFiller(db, seed).run(clients, progress);
}

} // namespace schema

namespace schema {

void fillPayments(fw::Database& db, int payments, quint32 seed, const DemoProgress& progress)
{
    if (payments < 0) throw fw::Error("The number of demo payments cannot be negative");
    PaymentFiller(db, seed).run(payments, progress);
}

} // namespace schema
