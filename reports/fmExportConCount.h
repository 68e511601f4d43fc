#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;
class QSpinBox;

// How many contact persons the client export writes per client.
class TfmExportConCount : public QDialog {
    Q_OBJECT
public:
    explicit TfmExportConCount(QWidget* owner = nullptr);
    ~TfmExportConCount() override;

    QLabel* Label1;
    QSpinBox* seCount;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

extern QPointer<TfmExportConCount> fmExportConCount;
