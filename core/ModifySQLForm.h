#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

// The developer's SQL editor; made on first use and kept with the main window.
class TModifySQLForm : public QDialog {
    Q_OBJECT
public:
    explicit TModifySQLForm(QWidget* owner = nullptr);

    QPlainTextEdit* memo;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QCheckBox* cbCopyToClipboard;
};

extern QPointer<TModifySQLForm> ModifySQLForm;
