#include "core/Users.h"

#include "core/dm.h"
#include "core/dmUsers.h"

#include "db/DataSet.h"
#include "db/DbError.h"
#include "db/Query.h"
#include "db/UpdateSql.h"

TUsers* UserRights = nullptr;
TUserRecord CurrentUser;

constexpr int N = NoPravo;

const std::array<TPravoTreeRecord, 56> PravaTree = {{
    {1, "Модуль Клиенты", 0, 1000},
    {2, "Компании", 1, N},
    {3, "Свои", 2, N},
    {4, "Добавлять", 3, 1001},
    {5, "Изменять", 3, 1002},
    {6, "Удалять", 3, 1003},
    {7, "Общие группы", 3, 1004},
    {8, "Своего отдела", 2, N},
    {9, "Видеть", 8, 1006},
    {10, "Изменять", 8, 1007},
    {11, "Удалять", 8, 1008},
    {12, "Общие группы", 8, 1009},
    {13, "Чужого отдела", 2, N},
    {14, "Видеть", 13, 1011},
    {15, "Изменять", 13, 1012},
    {16, "Удалять", 13, 1013},
    {17, "Общие группы", 13, 1014},
    {18, "Детали (конт. лица, история, планы, сделки, договора, рассылка)", 1, N},
    {19, "Свои", 18, N},
    {20, "Добавлять", 19, 1016},
    {21, "Изменять", 19, 1017},
    {53, "Изменять сделки", 19, 1047},
    {56, "Изменять контактные лица", 19, 1050},
    {22, "Удалять", 19, 1018},
    {23, "Своего отдела", 18, N},
    {24, "Видеть", 23, 1020},
    {25, "Изменять", 23, 1021},
    {54, "Изменять сделки", 23, 1048},
    {57, "Изменять контактные лица", 23, 1051},
    {26, "Удалять", 23, 1022},
    {27, "Чужого отдела", 18, N},
    {28, "Видеть", 27, 1023},
    {29, "Изменять", 27, 1024},
    {55, "Изменять сделки", 27, 1049},
    {58, "Изменять контактные лица", 27, 1052},
    {30, "Удалять", 27, 1025},
    {31, "Общие группы", 1, 1026},
    {32, "Личные группы", 1, 1027},
    {33, "Регистрация товара", 1, 1028},
    {34, "Ввод истории \"задним\" числом", 1, 1029},
    {35, "Планировать другим", 1, 1030},
    {36, "Объединение карточек", 1, 1031},
    {37, "Импорт клиентов", 1, 1032},
    {38, "Настройка пользовательских полей", 1, 1033},
    {59, "Групповые операции", 1, 1053},
    {60, "Экспорт", 1, 1054},
    {39, "Модуль Сделки", 0, 1034},
    {61, "Экспорт", 39, 1055},
    {43, "Модуль Рассылка", 0, 1038},
    {47, "Модуль Отчеты", 0, 1042},
    {62, "Экспорт", 47, 1056},
    {48, "Настройки", 0, N},
    {49, "Личные", 48, 1043},
    {50, "Справочники", 48, 1044},
    {51, "Общие", 48, 1045},
    {52, "Пользователи, права", 48, 1046},
}};

namespace {

constexpr int AdminId = 0;
constexpr int UsersRightsPravo = 1046;

// The arrays are unordered after a removal: the last element takes the gap.
template <class T>
void removeMovingLast(QList<T>& list, qsizetype i)
{
    list[i] = list.last();
    list.removeLast();
}

bool granted(const QList<TPravoRecord>& prava, int idUser, int pravo)
{
    for (const TPravoRecord& p : prava)
        if (p.IdPravo == pravo && p.IdUser == idUser) return true;
    return false;
}

// A write that fails must not leave the query in edit or insert, or the next
// operation would post the refused row again.
template <class F>
void writeRow(fw::DataSet& q, F&& setFields)
{
    try {
        setFields();
        q.post();
    } catch (...) {
        q.cancel();
        throw;
    }
}

TdmUsers& module()
{
    if (!dmUsers) throw fw::Error("TUsers: the users data module does not exist");
    return *dmUsers;
}

} // namespace

