#pragma once

#include "core/Users.h"

#include <QWidget>

class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;
namespace schema { class InUseError; }

// Departments, users, passwords and rights, a module window. Every change
// goes through UserRights, which writes it at once.
class TfmUsers : public QWidget {
    Q_OBJECT
public:
    explicit TfmUsers(QWidget* owner = nullptr);
    ~TfmUsers() override;

    QToolBar* ToolBar;
    QToolButton* btnUsers;
    QToolButton* btnPrava;
    QToolButton* tbGroupAdd;
    QToolButton* tbGroupEdit;
    QToolButton* tbGroupDel;
    QToolButton* tbUserAdd;
    QToolButton* tbUserEdit;
    QToolButton* tbUserDel;
    QToolButton* tbUserOtdel;
    QToolButton* tbUserPass;
    QToolButton* tbCopy;
    QToolButton* tbPaste;
    QSplitter* Splitter1;
    QWidget* Panel1;
    QWidget* Panel2;
    QTreeWidget* tvUsers;
    QTreeWidget* tvPrava;
    QTreeWidget* lvUsers;

    // 0 a user and their rights, 1 a department and its users, 2 a right and its holders.
    int Mode = -1;
    bool Changing = false;
    bool RightsCopied = false;
    int SelectedUserId = -1;

    // Node and item ids (IdOtdel, IdUser or the right code) are in this role.
    static constexpr int IdRole = Qt::UserRole;
    // A rights node's state image: 1 granted, 2 not granted.
    static constexpr int StateRole = Qt::UserRole + 1;

    void FormCreate();
    void FormClose();
    void FormDestroy();
    void btnUsersClick(QToolButton* button);
    void tvUsersChange(QTreeWidgetItem* node);
    void tvPravaChange(QTreeWidgetItem* node);
    void lvUsersSelectItem();
    // A press on a right's state image.
    void tvPravaMouseDown(QTreeWidgetItem* node);

    void tbGroupAddClick();
    void tbGroupEditClick();
    void tbGroupDelClick();
    void tbUserAddClick();
    void tbUserEditClick();
    void tbUserDelClick();
    void tbUserOtdelClick();
    void tbUserPassClick();
    void tbCopyClick();
    void tbPasteClick();

    void FillUsersTree(int pravo);
    void FillPravaTree();
    void ShowUserPrava(int IdUser);
    void FillUsersList(int IdOtdel);
    void SetMode(int mode);
    void UpdateButtons();
    // False when no user is selected (always in mode 2).
    bool GetSelectedUser(TUserRecord& user) const;
    void CheckNotAdmin(int IdUser) const;
    QTreeWidgetItem* AddOtdelNode(const TOtdelRecord& otdel);
    QTreeWidgetItem* AddUserChildNode(QTreeWidgetItem* otdelNode, const TUserRecord& user);
    void EditUser(TUserRecord& user);
    // A user who owns rows: offers to hand them to another user of his
    // department and delete him; false when the administrator declines.
    bool HandOverAndDelete(const TUserRecord& user, const schema::InUseError& owned);

    // Lookups over the trees by id.
    QTreeWidgetItem* OtdelNode(int IdOtdel) const;
    QTreeWidgetItem* UserNode(QTreeWidgetItem* otdelNode, int IdUser) const;
    QTreeWidgetItem* PravoNode(int pravo) const;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QVBoxLayout* Panel1Layout;
    QVBoxLayout* Panel2Layout;
    void SetStateImage(QTreeWidgetItem* node, int state);
    void AddPravaChildren(QTreeWidgetItem* parent, int nodeId);
    TUsers& rights() const;
};
