#include "core/fmUsers.h"

#include "core/ModuleWindows.h"
#include "core/FormParts.h"
#include "core/dm.h"
#include "core/fmUser.h"
#include "core/schema/References.h"

#include "db/DbError.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QIcon image(const QList<QIcon>& list, int index)
{
    return index >= 0 && index < list.size() ? list[index] : QIcon();
}

QString quoted(const QString& s)
{
    return "\"" + s + "\"";
}

int nodeId(const QTreeWidgetItem* node)
{
    return node->data(0, TfmUsers::IdRole).toInt();
}

bool isOtdelNode(const QTreeWidgetItem* node)
{
    return node && !node->parent();
}

} // namespace

TfmUsers::TfmUsers(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmUsers");
    setWindowTitle("Пользователи, права");
    resize(760, 520);

    QVBoxLayout* layout = ToolBarColumn(this, ToolBar);
    auto button = [this](const char* name, const QString& text, const QString& hint, int icon) {
        auto* b = new QToolButton(ToolBar);
        b->setObjectName(name);
        b->setText(text);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        if (dm && icon >= 0 && icon < dm->il.size()) {
            b->setIcon(dm->il[icon]);
            b->setToolButtonStyle(text.isEmpty() || hint == text ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
        } else {
            b->setToolButtonStyle(Qt::ToolButtonTextOnly);
            if (b->text().isEmpty()) b->setText(hint);
        }
        ToolBar->addWidget(b);
        return b;
    };
    btnUsers = button("btnUsers", "Пользователи", "Пользователи", 8);
    btnPrava = button("btnPrava", "Права", "Права", 13);
    for (QToolButton* b : {btnUsers, btnPrava}) {
        b->setCheckable(true);
        b->setToolButtonStyle(dm && !dm->il.isEmpty() ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextOnly);
    }
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(btnUsers);
    group->addButton(btnPrava);
    btnUsers->setChecked(true);
    ToolBar->addSeparator();
    tbGroupAdd = button("tbGroupAdd", {}, "Новый отдел", 0);
    tbGroupEdit = button("tbGroupEdit", {}, "Изменить название отдела", 1);
    tbGroupDel = button("tbGroupDel", {}, "Удалить отдел", 2);
    ToolBar->addSeparator();
    tbUserAdd = button("tbUserAdd", {}, "Новый пользователь", 0);
    tbUserEdit = button("tbUserEdit", {}, "Изменить данные пользователя", 1);
    tbUserDel = button("tbUserDel", {}, "Удалить пользователя", 2);
    tbUserOtdel = button("tbUserOtdel", {}, "Изменить отдел у пользователя", 8);
    tbUserPass = button("tbUserPass", {}, "Назначить пароль пользователю", 16);
    ToolBar->addSeparator();
    tbCopy = button("tbCopy", {}, "Запомнить права пользователя", 3);
    tbPaste = button("tbPaste", {}, "Установить новые права", 18);

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Panel1 = new QWidget(Splitter1);
    Panel1->setObjectName("Panel1");
    Panel1Layout = new QVBoxLayout(Panel1);
    Panel1Layout->setContentsMargins(2, 2, 0, 2);
    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName("Panel2");
    Panel2Layout = new QVBoxLayout(Panel2);
    Panel2Layout->setContentsMargins(0, 2, 2, 2);
    Splitter1->addWidget(Panel1);
    Splitter1->addWidget(Panel2);
    Splitter1->setStretchFactor(0, 2);
    Splitter1->setStretchFactor(1, 3);
    layout->addWidget(Splitter1, 1);

    tvUsers = new QTreeWidget(Panel1);
    tvUsers->setObjectName("tvUsers");
    tvUsers->setHeaderHidden(true);
    tvUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvPrava = new QTreeWidget(Panel2);
    tvPrava->setObjectName("tvPrava");
    tvPrava->setHeaderHidden(true);
    tvPrava->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvPrava->viewport()->installEventFilter(this);
    lvUsers = new QTreeWidget(Panel2);
    lvUsers->setObjectName("lvUsers");
    lvUsers->setRootIsDecorated(false);
    lvUsers->setHeaderLabels({"Фамилия", "Email"});
    lvUsers->header()->resizeSection(0, 200);
    lvUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvUsers->hide();
    Panel1Layout->addWidget(tvUsers);
    Panel2Layout->addWidget(tvPrava);

    connect(group, &QButtonGroup::buttonClicked, this,
            fw::guarded([this](QAbstractButton* b) { btnUsersClick(static_cast<QToolButton*>(b)); }));
    connect(tvUsers, &QTreeWidget::currentItemChanged, this,
            fw::guarded([this](QTreeWidgetItem* node, QTreeWidgetItem*) { tvUsersChange(node); }));
    connect(tvPrava, &QTreeWidget::currentItemChanged, this,
            fw::guarded([this](QTreeWidgetItem* node, QTreeWidgetItem*) { tvPravaChange(node); }));
    connect(lvUsers, &QTreeWidget::itemSelectionChanged, this, fw::guarded([this] { lvUsersSelectItem(); }));
    connect(tbGroupAdd, &QToolButton::clicked, this, fw::guarded([this] { tbGroupAddClick(); }));
    connect(tbGroupEdit, &QToolButton::clicked, this, fw::guarded([this] { tbGroupEditClick(); }));
    connect(tbGroupDel, &QToolButton::clicked, this, fw::guarded([this] { tbGroupDelClick(); }));
    connect(tbUserAdd, &QToolButton::clicked, this, fw::guarded([this] { tbUserAddClick(); }));
    connect(tbUserEdit, &QToolButton::clicked, this, fw::guarded([this] { tbUserEditClick(); }));
    connect(tbUserDel, &QToolButton::clicked, this, fw::guarded([this] { tbUserDelClick(); }));
    connect(tbUserOtdel, &QToolButton::clicked, this, fw::guarded([this] { tbUserOtdelClick(); }));
    connect(tbUserPass, &QToolButton::clicked, this, fw::guarded([this] { tbUserPassClick(); }));
    connect(tbCopy, &QToolButton::clicked, this, fw::guarded([this] { tbCopyClick(); }));
    connect(tbPaste, &QToolButton::clicked, this, fw::guarded([this] { tbPasteClick(); }));

    FormCreate();
}

TfmUsers::~TfmUsers()
{
    FormDestroy();
}

TUsers& TfmUsers::rights() const
{
    if (!UserRights) throw fw::Error("TfmUsers: nobody is logged in");
    return *UserRights;
}

void TfmUsers::FormCreate()
{
    FillPravaTree();
    FillUsersTree(-1);
}

void TfmUsers::FormClose()
{
    setAttribute(Qt::WA_DeleteOnClose);
}

void TfmUsers::FormDestroy()
{
    if (fmUsers == this) fmUsers = nullptr;
}

void TfmUsers::closeEvent(QCloseEvent* e)
{
    FormClose();
    QWidget::closeEvent(e);
}

bool TfmUsers::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tvPrava->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint pos = me->position().toPoint();
        if (QTreeWidgetItem* node = tvPrava->itemAt(pos)) {
            // The state image is the icon at the start of the node's row.
            const QRect r = tvPrava->visualItemRect(node);
            const int iconRight = r.left() + tvPrava->iconSize().width() + 6;
            const int iconWidth = qMax(16, tvPrava->iconSize().width());
            if (pos.x() >= r.left() && pos.x() <= qMax(iconRight, r.left() + iconWidth + 6))
                fw::runGuarded([&] { tvPravaMouseDown(node); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfmUsers::btnUsersClick(QToolButton* button)
{
    SetMode(button == btnPrava ? 2 : 1);
}

void TfmUsers::tvUsersChange(QTreeWidgetItem* node)
{
    if (Changing || Mode == 2 || !node) return;
    if (!isOtdelNode(node)) {
        SetMode(0);
        SelectedUserId = nodeId(node);
        ShowUserPrava(SelectedUserId);
        UpdateButtons();
    } else {
        SetMode(1);
        FillUsersList(nodeId(node));
    }
}

void TfmUsers::tvPravaChange(QTreeWidgetItem* node)
{
    if (Mode != 2 || Changing || !node) return;
    FillUsersTree(nodeId(node));
    tvUsers->expandAll();
}

void TfmUsers::lvUsersSelectItem()
{
    if (Mode != 1) return;
    const QList<QTreeWidgetItem*> sel = lvUsers->selectedItems();
    SelectedUserId = sel.isEmpty() ? -1 : nodeId(sel.first());
    UpdateButtons();
}

void TfmUsers::tvPravaMouseDown(QTreeWidgetItem* node)
{
    if (Mode != 0 || !node || !node->data(0, StateRole).isValid()) return;
    TUserRecord user;
    if (!GetSelectedUser(user)) return;
    CheckNotAdmin(user.IdUser);
    const int pravo = nodeId(node);
    if (node->data(0, StateRole).toInt() == 2) {
        rights().AddPravo(user.IdUser, pravo);
        SetStateImage(node, 1);
    } else {
        rights().DeletePravo(user.IdUser, pravo);
        SetStateImage(node, rights().IsGranted(user.IdUser, pravo) ? 1 : 2);
    }
}

void TfmUsers::SetStateImage(QTreeWidgetItem* node, int state)
{
    node->setData(0, StateRole, state);
    node->setIcon(0, dm ? image(dm->ilState, state) : QIcon());
}

void TfmUsers::FillUsersTree(int pravo)
{
    TUsers& r = rights();
    const bool was = Changing;
    Changing = true;
    tvUsers->clear();
    r.SetFiltered(true);
    for (const TOtdelRecord& o : r.GetOtdels()) {
        QTreeWidgetItem* node = AddOtdelNode(o);
        r.SetFilter(o.IdOtdel, pravo);
        for (const TUserRecord& u : r.FilteredUsers) AddUserChildNode(node, u);
    }
    Changing = was;
    if (tvUsers->topLevelItemCount() > 0) {
        if (tvUsers->currentItem() == tvUsers->topLevelItem(0)) tvUsersChange(tvUsers->topLevelItem(0));
        else tvUsers->setCurrentItem(tvUsers->topLevelItem(0));
    }
}

void TfmUsers::AddPravaChildren(QTreeWidgetItem* parent, int parentId)
{
    TUsers& r = rights();
    r.GetChildPrava(parentId);
    const QList<TPravoTreeRecord> children = r.ChildPrava;
    for (const TPravoTreeRecord& rec : children) {
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvPrava);
        node->setText(0, rec.Caption);
        if (rec.Pravo != NoPravo) {
            node->setData(0, IdRole, rec.Pravo);
            SetStateImage(node, 1);
        } else {
            node->setData(0, IdRole, NoPravo);
        }
        AddPravaChildren(node, rec.Id);
    }
}

void TfmUsers::FillPravaTree()
{
    tvPrava->clear();
    AddPravaChildren(nullptr, 0);
    tvPrava->expandAll();
}

void TfmUsers::ShowUserPrava(int IdUser)
{
    TUsers& r = rights();
    for (QTreeWidgetItemIterator it(tvPrava); *it; ++it) {
        QTreeWidgetItem* node = *it;
        if (!node->data(0, StateRole).isValid()) continue;   // a grouping node
        SetStateImage(node, IdUser == -1 || r.IsGranted(IdUser, nodeId(node)) ? 1 : 2);
    }
}

void TfmUsers::FillUsersList(int IdOtdel)
{
    TUsers& r = rights();
    lvUsers->clear();
    r.SetFiltered(true);
    r.SetFilter(IdOtdel, -1);
    for (const TUserRecord& u : r.FilteredUsers) {
        auto* item = new QTreeWidgetItem(lvUsers, {u.Name, u.Email});
        item->setData(0, IdRole, u.IdUser);
        item->setIcon(0, dm ? image(dm->il, 7) : QIcon());
    }
    if (lvUsers->topLevelItemCount() > 0) {
        lvUsers->setCurrentItem(lvUsers->topLevelItem(0));
        lvUsers->topLevelItem(0)->setSelected(true);
    }
    lvUsersSelectItem();
}

void TfmUsers::SetMode(int mode)
{
    if (mode == Mode) return;
    Changing = true;
    try {
        auto place = [](QVBoxLayout* pane, QWidget* w) {
            // Out of its old pane's layout first, or that pane keeps an empty slot for it.
            if (QLayout* old = w->parentWidget() ? w->parentWidget()->layout() : nullptr) old->removeWidget(w);
            w->setParent(pane->parentWidget());
            pane->addWidget(w);
            w->show();
        };
        if (mode == 0) {
            place(Panel1Layout, tvUsers);
            place(Panel2Layout, tvPrava);
            lvUsers->hide();
        } else if (mode == 1) {
            place(Panel1Layout, tvUsers);
            place(Panel2Layout, lvUsers);
            tvPrava->hide();
        } else {
            place(Panel1Layout, tvPrava);
            place(Panel2Layout, tvUsers);
            lvUsers->hide();
        }
        Panel1Layout->activate();
        Panel2Layout->activate();
        if (Mode == 2) {
            FillUsersTree(-1);
            btnUsers->setChecked(true);
        }
        if (mode == 2) {
            ShowUserPrava(-1);
            btnPrava->setChecked(true);
        }
    } catch (...) {
        Changing = false;
        throw;
    }
    Mode = mode;
    Changing = false;
    if (mode == 2) tvPravaChange(tvPrava->currentItem());
    if (mode == 1) tvUsersChange(tvUsers->currentItem());
    UpdateButtons();
}

void TfmUsers::UpdateButtons()
{
    bool group = false, groupEdit = false, userAdd = false, user = false;
    if (Mode == 0) {
        QTreeWidgetItem* node = tvUsers->currentItem();
        user = node && !isOtdelNode(node);
        group = userAdd = user;
    } else if (Mode == 1) {
        group = groupEdit = userAdd = true;
        user = !lvUsers->selectedItems().isEmpty();
    }
    tbGroupAdd->setEnabled(group);
    tbGroupEdit->setEnabled(groupEdit);
    tbGroupDel->setEnabled(groupEdit);
    tbUserAdd->setEnabled(userAdd);
    for (QToolButton* b : {tbUserEdit, tbUserDel, tbUserOtdel, tbUserPass, tbCopy}) b->setEnabled(user);
    tbPaste->setEnabled(user && RightsCopied);
}

bool TfmUsers::GetSelectedUser(TUserRecord& user) const
{
    int id = -1;
    if (Mode == 0) {
        QTreeWidgetItem* node = tvUsers->currentItem();
        if (node && !isOtdelNode(node)) id = nodeId(node);
    } else if (Mode == 1) {
        const QList<QTreeWidgetItem*> sel = lvUsers->selectedItems();
        if (!sel.isEmpty()) id = nodeId(sel.first());
    }
    return id != -1 && rights().GetUser(id, user);
}

void TfmUsers::CheckNotAdmin(int IdUser) const
{
    if (IdUser == 0 && CurrentUser.IdUser != 0)
        throw fw::UserError("Вы не можете выполнять эти действия с Администратором!");
}

QTreeWidgetItem* TfmUsers::AddOtdelNode(const TOtdelRecord& otdel)
{
    auto* node = new QTreeWidgetItem(tvUsers, {otdel.Otdel});
    node->setData(0, IdRole, otdel.IdOtdel);
    if (dm) node->setIcon(0, image(dm->il, 8));
    return node;
}

QTreeWidgetItem* TfmUsers::AddUserChildNode(QTreeWidgetItem* otdelNode, const TUserRecord& user)
{
    auto* node = new QTreeWidgetItem(otdelNode, {user.Name});
    node->setData(0, IdRole, user.IdUser);
    if (dm) node->setIcon(0, image(dm->il, 7));
    return node;
}

QTreeWidgetItem* TfmUsers::OtdelNode(int IdOtdel) const
{
    for (int i = 0; i < tvUsers->topLevelItemCount(); ++i)
        if (nodeId(tvUsers->topLevelItem(i)) == IdOtdel) return tvUsers->topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* TfmUsers::UserNode(QTreeWidgetItem* otdelNode, int IdUser) const
{
    if (!otdelNode) return nullptr;
    for (int i = 0; i < otdelNode->childCount(); ++i)
        if (nodeId(otdelNode->child(i)) == IdUser) return otdelNode->child(i);
    return nullptr;
}

QTreeWidgetItem* TfmUsers::PravoNode(int pravo) const
{
    for (QTreeWidgetItemIterator it(tvPrava); *it; ++it)
        if ((*it)->data(0, StateRole).isValid() && nodeId(*it) == pravo) return *it;
    return nullptr;
}

void TfmUsers::tbGroupAddClick()
{
    QString name = "Новый отдел";
    if (!fw::dialogs().inputQuery("Новый отдел", "Название", name)) return;
    TOtdelRecord o;
    o.Otdel = name;
    rights().AddOtdel(o);
    AddOtdelNode(o);
}

void TfmUsers::tbGroupEditClick()
{
    QTreeWidgetItem* node = tvUsers->currentItem();
    if (!isOtdelNode(node)) return;
    TOtdelRecord o;
    rights().GetOtdel(nodeId(node), o);
    QString name = o.Otdel;
    if (!fw::dialogs().inputQuery("Изменение названия отдела", "Название", name)) return;
    o.Otdel = name;
    rights().UpdateOtdel(o);
    node->setText(0, name);
}

void TfmUsers::tbGroupDelClick()
{
    QTreeWidgetItem* node = tvUsers->currentItem();
    if (!isOtdelNode(node)) return;
    const int id = nodeId(node);
    // The tree may be filtered; the users in memory decide.
    bool hasUsers = node->childCount() > 0;
    for (const TUserRecord& u : rights().Users) hasUsers = hasUsers || u.IdOtdel == id;
    if (hasUsers) throw fw::UserError("Нельзя удалять отдел, в котором есть пользователи!");
    if (!fw::dialogs().confirm("Удалить отдел " + quoted(node->text(0)) + "?")) return;
    rights().DeleteOtdel(id);
    delete node;
}

void TfmUsers::tbUserAddClick()
{
    QTreeWidgetItem* node = tvUsers->currentItem();
    if (!node) return;
    if (!isOtdelNode(node)) node = node->parent();
    TOtdelRecord o;
    rights().GetOtdel(nodeId(node), o);
    TfmUser dlg(this);
    dlg.edOtdel->setText(o.Otdel);
    dlg.edName->setText("Новый пользователь");
    if (dlg.exec() != QDialog::Accepted) return;
    TUserRecord u;
    u.IdOtdel = o.IdOtdel;
    u.Name = dlg.edName->text();
    u.Email = dlg.edEmail->text();
    rights().AddUser(u);
    AddUserChildNode(node, u);
    if (Mode == 1) tvUsersChange(tvUsers->currentItem());
}

void TfmUsers::EditUser(TUserRecord& user)
{
    TOtdelRecord o;
    rights().GetOtdel(user.IdOtdel, o);
    TfmUser dlg(this);
    dlg.edOtdel->setText(o.Otdel);
    dlg.edName->setText(user.Name);
    dlg.edEmail->setText(user.Email);
    if (dlg.exec() != QDialog::Accepted) throw fw::Abort();
    user.Name = dlg.edName->text();
    user.Email = dlg.edEmail->text();
    // Only these two columns: a password set elsewhere meanwhile must survive.
    rights().UpdateUserColumns(user, {"NAME", "EMAIL"});
}

void TfmUsers::tbUserEditClick()
{
    TUserRecord user;
    if (!GetSelectedUser(user)) return;
    CheckNotAdmin(user.IdUser);
    EditUser(user);
    if (Mode == 0) {
        if (QTreeWidgetItem* node = tvUsers->currentItem()) node->setText(0, user.Name);
    } else if (Mode == 1) {
        const QList<QTreeWidgetItem*> sel = lvUsers->selectedItems();
        if (!sel.isEmpty()) {
            sel.first()->setText(0, user.Name);
            sel.first()->setText(1, user.Email);
        }
        QTreeWidgetItem* node = UserNode(tvUsers->currentItem(), user.IdUser);
        if (!node) {
            fw::dialogs().error("Пользователь в дереве не найден!");
            return;
        }
        node->setText(0, user.Name);
    }
}

void TfmUsers::tbUserDelClick()
{
    TUserRecord user;
    if (!GetSelectedUser(user)) return;
    CheckNotAdmin(user.IdUser);
    if (!fw::dialogs().confirm("Удалить пользователя " + quoted(user.Name) + "?")) return;
    try {
        rights().DeleteUser(user.IdUser);
    } catch (const schema::InUseError& owned) {
        if (!HandOverAndDelete(user, owned)) return;
    }
    if (Mode == 1) {
        const QList<QTreeWidgetItem*> sel = lvUsers->selectedItems();
        if (!sel.isEmpty()) delete sel.first();
        lvUsersSelectItem();
        QTreeWidgetItem* node = UserNode(tvUsers->currentItem(), user.IdUser);
        if (!node) {
            fw::dialogs().error("Пользователь в дереве не найден!");
            return;
        }
        delete node;
    } else if (Mode == 0) {
        delete tvUsers->currentItem();
    }
}

bool TfmUsers::HandOverAndDelete(const TUserRecord& user, const schema::InUseError& owned)
{
    QList<TUserRecord> heirs;
    for (const TUserRecord& u : rights().Users)
        if (u.IdOtdel == user.IdOtdel && u.IdUser != user.IdUser) heirs << u;
    if (heirs.isEmpty())
        throw fw::UserError(owned.usedIn()
                            + "; удалить его нельзя: в его отделе нет другого пользователя, которому их можно передать.");
    std::sort(heirs.begin(), heirs.end(),
              [](const TUserRecord& a, const TUserRecord& b) { return a.Name.localeAwareCompare(b.Name) < 0; });
    if (!fw::dialogs().confirm(owned.usedIn() + ".\nПередать эти записи другому пользователю его отдела и удалить "
                               + quoted(user.Name) + "?"))
        return false;
    QStringList names;
    for (const TUserRecord& u : heirs) names << u.Name;
    int index = 0;
    if (!fw::dialogs().pickItem("Кому передать записи пользователя " + quoted(user.Name), names, index)) return false;
    if (index < 0 || index >= heirs.size()) return false;
    rights().DeleteUser(user.IdUser, heirs[index].IdUser);
    return true;
}

void TfmUsers::tbUserOtdelClick()
{
    TUserRecord user;
    if (!GetSelectedUser(user)) return;
    CheckNotAdmin(user.IdUser);
    const QList<TOtdelRecord> otdels = rights().GetOtdels();
    QStringList items;
    int index = -1;
    for (qsizetype i = 0; i < otdels.size(); ++i) {
        items << otdels[i].Otdel;
        if (otdels[i].IdOtdel == user.IdOtdel) index = int(i);
    }
    if (!fw::dialogs().pickItem("Отдел для польз. " + quoted(user.Name), items, index)) return;
    if (index < 0 || index >= otdels.size()) return;
    const int target = otdels[index].IdOtdel;
    if (target == user.IdOtdel) throw fw::UserError("Пользователь уже находится в этом отделе!");
    const int from = user.IdOtdel;
    user.IdOtdel = target;
    rights().UpdateUserColumns(user, {"IDOTDEL"});
    if (Mode == 1) {
        const QList<QTreeWidgetItem*> sel = lvUsers->selectedItems();
        if (!sel.isEmpty()) delete sel.first();
    }
    QTreeWidgetItem* targetNode = OtdelNode(target);
    if (QTreeWidgetItem* node = UserNode(OtdelNode(from), user.IdUser)) {
        const bool wasCurrent = tvUsers->currentItem() == node;
        if (wasCurrent) Changing = true;
        node->parent()->removeChild(node);
        if (targetNode) targetNode->addChild(node);
        else delete node;
        if (wasCurrent && targetNode) tvUsers->setCurrentItem(node);
        Changing = false;
    }
    if (Mode == 1) lvUsersSelectItem();
    else UpdateButtons();
}

void TfmUsers::tbUserPassClick()
{
    TUserRecord user;
    if (!GetSelectedUser(user)) return;
    CheckNotAdmin(user.IdUser);
    QString pass;
    if (!fw::dialogs().inputQuery("Пользователь " + quoted(user.Name), "Новый пароль", pass)) return;
    user.Pass = pass;
    rights().UpdateUserColumns(user, {"PASS"});
}

void TfmUsers::tbCopyClick()
{
    rights().CopyPrava(SelectedUserId);
    RightsCopied = true;
    UpdateButtons();
}

void TfmUsers::tbPasteClick()
{
    if (SelectedUserId < 0) return;
    // Like every other action on the administrator.
    CheckNotAdmin(SelectedUserId);
    if (!fw::dialogs().confirm("Установить новые права?")) return;
    rights().PastePrava(SelectedUserId);
    if (Mode == 0) {
        Changing = false;
        tvUsersChange(tvUsers->currentItem());
    }
}
