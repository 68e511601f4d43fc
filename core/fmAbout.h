#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box: the program's icon, its name and version.
class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* owner = nullptr);

    QLabel* imgIcon;
    QLabel* lbProduct;
    QLabel* lbVersion;
    QPushButton* btnOk;
};

// The program's icon, drawn once (window icons and the About box).
QIcon BrontalIcon();
