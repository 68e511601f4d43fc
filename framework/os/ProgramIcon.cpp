#include "ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace fw {

QIcon paintedIcon(const QColor& background, const std::function<void(QPainter& p, qreal s)>& paint)
{
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        p.setPen(Qt::NoPen);
        p.setBrush(background);
        p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
        paint(p, s);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace fw
