#include "fmAbout.h"

#include "os/ProgramIcon.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QIcon BrontalIcon()
{
    static const QIcon icon = fw::paintedIcon(QColor(18, 52, 96), [](QPainter& p, qreal s) {
        p.setBrush(QColor(120, 200, 120));
        for (int b = 0; b < 3; ++b) {
            const qreal h = s * (0.25 + 0.2 * b);
            p.drawRect(QRectF(s * (0.18 + 0.23 * b), s * 0.82 - h, s * 0.17, h));
        }
    });
    return icon;
}

TfmAbout::TfmAbout(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmAbout");
    setWindowTitle(QString::fromUtf8("О программе"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);

    imgIcon = new QLabel(this);
    imgIcon->setObjectName("imgIcon");
    imgIcon->setPixmap(BrontalIcon().pixmap(64, 64));

    lbProduct = new QLabel("Brontal", this);
    lbProduct->setObjectName("lbProduct");
    QFont f = lbProduct->font();
    f.setPointSize(f.pointSize() + 8);
    f.setBold(true);
    lbProduct->setFont(f);

    lbVersion = new QLabel(this);
    lbVersion->setObjectName("lbVersion");

    btnOk = new QPushButton("OK", this);
    btnOk->setObjectName("btnOk");
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(lbProduct);
    text->addWidget(lbVersion);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addStretch();
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 14);
    root->addLayout(top);
    root->addSpacing(12);
    root->addLayout(buttons);
    root->setSizeConstraint(QLayout::SetFixedSize);
}
