#include "clients/KlientGroups.h"

#include "clients/dmKl.h"
#include "core/SharedProcs.h"
#include "core/Users.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

fw::DBListBox* List(QWidget* parent, const char* name)
{
    auto* l = new fw::DBListBox(parent);
    l->setObjectName(name);
    l->setMinimumWidth(200);
    return l;
}

// Cancels the row when its post is refused, so no half-made row stays in the list.
void PostOrCancel(fw::DataSet& ds)
{
    try {
        ds.post();
    } catch (...) {
        if (ds.state() != fw::DataSetState::Browse) ds.cancel();
        throw;
    }
}

} // namespace

TKlientGroups::TKlientGroups(QWidget* parent) : QWidget(parent)
{
    setObjectName("KlientGroups");
    rgGroup = new fw::DBRadioGroup("Группы", this);
    rgGroup->setObjectName("rgGroup");
    rgGroup->setItems({"Общие", "Личные"});
    rgGroup->setItemIndex(0);
    btnGroupNew = Button(this, "btnGroupNew", "Создать");
    btnGroupEdit = Button(this, "btnGroupEdit", "Изменить");
    btnGroupDel = Button(this, "btnGroupDel", "Удалить");
    dbllGroupList = List(this, "dbllGroupList");
    dbllGroupList_ = List(this, "dbllGroupList_");
    btnAddToGroup = Button(this, "btnAddToGroup", "Добавить в группу");
    btnDelFromGroup = Button(this, "btnDelFromGroup", "Удалить из группы");

    auto* left = new QVBoxLayout;
    left->addWidget(rgGroup);
    left->addWidget(btnGroupNew);
    left->addWidget(btnGroupEdit);
    left->addWidget(btnGroupDel);
    left->addStretch();
    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel("Все группы", this), 0, 0);
    lists->addWidget(new QLabel("Группы компании", this), 0, 2);
    lists->addWidget(dbllGroupList, 1, 0);
    auto* moves = new QVBoxLayout;
    moves->addStretch();
    moves->addWidget(btnAddToGroup);
    moves->addWidget(btnDelFromGroup);
    moves->addStretch();
    lists->addLayout(moves, 1, 1);
    lists->addWidget(dbllGroupList_, 1, 2);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(2, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(left);
    layout->addLayout(lists, 1);

    connect(rgGroup, &fw::DBRadioGroup::changed, this, fw::guarded([this] { OpenGroupList(); }));
    connect(btnGroupNew, &QPushButton::clicked, this, fw::guarded([this] { btnGroupNewClick(); }));
    connect(btnGroupEdit, &QPushButton::clicked, this, fw::guarded([this] { btnGroupEditClick(); }));
    connect(btnGroupDel, &QPushButton::clicked, this, fw::guarded([this] { btnGroupDelClick(); }));
    connect(btnAddToGroup, &QPushButton::clicked, this, fw::guarded([this] { AddToGroup(); }));
    connect(btnDelFromGroup, &QPushButton::clicked, this, fw::guarded([this] { DelFromGroup(); }));
    connect(dbllGroupList, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { AddToGroup(); }));
    connect(dbllGroupList_, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { DelFromGroup(); }));
}

bool TKlientGroups::Personal() const
{
    return rgGroup->itemIndex() == 1;
}

fw::Query& TKlientGroups::Groups() const
{
    return Personal() ? dmKl->qryGrLoc : dmKl->qryGrGl;
}

fw::Query& TKlientGroups::Memberships() const
{
    return Personal() ? dmKl->qryGrLoc_ : dmKl->qryGrGl_;
}

QString TKlientGroups::KeyField() const
{
    return Personal() ? "idLocGrKl" : "idGrKlient";
}

QString TKlientGroups::NameField() const
{
    return Personal() ? "LocGrKl" : "GrKlient";
}

bool TKlientGroups::HasClient() const
{
    return dmKl->qryCust.active() && !dmKl->qryCust.isEmpty();
}

bool TKlientGroups::Granted(int right) const
{
    return UserRights && UserRights->IsGranted(CurrentUser.IdUser, right);
}

int TKlientGroups::GroupRight() const
{
    return Personal() ? 1027 : 1026;
}

int TKlientGroups::MembershipRight() const
{
    if (Personal()) return 1027;
    // Common memberships follow the client's curator: mine, my department's, anyone else's.
    const fw::Value curator = dmKl->qryCust.fieldByName("idUser").value();
    if (!curator.isNull() && curator.asInt() == CurrentUser.IdUser) return 1004;
    if (!curator.isNull() && UserRights && UserRights->UserInOtdel(curator.asInt(), CurrentUser.IdOtdel)) return 1009;
    return 1014;
}

// The rights are asked again when a command runs: one revoked since the
// buttons were enabled must not be usable.
void TKlientGroups::CheckGroupRight() const
{
    if (Granted(GroupRight())) return;
    throw fw::UserError(Personal() ? "У Вас нет права изменять личные группы!"
                                   : "У Вас нет права изменять общие группы!");
}

void TKlientGroups::CheckMembershipRight() const
{
    const int right = MembershipRight();
    if (Granted(right)) return;
    switch (right) {
    case 1004: throw fw::UserError("У Вас нет права изменять общие группы своих компаний!");
    case 1009: throw fw::UserError("У Вас нет права изменять общие группы компаний пользователей своего отдела!");
    case 1014: throw fw::UserError("У Вас нет права изменять общие группы компаний пользователей чужого отдела!");
    default: throw fw::UserError("У Вас нет права изменять личные группы!");
    }
}

