#pragma once

#include <QString>
#include <vector>

// Word lists and reference lists of the demo data.
namespace schema::demo {

struct Region {
    const char* name;
    int country;     // index into countries() + 1
    int district;    // index into districts() + 1, 0 for none
    const char* phoneCode;
    std::vector<const char*> cities;
};

struct TwoLevel {
    const char* name;
    std::vector<const char*> children;
};

struct Goods {
    const char* name;
    int price;       // in the first currency, whole units
};

struct GoodsGroup {
    const char* name;
    std::vector<Goods> goods;
};

struct User {
    const char* name;
    const char* email;
    int department;  // index into departments() + 1
};

const std::vector<const char*>& departments();
const std::vector<User>& users();
const std::vector<const char*>& countries();
const std::vector<const char*>& countryPhoneCodes();   // parallel to countries()
const std::vector<const char*>& districts();
const std::vector<Region>& regions();
const std::vector<TwoLevel>& segments();
const std::vector<TwoLevel>& advertising();
const std::vector<TwoLevel>& reasons();
const std::vector<TwoLevel>& dealTypes();     // children: refusal reasons of the type
const std::vector<const char*>& historyTypes();
const std::vector<const char*>& stages();
const std::vector<GoodsGroup>& goodsGroups();
const std::vector<const char*>& globalGroups();
const std::vector<const char*>& personalGroups();

const std::vector<const char*>& companyPrefixes();
const std::vector<const char*>& companySuffixes();
const std::vector<const char*>& maleSurnames();      // the female form adds "а"
const std::vector<const char*>& maleNames();
const std::vector<const char*>& femaleNames();
const std::vector<const char*>& malePatronymics();
const std::vector<const char*>& femalePatronymics(); // parallel to malePatronymics()
const std::vector<const char*>& titles();
const std::vector<const char*>& contactDepartments();
const std::vector<const char*>& streets();
const std::vector<const char*>& historyNotes();
const std::vector<const char*>& planNotes();
const std::vector<const char*>& clientNotes();
const std::vector<const char*>& contactNotes();
const std::vector<const char*>& contractNotes();
const std::vector<const char*>& dealNames();
const std::vector<const char*>& goodsNotes();

// Latin letters for a Russian word, lower case, for web and mail addresses.
QString translit(const QString& text);

} // namespace schema::demo
