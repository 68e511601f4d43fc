#include "SpeedButton.h"

#include "VclUtils.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

// --- glyph lists ------------------------------------------------------------

int TGlyphList::AllocateSlot()
{
    for (int i = 0; i < used_.size(); ++i)
        if (!used_.testBit(i)) {
            used_.setBit(i);
            return i;
        }
    images_.append(QPixmap());
    used_.resize(images_.size());
    used_.setBit(images_.size() - 1);
    return images_.size() - 1;
}

int TGlyphList::AddImage(const QPixmap& image)
{
    const int i = AllocateSlot();
    images_[i] = image;
    ++count_;
    return i;
}

int TGlyphList::AddMaskedImage(const QPixmap& image, QColor maskColour)
{
    QPixmap p = image;
    if (!p.isNull())
        p.setMask(QBitmap::fromImage(p.toImage().createMaskFromColor(maskColour.rgb(), Qt::MaskInColor)));
    return AddImage(p);
}

void TGlyphList::ReleaseSlot(int index)
{
    if (index < 0 || index >= used_.size() || !used_.testBit(index)) return;
    used_.clearBit(index);
    images_[index] = QPixmap();
    --count_;
}

namespace {
TGlyphCache* g_cache = nullptr;
int g_glyphObjects = 0;
}

TGlyphCache::~TGlyphCache() { qDeleteAll(lists_); }

TGlyphList* TGlyphCache::ListForSize(int width, int height)
{
    for (int i = lists_.size() - 1; i >= 0; --i)
        if (lists_[i]->Width() == width && lists_[i]->Height() == height) return lists_[i];
    auto* l = new TGlyphList(width, height);
    lists_.append(l);
    return l;
}

void TGlyphCache::GiveBackList(TGlyphList* list)
{
    if (list && list->Count() == 0) {
        lists_.removeOne(list);
        delete list;
    }
}

TGlyphCache* GlyphCacheInstance() { return g_cache; }

// --- glyph object -----------------------------------------------------------

TBrButtonGlyph::TBrButtonGlyph()
{
    if (!g_cache) g_cache = new TGlyphCache;
    ++g_glyphObjects;
}

TBrButtonGlyph::~TBrButtonGlyph()
{
    ReleaseImages();
    if (--g_glyphObjects == 0 && g_cache && g_cache->IsEmpty()) {
        delete g_cache;
        g_cache = nullptr;
    }
}

void TBrButtonGlyph::ReleaseImages()
{
    for (int& i : index_) {
        if (i != -1 && list_) list_->ReleaseSlot(i);
        i = -1;
    }
    if (list_ && g_cache) g_cache->GiveBackList(list_);
    list_ = nullptr;
}

void TBrButtonGlyph::SetGlyph(const QPixmap& glyph)
{
    ReleaseImages();
    glyph_ = glyph;
    if (glyph_.height() > 0) {
        const QImage img = glyph_.toImage();
        transparent_ = QColor(img.pixel(0, img.height() - 1) & 0xFFFFFF);
        if (glyph_.width() % glyph_.height() == 0) {
            const int n = glyph_.width() / glyph_.height();
            numGlyphs_ = n <= 5 ? n : 1;
        }
    }
    emit changed();
}

void TBrButtonGlyph::SetNumGlyphs(int n)
{
    if (n <= 0) return;
    if (n > 5) n = 5;
    if (n == numGlyphs_) return;
    ReleaseImages();
    numGlyphs_ = n;
    emit changed();
}

QSize TBrButtonGlyph::ImageSize() const
{
    if (glyph_.isNull() || glyph_.width() == 0 || glyph_.height() == 0) return QSize(0, 0);
    return QSize(glyph_.width() / numGlyphs_, glyph_.height());
}

QPixmap TBrButtonGlyph::makeImage(TButtonDrawState state) const
{
    const QSize sz = ImageSize();
    const int cell = int(state) < numGlyphs_ ? int(state) : 0;
    QPixmap img = glyph_.copy(cell * sz.width(), 0, sz.width(), sz.height());
    return img;
}