TUsers::TUsers()
{
    FilterOtdel = -1;
    FilterPravo = -1;
    ChildParent = -1;
    Load();
}

void TUsers::Load()
{
    TdmUsers& m = module();
    for (fw::Query* q : {&m.qryOtdel, &m.qryUsers, &m.qryPrava}) {
        q->close();
        q->open();
    }

    Otdels.clear();
    for (m.qryOtdel.first(); !m.qryOtdel.eof(); m.qryOtdel.next())
        Otdels.append({m.qryOtdel.fieldByName("idOtdel").asInteger(), m.qryOtdel.fieldByName("Otdel").asString()});

    Users.clear();
    Users.resize(m.qryUsers.recordCount());
    int i = 0;
    for (m.qryUsers.first(); !m.qryUsers.eof(); m.qryUsers.next())
        ReadUser(i++, m.qryUsers);
    FilteredUsers = Users;

    LoadPrava();
}

void TUsers::ReadUser(int index, fw::DataSet& qry)
{
    TUserRecord& u = Users[index];
    u.IdUser = qry.fieldByName("idUser").asInteger();
    u.IdOtdel = qry.fieldByName("idOtdel").asInteger();
    u.Name = qry.fieldByName("Name").asString();
    u.Pass = qry.fieldByName("Pass").asString();
    u.Email = qry.fieldByName("Email").asString();
}

void TUsers::LoadPrava()
{
    fw::Query& q = module().qryPrava;
    Prava.clear();
    for (q.first(); !q.eof(); q.next())
        Prava.append({q.fieldByName("idPrava").asInteger(), q.fieldByName("idPravo").asInteger(),
                      q.fieldByName("idUser").asInteger()});
}

bool TUsers::IsGranted(int IdUser, int pravo) const
{
    return granted(Prava, IdUser, pravo);
}

bool TUsers::GetUser(int IdUser, TUserRecord& user) const
{
    for (const TUserRecord& u : Users) {
        if (u.IdUser == IdUser) {
            user = u;
            return true;
        }
    }
    return false;
}

bool TUsers::UserInOtdel(int IdUser, int IdOtdel) const
{
    TUserRecord u;
    GetUser(IdUser, u);
    return u.IdOtdel == IdOtdel;
}

void TUsers::GetOtdel(int IdOtdel, TOtdelRecord& otdel) const
{
    for (const TOtdelRecord& o : Otdels) {
        if (o.IdOtdel == IdOtdel) {
            otdel = o;
            return;
        }
    }
    throw fw::UserError("Отдел не найден!");
}

void TUsers::AddOtdel(TOtdelRecord& otdel)
{
    TdmUsers& m = module();
    const int id = m.NewKey(m.spOtdel);
    fw::Query& q = m.qryOtdel;
    q.append();
    writeRow(q, [&] {
        q.fieldByName("idOtdel").setAsInteger(id);
        q.fieldByName("Otdel").setAsString(otdel.Otdel);
    });
    otdel.IdOtdel = id;
    Otdels.append(otdel);
}

void TUsers::UpdateOtdel(const TOtdelRecord& otdel)
{
    fw::Query& q = module().qryOtdel;
    // Never edit whatever row happens to be current.
    if (!q.locate("idOtdel", otdel.IdOtdel)) return;
    q.edit();
    writeRow(q, [&] {
        q.fieldByName("idOtdel").setAsInteger(otdel.IdOtdel);
        q.fieldByName("Otdel").setAsString(otdel.Otdel);
    });
    for (TOtdelRecord& o : Otdels)
        if (o.IdOtdel == otdel.IdOtdel) {
            o = otdel;
            break;
        }
}

