#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// A user's department (shown only), name and e-mail.
class TfmUser : public QDialog {
    Q_OBJECT
public:
    explicit TfmUser(QWidget* owner = nullptr);

    QLineEdit* edOtdel;
    QLineEdit* edName;
    QLineEdit* edEmail;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};