int TBrButtonGlyph::GetImageIndex(TButtonDrawState state)
{
    if (state == bdsDown && numGlyphs_ < 3) state = bdsUp;
    if (index_[state] != -1) return index_[state];
    const QSize sz = ImageSize();
    if (sz.isEmpty()) return -1;
    if (!g_cache) g_cache = new TGlyphCache;
    if (!list_) list_ = g_cache->ListForSize(sz.width(), sz.height());
    const QColor face = QApplication::palette().color(QPalette::Button);
    int idx;
    if (state == bdsDisabled && numGlyphs_ < 2) {
        QPixmap src = makeImage(bdsUp);
        QImage im = src.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < im.height(); ++y)         // transparent parts count as face
            for (int x = 0; x < im.width(); ++x)
                if ((im.pixel(x, y) & 0xFFFFFF) == (transparent_.rgb() & 0xFFFFFF))
                    im.setPixel(x, y, face.rgb());
        idx = list_->AddMaskedImage(MakeDisabledBitmap(QPixmap::fromImage(im), Qt::black), face);
    } else if (state == bdsInactive && numGlyphs_ < 5) {
        QImage im = makeImage(bdsUp).toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x) {
                const QRgb p = im.pixel(x, y) & 0xFFFFFF;
                if (p == (transparent_.rgb() & 0xFFFFFF) || p == (face.rgb() & 0xFFFFFF)) continue;
                const int g = (77 * qRed(p) + 150 * qGreen(p) + 29 * qBlue(p)) / 256;
                im.setPixel(x, y, qRgb(g, g, g));
            }
        idx = list_->AddMaskedImage(QPixmap::fromImage(im), transparent_);
    } else {
        idx = list_->AddMaskedImage(makeImage(state), transparent_);
    }
    index_[state] = idx;
    return idx;
}

QPixmap TBrButtonGlyph::StateImage(TButtonDrawState state)
{
    const int i = GetImageIndex(state);
    return i < 0 || !list_ ? QPixmap() : list_->Image(i);
}

void TBrButtonGlyph::ArrangeGlyphAndText(const QRect& client, QSize glyph, QSize text,
                                         TButtonLayout layout, int margin, int spacing, bool mark,
                                         QPoint& glyphPos, QRect& textRect)
{
    const int cw = client.width(), ch = client.height();
    const bool vertical = layout == blGlyphTop || layout == blGlyphBottom;
    if (mark) {
        if (glyph.width() == 0 || layout == blGlyphLeft) text.rwidth() += 9;
        else glyph.rwidth() += 6;
    }
    int gx, gy, tx, ty;
    if (vertical) {
        gx = cw / 2 - glyph.width() / 2;
        tx = cw / 2 - text.width() / 2;
        gy = ty = 0;
    } else {
        gy = ch / 2 - glyph.height() / 2;
        ty = ch / 2 - text.height() / 2;
        gx = tx = 0;
    }
    if (text.width() == 0 || glyph.width() == 0) spacing = 0;
    const int clientExt = vertical ? ch : cw;
    const int glyphExt = vertical ? glyph.height() : glyph.width();
    const int textExt = vertical ? text.height() : text.width();
    if (margin == -1) {
        if (spacing == -1) {
            margin = spacing = (clientExt - (glyphExt + textExt)) / 3;
        } else {
            margin = clientExt / 2 - (spacing + glyphExt + textExt) / 2;
        }
    } else if (spacing == -1) {
        spacing = (clientExt - margin - glyphExt) / 2 - textExt / 2;
    }
    switch (layout) {
    case blGlyphLeft:
        gx = margin;
        tx = gx + glyph.width() + spacing;
        break;
    case blGlyphRight:
        gx = cw - margin - glyph.width();
        tx = gx - spacing - text.width();
        break;
    case blGlyphTop:
        gy = margin;
        ty = gy + glyph.height() + spacing;
        break;
    case blGlyphBottom:
        gy = ch - margin - glyph.height();
        ty = gy - spacing - text.height();
        break;
    }
    glyphPos = QPoint(gx, gy) + client.topLeft();
    textRect = QRect(QPoint(tx, ty) + client.topLeft(), text);
}

namespace {
int qtAlign(Qt::Alignment a)
{
    if (a & Qt::AlignRight) return Qt::AlignRight;
    if (a & Qt::AlignLeft) return Qt::AlignLeft;
    return Qt::AlignHCenter;
}
}

