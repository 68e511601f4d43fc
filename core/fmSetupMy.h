#pragma once

#include "db/Query.h"
#include "db/UpdateSql.h"
#include "db/DataSource.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace fw { class DBEdit; }

// The logged-in user's own e-mail and password, behind their current password.
class TfmSetupMy : public QDialog {
    Q_OBJECT
public:
    explicit TfmSetupMy(QWidget* owner = nullptr);
    ~TfmSetupMy() override;

    fw::Query qryUser;
    fw::UpdateSql usqlUser;
    fw::DataSource dsUser;

    QWidget* Panel1;
    QLabel* Label1;
    QLineEdit* EditPass;
    QWidget* Panel2;
    fw::DBEdit* DBEName;
    fw::DBEdit* DBEEmail;
    fw::DBEdit* DBEPass;
    QCheckBox* CBoxPass;
    QPushButton* btnOk;
    QPushButton* btnCancel;

    void FormCreate();
    void BtnOkClick();
    void CBoxPassClick();
    void FormClose();

    void done(int result) override;

private:
    bool gateOpen_ = false;
    QString readEmail_, readPass_;
};

// Creates the dialog with that owner, shows it modally and frees it.
void ShowSetupMy(QWidget* owner);