void TUsers::DeleteOtdel(int IdOtdel)
{
    fw::Query& q = module().qryOtdel;
    if (!q.locate("idOtdel", IdOtdel)) return;
    q.remove();
    for (qsizetype i = 0; i < Otdels.size(); ++i)
        if (Otdels[i].IdOtdel == IdOtdel) {
            removeMovingLast(Otdels, i);
            break;
        }
}

void TUsers::AddUser(TUserRecord& user)
{
    TdmUsers& m = module();
    const int id = m.NewKey(m.spUsers);
    fw::Query& q = m.qryUsers;
    q.append();
    writeRow(q, [&] {
        q.fieldByName("idUser").setAsInteger(id);
        q.fieldByName("Name").setAsString(user.Name);
        q.fieldByName("Email").setAsString(user.Email);
        q.fieldByName("idOtdel").setAsInteger(user.IdOtdel);
    });
    user.IdUser = id;
    Users.append(user);
    ApplyFilter();
}

void TUsers::UpdateUser(const TUserRecord& user)
{
    fw::Query& q = module().qryUsers;
    if (!q.locate("idUser", user.IdUser)) return;
    q.edit();
    writeRow(q, [&] {
        q.fieldByName("idOtdel").setAsInteger(user.IdOtdel);
        q.fieldByName("Name").setAsString(user.Name);
        q.fieldByName("Email").setAsString(user.Email);
        q.fieldByName("Pass").setAsString(user.Pass);
    });
    for (TUserRecord& u : Users)
        if (u.IdUser == user.IdUser) {
            u = user;
            break;
        }
    ApplyFilter();
}

void TUsers::UpdateUserColumns(const TUserRecord& user, const QStringList& columns)
{
    struct Column { const char* name; const char* caption; int length; };
    static const Column known[] = {{"IDOTDEL", "", 0}, {"NAME", "Фамилия", 30}, {"PASS", "Пароль", 30},
                                   {"EMAIL", "Email", 50}};
    auto text = [&](const QString& col) {
        return col == "NAME" ? user.Name : col == "PASS" ? user.Pass : user.Email;
    };
    QStringList sets;
    for (const QString& c : columns) {
        const QString col = c.toUpper();
        const Column* k = nullptr;
        for (const Column& x : known)
            if (col == x.name) k = &x;
        if (!k) throw fw::Error("TUsers: unknown column " + c);
        if (k->length > 0 && text(col).size() > k->length)
            throw fw::UserError(QString("Поле \"%1\" не может быть длиннее %2 символов!")
                                    .arg(QString::fromUtf8(k->caption)).arg(k->length));
        sets << QString("  %1 = :%1").arg(col);
    }
    if (sets.isEmpty()) return;
    for (qsizetype i = 0; i + 1 < sets.size(); ++i) sets[i] += ",";

    fw::Query& q = module().qryUsers;
    if (!q.locate("idUser", user.IdUser)) return;
    // The row is written through a statement of just these columns; the query
    // keeps its own update object for every other write.
    fw::UpdateSql only({QStringList{"update Users", "set"} + sets + QStringList{"where", "  IDUSER = :OLD_IDUSER"}},
                       {}, {});
    fw::UpdateSql* previous = q.updateObject();
    q.setUpdateObject(&only);
    try {
        q.edit();
        writeRow(q, [&] {
            for (const QString& c : columns) {
                const QString col = c.toUpper();
                if (col == "IDOTDEL") q.fieldByName(col).setAsInteger(user.IdOtdel);
                else q.fieldByName(col).setAsString(text(col));
            }
        });
    } catch (...) {
        q.setUpdateObject(previous);
        throw;
    }
    q.setUpdateObject(previous);
    for (TUserRecord& u : Users)
        if (u.IdUser == user.IdUser) {
            for (const QString& c : columns) {
                const QString col = c.toUpper();
                if (col == "IDOTDEL") u.IdOtdel = user.IdOtdel;
                else if (col == "NAME") u.Name = user.Name;
                else if (col == "PASS") u.Pass = user.Pass;
                else u.Email = user.Email;
            }
            break;
        }
    ApplyFilter();
}

