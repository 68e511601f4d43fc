#pragma once

#include "db/Query.h"
#include "db/StoredProc.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolBar;
class QToolButton;
class QTreeWidget;

namespace fw {
class Database;
}

// The longest caption and the length limits of a user-defined client field.
constexpr int CustomFieldCaptionMax = 20;
constexpr int CustomFieldSizeMin = 1;
constexpr int CustomFieldSizeMax = 255;
constexpr int CustomFieldSizeDefault = 50;

// Refuses, with a message for the user, a caption or a length that may not be written.
void CheckCustomFieldCaption(const QString& caption);
void CheckCustomFieldSize(int size);

// The column of field `id`: "field" followed by the key.
QString CustomFieldName(int id);
// The statements that add field `id`: its CUSTOMER column and its CUSTOMFIELDS row.
QString CustomFieldAddColumnSql(int id, int size);
QStringList CustomFieldInsertSql(int id, const QString& caption, int size);
// The client modify and insert statements with the field's column added.
QStringList AddCustomFieldToModifySql(const QStringList& modify, const QString& fieldName);
QStringList AddCustomFieldToInsertSql(const QStringList& insert, const QString& fieldName);

// The caption and length dialog of a new or renamed field. Its callers set it
// up and read it; OK is refused, with the dialog kept open, while the caption
// or the length could not be written.
class TfmCustomFieldsEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfmCustomFieldsEdit(QWidget* owner = nullptr);
    ~TfmCustomFieldsEdit() override;

    QLabel* lblCaption;                  // "Название (до 20 символов)"
    QLineEdit* edCaption;
    QLabel* lblLength;                   // "Длина поля (до 255 символов)"
    QSpinBox* seLength;
    QLabel* lblWarning;                  // "Длину поля изменить будет нельзя!"
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

extern QPointer<TfmCustomFieldsEdit> fmCustomFieldsEdit;

// "Пользовательские поля": adds, renames, deletes and orders the user-defined
// client fields. Adding and deleting change the CUSTOMER table and the
// field's CUSTOMFIELDS row together in one transaction on dm->db.
class TfmCustomFields : public QDialog {
    Q_OBJECT
public:
    static constexpr int HelpContext = 74;

    explicit TfmCustomFields(QWidget* owner = nullptr);
    ~TfmCustomFields() override;

    QToolBar* ToolBar;
    QToolButton* tbAdd;                  // "Добавить поле"
    QToolButton* tbEdit;                 // "Изменить название поля"
    QToolButton* tbDel;                  // "Удалить поле"
    QToolButton* tbMoveUp;               // "Сдвинуть вверх"
    QToolButton* tbMoveDown;             // "Сдвинуть вниз"
    // Columns "Название" and "Длина"; each item keeps the size and the key.
    QTreeWidget* lvCustomFields;

    fw::Query qryCustomFields;
    fw::Query qry;
    fw::StoredProc sp;

    void FormCreate();
    void LoadFields();
    void UpdateButtons();
    void lvCustomFieldsDblClick();
    void tbAddClick();
    void tbEditClick();
    void tbDelClick();
    void tbMoveUpClick() { MoveField(true); }
    void tbMoveDownClick() { MoveField(false); }
    void MoveField(bool up);

    // The work of the buttons without their dialogs; each reloads the list.
    // The key of the new field.
    int AddField(const QString& caption, int size);
    void RenameField(int id, const QString& caption);
    // Refused while anyone else is attached to the database.
    void DeleteField(int id);

    // The list position and key of the selected field; -1 without a selection.
    int SelectedIndex() const;
    int KeyAt(int index) const;
    void SelectIndex(int index);

private:
    // Runs body, or the statements, in one transaction of dm->db; rolled back on failure.
    void InTransaction(const std::function<void()>& body);
    void ExecInTransaction(const QList<QStringList>& statements);
    void Exec(const QStringList& sql);
    // Locates the field in qryCustomFields read afresh; raises when another user removed it.
    void LocateField(int id);
    // Reads the list again and tells the user that the field is gone.
    [[noreturn]] void FieldRemoved(int id);
};

extern QPointer<TfmCustomFields> fmCustomFields;
