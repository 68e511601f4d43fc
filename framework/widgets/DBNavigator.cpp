#include "DBNavigator.h"

#include "Dialogs.h"
#include "ExceptionHandler.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace fw {

namespace {

constexpr int kButtons = 10;

const char* const kHints[kButtons] = {
    "Первая запись", "Предыдущая запись", "Следующая запись", "Последняя запись", "Добавить запись",
    "Удалить запись", "Изменить запись", "Сохранить изменения", "Отменить изменения", "Обновить данные",
};

// The classic glyphs, drawn so that they follow the palette and the scale.
QIcon glyph(int i, const QColor& ink)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    auto triangle = [&](double tip, double base) {
        const QPointF pts[3] = {{base, 3.5}, {tip, 8}, {base, 12.5}};
        p.drawPolygon(pts, 3);
    };
    switch (i) {
    case 0: p.drawRect(QRectF(3.5, 3.5, 1.6, 9)); triangle(5.5, 12); break;    // first
    case 1: triangle(5, 11); break;                                             // prior
    case 2: triangle(11, 5); break;                                             // next
    case 3: triangle(10.5, 4); p.drawRect(QRectF(10.9, 3.5, 1.6, 9)); break;    // last
    case 4: p.drawRect(QRectF(3, 7, 10, 2)); p.drawRect(QRectF(7, 3, 2, 10)); break;  // insert
    case 5: p.drawRect(QRectF(3, 7, 10, 2)); break;                             // delete
    case 6: {                                                                   // edit
        p.translate(8, 8);
        p.rotate(-45);
        p.drawRect(QRectF(-5, -1.5, 8, 3));
        const QPointF tip[3] = {{3.5, -1.5}, {6, 0}, {3.5, 1.5}};
        p.drawPolygon(tip, 3);
        break;
    }
    case 7: {                                                                   // post: a check mark
        p.setPen(QPen(QColor(0, 128, 0), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath path(QPointF(3, 8.5));
        path.lineTo(6.5, 12);
        path.lineTo(13, 4);
        p.drawPath(path);
        break;
    }
    case 8:                                                                     // cancel: a cross
        p.setPen(QPen(QColor(160, 0, 0), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case 9: {                                                                   // refresh: a round arrow
        p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        const QPointF head[3] = {{8, 0.8}, {11.5, 3}, {8, 5.2}};
        p.drawPolygon(head, 3);
        break;
    }
    default: break;
    }
    return QIcon(pm);
}

int indexOf(DBNavigator::Button b)
{
    int i = 0;
    for (int v = int(b); v > 1; v >>= 1) ++i;
    return i;
}

} // namespace

DBNavigator::DBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QColor ink = palette().color(QPalette::ButtonText);
    for (int i = 0; i < kButtons; ++i) {
        auto* b = new QToolButton(this);
        b->setIcon(glyph(i, ink));
        b->setToolTip(QString::fromUtf8(kHints[i]));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
        buttons_ << b;
        connect(b, &QToolButton::clicked, this, [this, i] { clickButton(Button(1 << i)); });
    }
    layout->addStretch();
    updateButtons();
}

void DBNavigator::setDataSource(DataSource* source)
{
    if (source == source_) return;
    for (const auto& c : connections_) disconnect(c);
    connections_.clear();
    source_ = source;
    if (source_) {
        connections_ << connect(source_, &DataSource::stateChanged, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::dataChanged, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::dataSetChanged, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::currentChanged, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::rowInserted, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::rowRemoved, this, &DBNavigator::updateButtons)
                     << connect(source_, &DataSource::rowChanged, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::setVisibleButtons(Buttons b)
{
    visible_ = b;
    for (int i = 0; i < kButtons; ++i) buttons_[i]->setVisible(b.testFlag(Button(1 << i)));
}

void DBNavigator::setHint(Button b, const QString& hint)
{
    buttons_[indexOf(b)]->setToolTip(hint);
}

QToolButton* DBNavigator::button(Button b) const
{
    return buttons_[indexOf(b)];
}

DataSet* DBNavigator::dataSet() const
{
    if (!source_ || !source_->enabled()) return nullptr;
    DataSet* ds = source_->dataSet();
    return ds && ds->active() ? ds : nullptr;
}

void DBNavigator::updateButtons()
{
    DataSet* ds = dataSet();
    const bool editing = ds && (ds->state() == DataSetState::Edit || ds->state() == DataSetState::Insert);
    const int row = ds ? ds->currentRow() : -1;
    const int rows = ds ? ds->rowCount() : 0;
    const bool modify = ds && ds->canModify();
    const bool up = ds && row > 0;
    const bool down = ds && row >= 0 && row < rows - 1;
    const bool state[kButtons] = {up, up, down, down, modify, modify && !ds->isEmpty(),
                                  modify && !editing, modify && editing, modify && editing, ds != nullptr};
    for (int i = 0; i < kButtons; ++i) buttons_[i]->setEnabled(state[i]);
}

void DBNavigator::clickButton(Button b)
{
    DataSet* ds = dataSet();
    if (!ds || !button(b)->isEnabled()) return;
    runGuarded([&] {
        switch (b) {
        case Button::First: ds->first(); break;
        case Button::Prior: ds->prior(); break;
        case Button::Next: ds->next(); break;
        case Button::Last: ds->last(); break;
        case Button::Insert: ds->insert(); break;
        case Button::Delete:
            if (!confirmDelete_ || dialogs().confirm("Delete record?")) ds->remove();
            break;
        case Button::Edit: ds->edit(); break;
        case Button::Post: ds->post(); break;
        case Button::Cancel: ds->cancel(); break;
        case Button::Refresh: ds->refresh(); break;
        }
    });
    updateButtons();
    runGuarded([&] { emit clicked(b); });
}

} // namespace fw