void TUsers::DeleteUser(int IdUser, int heir)
{
    if (IdUser == AdminId) throw fw::UserError("Нельзя удалять администратора!");
    // Whatever this session wrote afterwards would belong to nobody.
    if (IdUser == CurrentUser.IdUser)
        throw fw::UserError("Нельзя удалить пользователя, под именем которого Вы работаете!");
    TdmUsers& m = module();
    fw::Query& q = m.qryUsers;
    if (!q.locate("idUser", IdUser)) return;
    m.Heir = heir;
    try {
        q.remove();
    } catch (...) {
        m.Heir = -1;
        throw;
    }
    m.Heir = -1;
    for (qsizetype i = 0; i < Users.size(); ++i)
        if (Users[i].IdUser == IdUser) {
            removeMovingLast(Users, i);
            break;
        }
    // His PRAVA rows went with him.
    for (qsizetype i = Prava.size() - 1; i >= 0; --i)
        if (Prava[i].IdUser == IdUser) removeMovingLast(Prava, i);
    ApplyFilter();
}

void TUsers::addPravoRow(QList<TPravoRecord>& prava, int IdUser, int pravo)
{
    TdmUsers& m = module();
    const int id = m.NewKey(m.spPrava);
    fw::Query& q = m.qryPrava;
    q.append();
    writeRow(q, [&] {
        q.fieldByName("idPrava").setAsInteger(id);
        q.fieldByName("idUser").setAsInteger(IdUser);
        q.fieldByName("idPravo").setAsInteger(pravo);
    });
    prava.append({id, pravo, IdUser});
}

void TUsers::deletePravoRow(QList<TPravoRecord>& prava, int index)
{
    fw::Query& q = module().qryPrava;
    if (!q.locate("idPrava", prava[index].IdPrava)) return;
    q.remove();
    removeMovingLast(prava, index);
}

void TUsers::AddPravo(int IdUser, int pravo)
{
    // A second row of the same right would survive one revocation.
    if (IsGranted(IdUser, pravo)) return;
    addPravoRow(Prava, IdUser, pravo);
}

void TUsers::DeletePravo(int IdUser, int pravo)
{
    if (IdUser == AdminId && pravo == UsersRightsPravo) throw fw::UserError("Удалять это право нельзя!");
    for (qsizetype i = 0; i < Prava.size(); ++i)
        if (Prava[i].IdPravo == pravo && Prava[i].IdUser == IdUser) {
            deletePravoRow(Prava, int(i));
            return;
        }
}

void TUsers::CopyPrava(int IdUser)
{
    CopiedPrava.clear();
    for (const TPravoRecord& p : Prava)
        if (p.IdUser == IdUser) CopiedPrava.append(p.IdPravo);
}

void TUsers::PastePrava(int IdUser)
{
    TdmUsers& m = module();
    if (!dm) throw fw::Error("TUsers: the shared data module does not exist");
    fw::Database& db = dm->db;
    // Worked on a copy: Prava changes only when the whole paste is committed.
    QList<TPravoRecord> prava = Prava;
    const QList<int> copied = CopiedPrava;
    db.startTransaction();
    try {
        for (qsizetype i = prava.size() - 1; i >= 0; --i) {
            const TPravoRecord& p = prava[i];
            // The administrator keeps the right to manage users whatever is pasted.
            if (p.IdUser == IdUser && !(IdUser == AdminId && p.IdPravo == UsersRightsPravo))
                deletePravoRow(prava, int(i));
        }
        for (int pravo : copied)
            if (!granted(prava, IdUser, pravo)) addPravoRow(prava, IdUser, pravo);
        db.commit();
    } catch (...) {
        try { db.rollback(); } catch (...) {}
        // The query still shows the rolled-back rows: read it again as the table is.
        try {
            m.qryPrava.close();
            m.qryPrava.open();
        } catch (...) {}
        throw;
    }
    Prava = prava;
}