TGlyphPlacement TBrButtonGlyph::PlaceGlyphAndText(const QFontMetrics& fm, const QRect& client,
                                                  const QString& caption, TButtonLayout layout,
                                                  int margin, int spacing, bool mark) const
{
    TGlyphPlacement out;
    const QSize glyph = ImageSize();
    const bool vertical = layout == blGlyphTop || layout == blGlyphBottom;
    int tw, th;
    if (vertical) {
        tw = client.width();
        th = client.height() - glyph.height() - (margin != -1 ? margin : 0) - (spacing != -1 ? spacing : 0);
    } else {
        tw = client.width() - glyph.width() - (margin != -1 ? margin : 0)
            - (spacing != -1 ? spacing : 0) - (mark ? 9 : 0);
        th = client.height();
    }
    tw = std::max(tw, 0);
    th = std::max(th, 0);
    QString text = caption;
    if (!WordWrap) {
        QStringList lines = caption.split('\n');
        for (QString& l : lines) l = ShortenText(l, fm, tw);
        text = TrimTrailingBlanks(lines.join('\n')).left(255);
    }
    QSize ts(0, 0);
    if (!text.isEmpty()) {
        const QRect r = fm.boundingRect(QRect(0, 0, tw, 0),
                                        Qt::AlignHCenter | Qt::AlignVCenter
                                            | (WordWrap ? Qt::TextWordWrap : 0) | qtAlign(Alignment),
                                        text);
        ts = QSize(std::min(r.width(), tw), std::min(r.height(), th));
    }
    out.caption = text;
    QSize g = glyph;
    ArrangeGlyphAndText(client, g, ts, layout, margin, spacing, mark, out.glyphPos, out.textRect);
    if (mark) {
        if (g.width() == 0 || layout == blGlyphLeft) {}
        else g.rwidth() += 6;
    }
    out.glyphSize = g;
    return out;
}

void TBrButtonGlyph::DrawButton(QPainter& p, const QRect& client, TButtonDrawState state, bool mark,
                                int spacing, int margin, TButtonLayout layout,
                                const QString& caption, const QPalette& pal)
{
    const TGlyphPlacement pl = PlaceGlyphAndText(p.fontMetrics(), client, caption, layout, margin,
                                                 spacing, mark);
    const QPixmap img = StateImage(state);
    if (!img.isNull()) p.drawPixmap(pl.glyphPos, img);
    if (!pl.caption.isEmpty()) {
        const int flags = (WordWrap ? Qt::TextWordWrap : 0) | Qt::AlignVCenter | qtAlign(Alignment);
        if (state == bdsDisabled) {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(pl.textRect.translated(1, 1), flags, pl.caption);
            p.setPen(pal.color(QPalette::Dark));
            p.drawText(pl.textRect, flags, pl.caption);
        } else {
            p.setPen(pal.color(QPalette::ButtonText));
            p.drawText(pl.textRect, flags, pl.caption);
        }
    }
    if (mark) {
        int x, y;
        const QSize is = ImageSize();
        if (!is.isEmpty() && layout != blGlyphLeft) {
            x = pl.glyphPos.x() + is.width() + 1;
            y = pl.glyphPos.y() + is.height() / 2;
        } else {
            x = pl.caption.isEmpty() ? (client.left() + client.left() + client.width() - 7) / 2
                                     : pl.textRect.left() + pl.textRect.width() + 3;
            y = pl.textRect.top() + pl.textRect.height() / 2;
        }
        auto tri = [&](int dx, int dy, QColor c) {
            p.setPen(c);
            p.drawLine(x + dx, y - 1 + dy, x + 6 + dx, y - 1 + dy);
            p.drawLine(x + 1 + dx, y + dy, x + 5 + dx, y + dy);
            p.drawLine(x + 2 + dx, y + 1 + dy, x + 4 + dx, y + 1 + dy);
            p.drawPoint(x + 3 + dx, y + 2 + dy);
        };
        if (state == bdsDisabled) {
            tri(1, 1, pal.color(QPalette::Light));
            tri(0, 0, pal.color(QPalette::Dark));
        } else {
            tri(0, 0, pal.color(QPalette::ButtonText));
        }
    }
}

// --- standard pictures ----------------------------------------------------

