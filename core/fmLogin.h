#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
namespace fw { class DBLookupCombo; }

// The login dialog: a department, a user of it and the password.
class TfmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfmLogin(QWidget* owner = nullptr);

    QLabel* Label1;
    fw::DBLookupCombo* dblcOtdel;
    QLabel* Label2;
    fw::DBLookupCombo* dblcUser;
    QLabel* Label3;
    QLineEdit* edPass;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void dblcOtdelClick();
    void dblcUserClick();
    void FormKeyDown(QKeyEvent* e);
    void FormKeyUp(QKeyEvent* e);
    // False refuses to close with that result.
    bool FormCloseQuery(int result);

    void done(int result) override;

protected:
    // The form sees every key before its controls do.
    bool eventFilter(QObject* watched, QEvent* e) override;
};
