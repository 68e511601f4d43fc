#pragma once

#include <QWidget>
#include <functional>

class QPushButton;

namespace fw {
class DBListBox;
class DBRadioGroup;
class Query;
}

// The card's "Группы" page: the kind of groups shown (common or the user's own
// personal ones), the list of groups with its commands, and the current
// client's memberships of that kind over dmKl.
class TKlientGroups : public QWidget {
    Q_OBJECT
public:
    explicit TKlientGroups(QWidget* parent = nullptr);

    // "Общие" 0, "Личные" 1.
    fw::DBRadioGroup* rgGroup;
    QPushButton* btnGroupNew;        // "Создать"
    QPushButton* btnGroupEdit;       // "Изменить"
    QPushButton* btnGroupDel;        // "Удалить"
    fw::DBListBox* dbllGroupList;    // the groups of the chosen kind; a double click adds
    fw::DBListBox* dbllGroupList_;   // the client's memberships; a double click removes
    QPushButton* btnAddToGroup;      // "Добавить в группу"
    QPushButton* btnDelFromGroup;    // "Удалить из группы"

    // The window closes and reopens the card's details.
    std::function<void()> ReopenDetails;

    bool Personal() const;
    // Binds both lists to the chosen kind and opens them.
    void OpenGroupList();
    // Opens the memberships of the current client, on their first row.
    void OpenMemberships();
    void UpdateGroupButtons();

    void btnGroupNewClick();
    void btnGroupEditClick();
    void btnGroupDelClick();
    void AddToGroup();
    void DelFromGroup();

private:
    fw::Query& Groups() const;
    fw::Query& Memberships() const;
    QString KeyField() const;
    QString NameField() const;
    // The right that the buttons need now, and the refusal when it is missing.
    int GroupRight() const;
    int MembershipRight() const;
    bool Granted(int right) const;
    void CheckGroupRight() const;
    void CheckMembershipRight() const;
    bool HasClient() const;
};