void TKlientGroups::OpenGroupList()
{
    dbllGroupList->setDataSource(nullptr);
    dbllGroupList_->setDataSource(nullptr);
    // Read again on every showing: groups other users made or deleted since show up or go.
    fw::Query& groups = Groups();
    groups.close();
    groups.open();
    groups.first();
    Memberships().close();
    dbllGroupList->setListField(NameField());
    dbllGroupList->setDataSource(Personal() ? &dmKl->dsGrLoc : &dmKl->dsGrGl);
    // The membership's lookup field is named like the group's name column.
    dbllGroupList_->setListField(Personal() ? "LOCGRKL" : "GrKlient");
    dbllGroupList_->setDataSource(Personal() ? &dmKl->dsGrLoc_ : &dmKl->dsGrGl_);
    if (dmKl->qryCust.active()) OpenMemberships();
    else UpdateGroupButtons();
}

void TKlientGroups::OpenMemberships()
{
    fw::Query& members = Memberships();
    // Another client: the group list is read again too, on the group it stood on, so that
    // the memberships find their names and the groups are today's. Not while the
    // selection is walked unseen (a group operation): nobody looks at the lists then.
    if (!members.active() && !dmKl->qryCust.controlsDisabled()) {
        fw::Query& groups = Groups();
        fw::Value current;
        if (groups.active() && !groups.isEmpty()) current = groups.fieldByName(KeyField()).value();
        groups.close();
        groups.open();
        if (current.isNull() || !groups.locate(KeyField(), current)) groups.first();
    }
    if (!Groups().active()) Groups().open();
    members.open();
    members.first();
    UpdateGroupButtons();
}

void TKlientGroups::UpdateGroupButtons()
{
    const bool members = HasClient() && Granted(MembershipRight());
    btnAddToGroup->setEnabled(members);
    btnDelFromGroup->setEnabled(members);
    const bool groups = Granted(GroupRight());
    for (QPushButton* b : {btnGroupNew, btnGroupEdit, btnGroupDel}) b->setEnabled(groups);
}

void TKlientGroups::btnGroupNewClick()
{
    CheckGroupRight();
    QString name;
    if (!fw::dialogs().inputQuery("Новая группа", "Название", name)) return;
    fw::Query& groups = Groups();
    fw::StoredProc& sp = Personal() ? dmKl->spGrLoc : dmKl->spGrGl;
    sp.execProc();
    const fw::Value id = sp.param(0).value();
    if (!groups.active()) groups.open();
    groups.append();
    groups.fieldByName(KeyField()).setValue(id);
    if (Personal()) groups.fieldByName("idUser").setAsInteger(CurrentUser.IdUser);
    groups.fieldByName(NameField()).setAsString(name);
    PostOrCancel(groups);
    groups.close();
    groups.open();
    groups.locate(KeyField(), id);
}

void TKlientGroups::btnGroupEditClick()
{
    fw::Query& groups = Groups();
    if (!groups.active() || groups.isEmpty()) return;
    CheckGroupRight();
    const QString old = groups.fieldByName(NameField()).asString();
    const QString name = fw::dialogs().inputBox("Изменение названия группы", "Название", old);
    if (name == old) return;
    groups.edit();
    groups.fieldByName(NameField()).setAsString(name);
    PostOrCancel(groups);
    // The memberships show the name through their lookup field.
    dbllGroupList_->viewport()->update();
}

void TKlientGroups::btnGroupDelClick()
{
    fw::Query& groups = Groups();
    if (!groups.active() || groups.isEmpty()) return;
    CheckGroupRight();
    const QString name = groups.fieldByName(NameField()).asString();
    if (!fw::dialogs().confirm("Удалить группу \"" + name + "\" ?")) return;
    // The database removes the group's memberships with it.
    groups.remove();
    Memberships().close();
    if (ReopenDetails) ReopenDetails();
    groups.first();
    if (Memberships().active()) Memberships().first();
}

void TKlientGroups::AddToGroup()
{
    if (!HasClient() || !btnAddToGroup->isEnabled()) return;
    fw::Query& groups = Groups();
    if (!groups.active() || groups.isEmpty()) return;
    CheckMembershipRight();
    PostIfInsert(dmKl->qryCust);
    const QString key = KeyField();
    const fw::Value group = groups.fieldByName(key).value();
    // Read again first: the client may have joined the group from another workstation.
    fw::Query& members = Memberships();
    members.close();
    members.open();
    if (!members.locate(key, group)) {
        members.append();
        members.fieldByName(key).setValue(group);
        try {
            PostOrCancel(members);
        } catch (const fw::DbError& e) {
            if (e.kind() != fw::DbErrorKind::ForeignKey) throw;
            // Deleted on another workstation meanwhile: the lists show what is there now.
            const QString name = groups.fieldByName(NameField()).asString();
            OpenGroupList();
            if (Groups().locate(key, group)) throw;   // the group is there: the client is what went
            throw fw::UserError("Группа \"" + name + "\" удалена другим пользователем.\n"
                                "Список групп прочитан заново.");
        }
        members.locate(key, group);
    }
}

void TKlientGroups::DelFromGroup()
{
    if (!HasClient() || !btnDelFromGroup->isEnabled()) return;
    fw::Query& members = Memberships();
    if (!members.active() || members.isEmpty()) return;
    CheckMembershipRight();
    members.remove();
    members.first();
}