QPixmap BrStandardBitmap(const QString& name)
{
    const QColor magenta(0xFF, 0x00, 0xFF);
    auto canvas = [&](int w, int h) {
        QPixmap pm(w, h);
        pm.fill(magenta);
        return pm;
    };
    auto arrow = [](QPainter& p, int x, int y, bool left, QColor c) {
        // a 4-pixel-wide triangle, 7 rows high
        p.setPen(c);
        for (int i = 0; i < 4; ++i) {
            const int cx = left ? x + i : x + 3 - i;
            p.drawLine(cx, y + 3 - i, cx, y + 3 + i);
        }
    };
    if (name == "PREV1" || name == "NEXT1" || name == "PREV2" || name == "NEXT2") {
        const bool dbl = name.endsWith('2');
        const bool left = name.startsWith("PREV");
        QPixmap pm = canvas(dbl ? 9 : 5, 7);
        QPainter p(&pm);
        arrow(p, dbl ? (left ? 0 : 1) : (left ? 0 : 1), 0, left, Qt::black);
        if (dbl) arrow(p, left ? 5 : 5, 0, left, Qt::black);
        return pm;
    }
    if (name == "DEDITBMP") {
        // a small calendar sheet; the second image is the disabled look
        QPixmap pm = canvas(30, 15);
        QPainter p(&pm);
        for (int k = 0; k < 2; ++k) {
            const int ox = k * 15 + 1;
            const QColor ink = k == 0 ? QColor(0, 0, 0) : QColor(128, 128, 128);
            const QColor head = k == 0 ? QColor(128, 0, 0) : QColor(160, 160, 160);
            p.fillRect(ox, 2, 13, 12, Qt::white);
            p.fillRect(ox, 2, 13, 3, head);
            p.setPen(ink);
            p.drawRect(ox, 2, 12, 11);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 4; ++c) p.fillRect(ox + 2 + c * 3, 6 + r * 2, 2, 1, ink);
        }
        return pm;
    }
    if (name == "CEDITBMP") {
        // a pocket calculator; second image disabled
        QPixmap pm = canvas(30, 15);
        QPainter p(&pm);
        for (int k = 0; k < 2; ++k) {
            const int ox = k * 15 + 2;
            const QColor ink = k == 0 ? QColor(0, 0, 0) : QColor(128, 128, 128);
            p.fillRect(ox, 1, 11, 13, k == 0 ? QColor(192, 192, 192) : QColor(212, 208, 200));
            p.setPen(ink);
            p.drawRect(ox, 1, 10, 12);
            p.fillRect(ox + 2, 3, 7, 3, k == 0 ? QColor(0, 128, 0) : QColor(160, 160, 160));
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) p.fillRect(ox + 2 + c * 3, 7 + r * 2, 2, 1, ink);
        }
        return pm;
    }
    return QPixmap();
}

// --- the button -------------------------------------------------------------

TBrSpeedButton::TBrSpeedButton(QWidget* parent) : QWidget(parent)
{
    resize(25, 25);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(false);
    connect(&glyph_, &TBrButtonGlyph::changed, this, qOverload<>(&QWidget::update));
}

TBrSpeedButton::~TBrSpeedButton() = default;

void TBrSpeedButton::SetAllowAllUp(bool v)
{
    if (allowAllUp_ == v) return;
    allowAllUp_ = v;
    groupNotify();
}

void TBrSpeedButton::SetAllowTimer(bool v)
{
    allowTimer_ = v;
    if (!v && repeat_) {
        delete repeat_;
        repeat_ = nullptr;
    }
}

void TBrSpeedButton::SetGroupIndex(int v)
{
    if (groupIndex_ == v) return;
    groupIndex_ = v;
    groupNotify();
}

