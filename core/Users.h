#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

namespace fw { class DataSet; }

struct TOtdelRecord {
    int IdOtdel = 0;
    QString Otdel;
};

// A record that names no user has IdUser -1: user 0 is the administrator. An
// unknown owner still counts as a user of department 0.
struct TUserRecord {
    int IdUser = -1;
    int IdOtdel = 0;
    QString Name;
    QString Pass;       // plain text, compared exactly
    QString Email;
};

struct TPravoRecord {
    int IdPrava = 0;    // key of the PRAVA row
    int IdPravo = 0;    // right code
    int IdUser = 0;
};

// The code of a grouping node of the rights tree: it grants nothing.
constexpr int NoPravo = -1;

struct TPravoTreeRecord {
    int Id;
    QString Caption;
    int ParentId;       // 0 for a root
    int Pravo;          // right code, or NoPravo
};

extern const std::array<TPravoTreeRecord, 56> PravaTree;

// Departments, users and granted rights as this workstation last loaded or
// changed them. Every change is written and committed first; the arrays follow
// only when the write succeeded.
class TUsers {
public:
    TUsers();

    void Load();
    void ReadUser(int index, fw::DataSet& qry);
    void LoadPrava();

    bool IsGranted(int IdUser, int pravo) const;
    // False when there is no such user; the record is then left as it was.
    bool GetUser(int IdUser, TUserRecord& user) const;
    bool UserInOtdel(int IdUser, int IdOtdel) const;
    void GetOtdel(int IdOtdel, TOtdelRecord& otdel) const;
    const QList<TOtdelRecord>& GetOtdels() const { return Otdels; }

    void AddOtdel(TOtdelRecord& otdel);
    void UpdateOtdel(const TOtdelRecord& otdel);
    void DeleteOtdel(int IdOtdel);
    void AddUser(TUserRecord& user);
    void UpdateUser(const TUserRecord& user);
    // Writes only the named columns of the user's row (IDOTDEL, NAME, PASS,
    // EMAIL), so a value changed elsewhere in another column survives. Lengths
    // are checked first; the array follows once the row is written.
    void UpdateUserColumns(const TUserRecord& user, const QStringList& columns);
    // Refused (schema::InUseError) while the user owns rows, unless heir, a
    // user of his department, takes them over in the same transaction. His
    // rights go with him.
    void DeleteUser(int IdUser, int heir = -1);
    void AddPravo(int IdUser, int pravo);
    void DeletePravo(int IdUser, int pravo);
    void CopyPrava(int IdUser);
    void PastePrava(int IdUser);

    void SetFilter(int otdel, int pravo);
    void SetFiltered(bool on);
    void ApplyFilter();
    void GetChildPrava(int nodeId);

    // Rights checks on a record of owner ownerId; true, or a refusal is raised.
    bool CheckEditRecord(const TUserRecord& user, int ownerId) const;
    bool CheckDeleteRecord(const TUserRecord& user, int ownerId) const;
    bool CheckEditSdelka(const TUserRecord& user, int ownerId) const;
    bool CheckEditContacts(const TUserRecord& user, int ownerId) const;
    bool CheckAddRecord(int IdUser) const;

    QList<TOtdelRecord> Otdels;
    QList<TUserRecord> Users;
    QList<TUserRecord> FilteredUsers;
    int FilterOtdel = -1;
    int FilterPravo = -1;
    bool Filtered = false;
    QList<TPravoRecord> Prava;
    QList<TPravoTreeRecord> ChildPrava;
    int ChildParent = -1;
    QList<int> CopiedPrava;

    // A rights check by owner: the own, department or other code and its refusal.
    struct CheckRule {
        int own, otdel, other;
        const char* ownText;
        const char* otdelText;
        const char* otherText;
    };
    bool check(const CheckRule& rule, const TUserRecord& user, int ownerId) const;

private:
    // The PRAVA row writes, applied to the array given once the row is written.
    void addPravoRow(QList<TPravoRecord>& prava, int IdUser, int pravo);
    void deletePravoRow(QList<TPravoRecord>& prava, int index);
};

extern TUsers* UserRights;
extern TUserRecord CurrentUser;

// The visibility conditions over idUser for the current user: clients, and the
// other records (history, plans, contacts, goods lines, deals, contracts, orders).
QString GetCustFilter();
QString GetRecFilter();