void TUsers::SetFilter(int otdel, int pravo)
{
    if (otdel == FilterOtdel && pravo == FilterPravo) return;
    FilterOtdel = otdel;
    FilterPravo = pravo;
    if (Filtered) ApplyFilter();
}

void TUsers::SetFiltered(bool on)
{
    if (on == Filtered) return;
    Filtered = on;
    ApplyFilter();
}

void TUsers::ApplyFilter()
{
    if (!Filtered) {
        FilteredUsers = Users;
        return;
    }
    FilteredUsers.clear();
    for (const TUserRecord& u : Users)
        if ((FilterOtdel == -1 || u.IdOtdel == FilterOtdel) && (FilterPravo == -1 || IsGranted(u.IdUser, FilterPravo)))
            FilteredUsers.append(u);
}

void TUsers::GetChildPrava(int nodeId)
{
    if (nodeId == ChildParent) return;
    ChildPrava.clear();
    for (const TPravoTreeRecord& r : PravaTree)
        if (r.ParentId == nodeId) ChildPrava.append(r);
    ChildParent = nodeId;
}

bool TUsers::check(const CheckRule& rule, const TUserRecord& user, int ownerId) const
{
    int pravo = rule.other;
    const char* text = rule.otherText;
    if (ownerId == user.IdUser) {
        pravo = rule.own;
        text = rule.ownText;
    } else if (UserInOtdel(ownerId, user.IdOtdel)) {
        pravo = rule.otdel;
        text = rule.otdelText;
    }
    if (IsGranted(user.IdUser, pravo)) return true;
    throw fw::UserError(QString::fromUtf8(text));
}

bool TUsers::CheckEditRecord(const TUserRecord& user, int ownerId) const
{
    static const CheckRule rule{1017, 1021, 1024, "У Вас нет права редактировать свои записи!",
                                "У Вас нет права редактировать записи пользователей своего отдела!",
                                "У Вас нет права редактировать записи пользователей чужого отдела!"};
    return check(rule, user, ownerId);
}

bool TUsers::CheckDeleteRecord(const TUserRecord& user, int ownerId) const
{
    static const CheckRule rule{1018, 1022, 1025, "У Вас нет права удалять свои записи!",
                                "У Вас нет права удалять записи пользователей своего отдела!",
                                "У Вас нет права удалять записи пользователей чужого отдела!"};
    return check(rule, user, ownerId);
}

bool TUsers::CheckEditSdelka(const TUserRecord& user, int ownerId) const
{
    static const CheckRule rule{1047, 1048, 1049, "У Вас нет права редактировать свои сделки!",
                                "У Вас нет права редактировать сделки своего отдела!",
                                "У Вас нет права редактировать сделки чужого отдела!"};
    return check(rule, user, ownerId);
}

bool TUsers::CheckEditContacts(const TUserRecord& user, int ownerId) const
{
    static const CheckRule rule{1050, 1051, 1052, "У Вас нет права редактировать свои контактные лица!",
                                "У Вас нет права редактировать контактные лица своего отдела!",
                                "У Вас нет права редактировать контактные лица чужого отдела!"};
    return check(rule, user, ownerId);
}

bool TUsers::CheckAddRecord(int IdUser) const
{
    if (IsGranted(IdUser, 1016)) return true;
    throw fw::UserError("У Вас нет права добавлять новые записи!");
}

namespace {

QString visibility(int allPravo, int otdelPravo)
{
    // The first matching right wins: "all" before "department" before own rows.
    if (UserRights && UserRights->IsGranted(CurrentUser.IdUser, allPravo)) return "idUser is not null";
    if (UserRights && UserRights->IsGranted(CurrentUser.IdUser, otdelPravo))
        return QString("idUser in (select idUser from Users where idOtdel=%1)").arg(CurrentUser.IdOtdel);
    return QString("idUser=%1").arg(CurrentUser.IdUser);
}

} // namespace

QString GetCustFilter()
{
    return visibility(1011, 1006);
}

QString GetRecFilter()
{
    return visibility(1023, 1020);
}
