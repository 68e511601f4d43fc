#include "fmSplash.h"

#include "os/Version.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

QPointer<TfmSplash> fmSplash;

TfmSplash::TfmSplash(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName("fmSplash");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(480, 280);
    setFocusPolicy(Qt::StrongFocus);
}

void TfmSplash::showEvent(QShowEvent* e)
{
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    QWidget::showEvent(e);
}

void TfmSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();

    QLinearGradient bg(r.topLeft(), r.bottomRight());
    bg.setColorAt(0, QColor(18, 52, 96));
    bg.setColorAt(1, QColor(8, 24, 48));
    p.fillRect(r, bg);

    // A rising chart line over faint bars: sales going up.
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i) {
        const qreal h = 30 + i * 18;
        p.setBrush(QColor(255, 255, 255, 18 + i * 4));
        p.drawRect(QRectF(250 + i * 30, r.height() - 40 - h, 20, h));
    }
    QPainterPath line;
    line.moveTo(240, r.height() - 70);
    line.cubicTo(300, r.height() - 90, 340, r.height() - 120, 380, r.height() - 150);
    line.cubicTo(410, r.height() - 175, 430, r.height() - 190, 460, r.height() - 215);
    p.setPen(QPen(QColor(120, 200, 120), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
    p.setBrush(QColor(120, 200, 120));
    p.drawEllipse(QPointF(460, r.height() - 215), 4, 4);

    QFont title = font();
    title.setPixelSize(52);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(36, 60, 400, 70), Qt::AlignLeft | Qt::AlignVCenter, "Brontal");

    QFont sub = font();
    sub.setPixelSize(15);
    p.setFont(sub);
    p.setPen(QColor(200, 215, 235));
    p.drawText(QRectF(38, 128, 400, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("Управление продажами"));

    QFont small = font();
    small.setPixelSize(12);
    p.setFont(small);
    p.setPen(QColor(160, 180, 205));
    p.drawText(QRectF(38, r.height() - 36, 300, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("Версия ") + fw::appVersion());

    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
}

void TfmSplash::keyPressEvent(QKeyEvent*)
{
    close();
}

void TfmSplash::mousePressEvent(QMouseEvent*)
{
    close();
}

void CloseSplash()
{
    if (fmSplash) fmSplash->close();
}
