#pragma once

#include "widgets/Dialogs.h"

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;
class QRadioButton;

// Target of an export: the spreadsheet or a text file.
class TfmExportTo : public QDialog {
    Q_OBJECT
public:
    explicit TfmExportTo(QWidget* owner = nullptr);
    ~TfmExportTo() override;

    static constexpr int HelpContext = 49;

    QRadioButton* rb1;
    QRadioButton* rb2;
    QLineEdit* edPath;
    QPushButton* btnPath;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    fw::FileDialog sd;

    void rbClick();
    void btnPathClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

extern QPointer<TfmExportTo> fmExportTo;