void TBrSpeedButton::SetDown(bool v)
{
    if (groupIndex_ == 0) v = false;
    if (v == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = v;
    if (v) {
        if (state_ == bdsUp) update();
        state_ = bdsExclusive;
    } else {
        state_ = bdsUp;
    }
    repaint();
    if (v) groupNotify();
    update();
}

void TBrSpeedButton::SetMargin(int m)
{
    if (m < -1) return;
    margin_ = m;
    update();
}

void TBrSpeedButton::SetDropDownMenu(QMenu* menu)
{
    menu_ = menu;
    if (menu)
        connect(menu, &QObject::destroyed, this, [this] {
            if (markDropDown_) update();
        });
    if (markDropDown_) update();
}

void TBrSpeedButton::groupNotify()
{
    if (groupIndex_ == 0 || !parentWidget()) return;
    for (QObject* o : parentWidget()->children())
        if (auto* b = qobject_cast<TBrSpeedButton*>(o)) b->buttonPressed(groupIndex_, this);
}

void TBrSpeedButton::buttonPressed(int group, TBrSpeedButton* sender)
{
    if (group != groupIndex_ || sender == this) return;
    if (sender->down_ && down_) {
        down_ = false;
        state_ = bdsUp;
        repaint();
    }
    allowAllUp_ = sender->allowAllUp_;
}

bool TBrSpeedButton::pointInside(const QPoint& p) const
{
    return p.x() >= 0 && p.x() < width() && p.y() >= 0 && p.y() <= height();
}

QPoint TBrSpeedButton::MenuPopupPoint() const
{
    const bool right = MenuAlignment & Qt::AlignRight;
    const bool centre = MenuAlignment & Qt::AlignHCenter;
    if (MenuPosition == dmpBottom) {
        const int x = right ? width() + 1 : centre ? width() / 2 : -1;
        return QPoint(x, height());
    }
    if (right) return QPoint(-1, -1);
    if (centre) return QPoint(width() / 2, height());
    return QPoint(width(), -1);
}

void TBrSpeedButton::OpenDropDownMenu(const QPoint& pos, bool manual)
{
    if (!menu_ || !(manual || MenuAutoPopup)) return;
    menu_->exec(mapToGlobal(pos));
}

void TBrSpeedButton::Click()
{
    if (ModalResult != 0)
        if (auto* dlg = qobject_cast<QDialog*>(window())) dlg->done(ModalResult);
    emit clicked();
}

void TBrSpeedButton::mousePressEvent(QMouseEvent* e)
{
    if (menuTracking_) return;
    if (!mouseInside_ && isEnabled()) {
        mouseInside_ = true;
        repaint();
    }
    if (e->button() == Qt::LeftButton && isEnabled()) {
        if (!down_) {
            state_ = bdsDown;
            repaint();
        }
        dragging_ = true;
        menuTracking_ = true;
        const QPoint press = e->position().toPoint();
        struct Reset { bool& f; ~Reset() { f = false; } } reset{menuTracking_};
        if (menu_ && MenuAutoPopup) {
            OpenDropDownMenu(MenuPopupPoint(), false);
            mouseUpAt(press);
        }
    }
    if (e->button() == Qt::LeftButton && isEnabled() && allowTimer_) {
        if (!repeat_) {
            repeat_ = new QTimer(this);
            connect(repeat_, &QTimer::timeout, this, &TBrSpeedButton::repeatTimer);
        }
        repeat_->setInterval(InitPause);
        repeat_->start();
    }
    if (e->button() == Qt::RightButton) updateTracking();
}

void TBrSpeedButton::repeatTimer()
{
    repeat_->setInterval(RepeatInterval);
    if (state_ == bdsDown && dragging_) {
        try {
            Click();
        } catch (...) {
            repeat_->stop();
            throw;
        }
    }
}

void TBrSpeedButton::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_) return;
    TButtonDrawState s;
    if (pointInside(e->position().toPoint())) s = down_ ? bdsExclusive : bdsDown;
    else s = down_ ? bdsExclusive : bdsUp;
    if (s != state_) {
        state_ = s;
        repaint();
    }
}

void TBrSpeedButton::mouseUpAt(const QPoint& pos)
{
    dragging_ = false;
    const bool inside = pointInside(pos);
    if (groupIndex_ == 0) {
        state_ = bdsUp;
        mouseInside_ = false;
        if (inside) repaint(); else update();
    } else if (inside) {
        SetDown(!down_);
        if (down_) {
            state_ = bdsExclusive;
            repaint();
        }
    } else if (down_) {
        state_ = bdsExclusive;
        repaint();
    }
    if (inside && !menuTracking_) Click();
}

void TBrSpeedButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && dragging_) {
        mouseUpAt(e->position().toPoint());
        updateTracking();
        if (repeat_) repeat_->stop();
    } else if (e->button() == Qt::RightButton) {
        updateTracking();
    }
}

void TBrSpeedButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (menuTracking_) return;
    // The second press of a double click presses the button again.
    mousePressEvent(e);
    if (down_) emit doubleClicked();
}

void TBrSpeedButton::updateTracking()
{
    const bool inside = isEnabled() && underMouse();
    if (inside == mouseInside_) return;
    mouseInside_ = inside;
    if (inside) {
        if (flat_) repaint();
        NotifyMouseEnter();
    } else {
        if (flat_) update();
        NotifyMouseLeave();
    }
}

void TBrSpeedButton::enterEvent(QEnterEvent*)
{
    if (!mouseInside_ && isEnabled()) {
        mouseInside_ = true;
        if (flat_) repaint();
        NotifyMouseEnter();
    }
}

void TBrSpeedButton::leaveEvent(QEvent*)
{
    if (mouseInside_ && isEnabled() && !dragging_) {
        mouseInside_ = false;
        if (flat_) update();
        NotifyMouseLeave();
    }
}

void TBrSpeedButton::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange) {
        glyph_.GetImageIndex(!isEnabled() ? bdsDisabled : flat_ ? bdsInactive : bdsUp);
        updateTracking();
        update();
    } else if (e->type() == QEvent::PaletteChange) {
        glyph_.ReleaseImages();
        update();
    } else if (e->type() == QEvent::FontChange) {
        update();
    }
    QWidget::changeEvent(e);
}

bool TBrSpeedButton::event(QEvent* e)
{
    if (e->type() == QEvent::Show) updateTracking();
    return QWidget::event(e);
}

void TBrSpeedButton::SimulateClick()
{
    if (menuTracking_ || !isEnabled() || (menu_ && MenuAutoPopup)) return;
    if (groupIndex_ != 0) {
        // a group member shows its new down state itself
        if (!down_) {
            state_ = bdsDown;
            repaint();
        }
        SetDown(!down_);
        if (down_) state_ = bdsExclusive;
        update();
        Click();
        return;
    }
    // The pressed look stays for 20 ms without holding up the program; the click runs now,
    // so that keys typed one after another are handled in order.
    if (!down_) {
        state_ = bdsDown;
        repaint();
    }
    if (!simulated_) {
        simulated_ = new QTimer(this);
        simulated_->setSingleShot(true);
        simulated_->setInterval(20);
        connect(simulated_, &QTimer::timeout, this, &TBrSpeedButton::finishSimulatedClick);
    }
    simulated_->start();
    try {
        Click();
    } catch (...) {
        finishSimulatedClick();
        throw;
    }
}

void TBrSpeedButton::finishSimulatedClick()
{
    if (simulated_) simulated_->stop();
    if (!dragging_) {
        state_ = bdsUp;
        update();
    }
}

void TBrSpeedButton::drawFrame(QPainter& p, QRect& r, TButtonDrawState paintState)
{
    const bool pressed = paintState == bdsDown || paintState == bdsExclusive;
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = r;
    opt.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    opt.state |= pressed ? QStyle::State_Sunken : QStyle::State_Raised;
    if (pressed) opt.state |= QStyle::State_On;
    if (flat_) {
        QStyleOptionToolButton t;
        t.initFrom(this);
        t.rect = r;
        t.state = (opt.state | QStyle::State_AutoRaise | QStyle::State_MouseOver) & ~QStyle::State_HasFocus;
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &t, &p, this);
        r.adjust(1, 1, -1, -1);
    } else {
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &opt, &p, this);
        r.adjust(2, 2, -2, -2);
    }
}

void TBrSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!isEnabled()) {
        state_ = bdsDisabled;
        dragging_ = false;
    } else if (state_ == bdsDisabled) {
        state_ = down_ && groupIndex_ != 0 ? bdsExclusive : bdsUp;
    }
    TButtonDrawState paintState = state_;
    if (flat_ && !mouseInside_ && state_ != bdsDisabled && !(down_ && groupIndex_ != 0)
        && state_ != bdsDown)
        paintState = bdsInactive;
    QRect r = rect();
    const QColor face = palette().color(QPalette::Button);
    if (transparent_) PaintParentBackground(this, p);
    else p.fillRect(r, face);
    p.setFont(font());
    if (paintState != bdsInactive || (down_ && groupIndex_ != 0)) {
        drawFrame(p, r, paintState);
    } else {
        r.adjust(2, 2, -2, -2);
    }
    r.adjust(1, 1, -1, -1);
    if (state_ == bdsExclusive && !transparent_ && (!flat_ || paintState == bdsInactive)) {
        const QRect fr = r.adjusted(-1, -1, 1, 1);
        p.fillRect(fr, face);
        p.fillRect(fr, QBrush(palette().color(QPalette::Light), Qt::Dense4Pattern));
    }
    if (state_ == bdsDown || state_ == bdsExclusive) r.translate(1, 1);
    TButtonDrawState drawState = state_;
    if (state_ != bdsDisabled && GrayedInactive) drawState = paintState;
    DrawGlyphAndText(p, r, markDropDown_ && menu_, drawState);
}

void TBrSpeedButton::DrawGlyphAndText(QPainter& p, const QRect& r, bool dropDownMark,
                                      TButtonDrawState state)
{
    glyph_.DrawButton(p, r, state, dropDownMark, spacing_, margin_, layout_, caption_, palette());
}
