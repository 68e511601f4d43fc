#include "ComboEdit.h"

#include "db/DbError.h"
#include <QTimer>
#include <QPointer>
#include "widgets/Dialogs.h"
#include "widgets/FieldDataLink.h"

#include "VclUtils.h"

#include <QApplication>
#include <algorithm>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>

// --- TEditButton ------------------------------------------------------------

TEditButton::TEditButton(TCustomComboEdit* editor, QWidget* parent)
    : TBrSpeedButton(parent), editor_(editor)
{
    setCursor(Qt::ArrowCursor);
}

void TEditButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        FSkipClick = editor_->PopupVisible();
        if (FSkipClick) {
            editor_->ClosePopup(true);
        } else if ((editor_->focusPolicy() & Qt::TabFocus) && editor_->isEnabled()
                   && !editor_->hasFocus()) {
            editor_->setFocus(Qt::MouseFocusReason);
        }
    }
    TBrSpeedButton::mousePressEvent(e);
}

void TEditButton::Click()
{
    if (FSkipClick) {
        FSkipClick = false;
        return;
    }
    TBrSpeedButton::Click();
}

void TEditButton::paintEvent(QPaintEvent* e)
{
    TBrSpeedButton::paintEvent(e);
    if (State() == bdsDown || State() == bdsExclusive) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::Button));
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(1, 1, 1, height() - 2);
}

// --- TPopupWindow -----------------------------------------------------------

TPopupWindow::TPopupWindow(TCustomComboEdit* editor)
    : QFrame(editor, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                         | Qt::WindowDoesNotAcceptFocus),
      FEditor(editor)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11NetWmWindowTypeDropDownMenu);
    setFocusPolicy(Qt::NoFocus);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    hide();
}

void TPopupWindow::CloseRequest(bool accept)
{
    if (OnCloseRequest) OnCloseRequest(this, accept);
}

void TPopupWindow::RepaintEditorText()
{
    if (FEditor) FEditor->repaint();
}

void TPopupWindow::mouseReleaseEvent(QMouseEvent* e)
{
    // Only a real pick (a day cell, the calculator's result key) closes the drop-down;
    // a click on its frame, a caption or between the keys must not take what is shown.
    e->accept();
}

// --- placement --------------------------------------------------------------

QPoint PopupPlacement(const QRect& editRect, const QSize& popupSize, const QRect& screen,
                      TPopupAlign align)
{
    const QPoint p = editRect.topLeft();
    const int right = screen.left() + screen.width();
    const int bottom = screen.top() + screen.height();
    int y = p.y() + editRect.height();
    if (y + popupSize.height() > bottom) y = p.y() - popupSize.height();
    int x;
    if (align == epaRight) {
        x = p.x() + editRect.width() - popupSize.width();
        if (x < screen.left()) x = p.x();
    } else {
        x = p.x();
        if (p.x() + popupSize.width() > right) x = p.x() + editRect.width() - popupSize.width();
    }
    if (x < screen.left()) x = screen.left();
    else if (x + popupSize.width() > right) x = right - popupSize.width();
    return QPoint(x, y);
}

// --- TCustomComboEdit -------------------------------------------------------

TCustomComboEdit::TCustomComboEdit(QWidget* parent) : QLineEdit(parent)
{
    FButtonHost = new QWidget(this);
    FButtonHost->setCursor(Qt::ArrowCursor);
    FButtonHost->resize(21, 17);
    FEditBtn = new TEditButton(this, FButtonHost);
    FEditBtn->setGeometry(0, 0, 21, 17);
    connect(FEditBtn, &TBrSpeedButton::clicked, this, [this] {
        if (!FReadOnly || FButtonAlways) ButtonPressed();
    });
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!suppressChange_) Change();
    });
    resize(121, 21);
    LayoutButton();
}

TCustomComboEdit::~TCustomComboEdit()
{
    qApp->removeEventFilter(this);
    FEditBtn->disconnect(this);
}

bool TCustomComboEdit::PopupVisible() const { return FDropDown && FDropShown; }

void TCustomComboEdit::SetPopup(TPopupWindow* popup)
{
    if (FDropDown && FDropDown != popup) {
        ClosePopup(false);
        delete FDropDown.data();
    }
    FDropDown = popup;
    if (popup)
        popup->OnCloseRequest = [this](TPopupWindow*, bool accept) { ClosePopup(accept); };
}

void TCustomComboEdit::ButtonPressed()
{
    if (OnButtonClick) OnButtonClick(this);
    emit buttonClicked();
    if (FDropDown) {
        if (PopupVisible()) ClosePopup(true);
        else OpenPopup(true);
    }
}

void TCustomComboEdit::OpenPopup(bool disableTyping)
{
    if (!FDropDown || ReadOnlyState() || FDropShown) return;
    QScreen* scr = screen();
    const QRect screenRect = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
    const QRect editRect(mapToGlobal(QPoint(0, 0)), size());
    const QPoint at = PopupPlacement(editRect, FDropDown->size(), screenRect, FPopupAlign);
    const QString t = text();
    FeedPopup(t.isEmpty() ? QVariant() : QVariant(t));
    if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) setFocus(Qt::OtherFocusReason);
    PlacePopup(at);
    FDropShown = true;
    if (disableTyping) QLineEdit::setReadOnly(true);
    qApp->installEventFilter(this);
    update();
}

void TCustomComboEdit::PlacePopup(const QPoint& p)
{
    FDropDown->move(p);
    FDropDown->show();
    FDropDown->raise();
}

void TCustomComboEdit::RemovePopup()
{
    if (FDropDown) FDropDown->hide();
}

QVariant TCustomComboEdit::ReadPopup()
{
    return FDropDown ? FDropDown->PopupValue() : QVariant(QString());
}

void TCustomComboEdit::FeedPopup(const QVariant& value)
{
    if (FDropDown) FDropDown->LoadPopupValue(value);
}

void TCustomComboEdit::ClosePopup(bool accept)
{
    if (!FDropDown || !FDropShown) return;
    qApp->removeEventFilter(this);
    if (QWidget* g = QWidget::mouseGrabber()) g->releaseMouse();
    QVariant value = ReadPopup();
    RemovePopup();
    if (isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) {
        setFocus(Qt::OtherFocusReason);
        if (hasFocus()) ShowEditCaret();
    }
    FDropShown = false;
    updateReadOnly();
    update();
    if (accept) {
        if (ConfirmPopupValue(value) && EditCanModify()) {
            TakePopupValue(value);
            if (hasFocus()) selectAll();
        }
    }
}

void TCustomComboEdit::TakePopupValue(const QVariant& value)
{
    const QString s = value.toString();
    if (text() != s) {
        setText(s);
        setModified(true);
        FDropShown = FDropDown && FDropDown->isVisible();
    }
}

void TCustomComboEdit::Change() { emit changed(); }

void TCustomComboEdit::sendDialogKey(int key)
{
    QWidget* form = window();
    if (!form || form == this) return;
    QKeyEvent ke(QEvent::KeyPress, key, Qt::NoModifier,
                 key == Qt::Key_Escape ? QString(QChar(27)) : QString(QChar('\r')));
    QCoreApplication::sendEvent(form, &ke);
}

void TCustomComboEdit::KeyDown(QKeyEvent* e, bool& handled)
{
    const QKeyCombination combo(e->modifiers() & ~Qt::KeypadModifier, Qt::Key(e->key()));
    if (!FClickKey.isEmpty() && combo == FClickKey[0] && buttonWidth_ > 0) {
        if (!FReadOnly || FButtonAlways) ButtonPressed();
        handled = true;
    }
}

void TCustomComboEdit::KeyPress(QChar& key, bool& handled)
{
    if (key == QChar('\r') || key == QChar(27)) {
        if (PopupVisible()) {
            ClosePopup(key == QChar('\r'));
            handled = true;
            return;
        }
        sendDialogKey(key == QChar('\r') ? Qt::Key_Return : Qt::Key_Escape);
        if (key == QChar('\r')) handled = true;
    }
}

void TCustomComboEdit::keyPressEvent(QKeyEvent* e)
{
    bool handled = false;
    QPointer<TCustomComboEdit> self(this);
    KeyDown(e, handled);
    if (!self) return;
    if (handled) {
        e->accept();
        return;
    }
    QChar ch;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) ch = QChar('\r');
    else if (e->key() == Qt::Key_Escape) ch = QChar(27);
    else if (e->key() == Qt::Key_Backspace) ch = QChar(8);
    else if (!e->text().isEmpty() && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        ch = e->text()[0];
    if (!ch.isNull()) {
        const QChar orig = ch;
        KeyPress(ch, handled);
        if (!self) return;
        if (handled) {
            e->accept();
            return;
        }
        if (ch != orig && ch.unicode() >= 32) {
            QKeyEvent replaced(e->type(), e->key(), e->modifiers(), QString(ch));
            QLineEdit::keyPressEvent(&replaced);
            e->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
    // Enter and Esc went to the form already.
    if (e->key() == Qt::Key_Escape || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        e->accept();
}

void TCustomComboEdit::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && FDropDown) {
        if (!hasFocus()) setFocus(Qt::MouseFocusReason);
        if (!hasFocus()) return;
        if (PopupVisible()) ClosePopup(false);
    }
    QLineEdit::mousePressEvent(e);
    // A masked text takes no typing at its end, where a click beyond the text leaves the
    // caret: an empty field is typed from its start, a filled one is typed over.
    if (e->button() == Qt::LeftButton && FDirectInput && !inputMask().isEmpty() && !hasSelectedText()) {
        const QString t = text();
        if (std::none_of(t.begin(), t.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            setCursorPosition(0);
        else if (cursorPosition() >= displayText().length())
            selectAll();
    }
}

void TCustomComboEdit::focusInEvent(QFocusEvent* e)
{
    FHasFocus = true;
    QLineEdit::focusInEvent(e);
    if (!FDirectInput && (e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason))
        deselect();
    ShowEditCaret();
}

void TCustomComboEdit::focusOutEvent(QFocusEvent* e)
{
    FHasFocus = false;
    // Some window systems activate the drop-down when it shows; that is no focus loss.
    const bool toPopup = e->reason() == Qt::ActiveWindowFocusReason && FDropDown
        && QApplication::activeWindow() == FDropDown.data();
    if (!toPopup) ClosePopup(false);
    QLineEdit::focusOutEvent(e);
}

bool TCustomComboEdit::insidePopupFamily(QObject* o) const
{
    for (QObject* p = o; p; p = p->parent())
        if (p == this || p == FDropDown.data()) return true;
    return false;
}

bool TCustomComboEdit::eventFilter(QObject* o, QEvent* e)
{
    // Any press elsewhere cancels the drop-down, as the framework's cancel mode did.
    if (FDropShown && (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::NonClientAreaMouseButtonPress)
        && o->isWidgetType() && !insidePopupFamily(o))
        ClosePopup(false);
    return QLineEdit::eventFilter(o, e);
}

void TCustomComboEdit::ShowEditCaret() { update(); }

void TCustomComboEdit::LayoutButton()
{
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    const int fw = hasFrame() ? style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, this) : 0;
    const int w = buttonWidth_;
    FButtonHost->setVisible(w > 1);
    FButtonHost->setGeometry(width() - w - fw, fw, w, height() - 2 * fw);
    FEditBtn->setGeometry(0, 0, w, FButtonHost->height());
    setTextMargins(0, 0, w > 1 ? w + 1 : 0, 0);
}

void TCustomComboEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    const QFontMetrics fm(font());
    const int minHeight = std::min(fm.height(), QFontMetrics(QApplication::font()).height()) + 4 + 1;
    if (height() < minHeight) {
        resize(width(), minHeight);
        return;
    }
    LayoutButton();
}

void TCustomComboEdit::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange) LayoutButton();
    if (e->type() == QEvent::EnabledChange) FEditBtn->setEnabled(isEnabled() && !FReadOnlyLook);
    QLineEdit::changeEvent(e);
}

void TCustomComboEdit::SetButtonWidth(int w)
{
    if (w == buttonWidth_) return;
    if (w >= width() && testAttribute(Qt::WA_WState_Created)) return;
    buttonWidth_ = w;
    LayoutButton();
    RebuildGlyph();
}

void TCustomComboEdit::ShowReadOnlyLook(bool on)
{
    FReadOnlyLook = on;
    fw::showReadOnly(this, on);
    FEditBtn->setEnabled(isEnabled() && !on);
}

void TCustomComboEdit::updateReadOnly() { QLineEdit::setReadOnly(FReadOnly || !FDirectInput); }

void TCustomComboEdit::SetReadOnly(bool v)
{
    FReadOnly = v;
    updateReadOnly();
}

void TCustomComboEdit::SetDirectInput(bool v)
{
    FDirectInput = v;
    updateReadOnly();
}

void TCustomComboEdit::SetEditAlignment(Qt::Alignment a)
{
    FAlignment = a;
    setAlignment(a | Qt::AlignVCenter);
}

void TCustomComboEdit::SetGlyph(const QPixmap& g)
{
    FGlyphKind = gkCustom;
    FEditBtn->SetGlyph(g);
}

void TCustomComboEdit::SetNumGlyphs(int n)
{
    if (FGlyphKind == gkDropDown || FGlyphKind == gkEllipsis) n = 1;
    else if (FGlyphKind == gkDefault) n = FStdGlyphCount;
    FEditBtn->SetNumGlyphs(n);
}

void TCustomComboEdit::SetGlyphKind(TGlyphKind k)
{
    if (k == FGlyphKind) return;
    FGlyphKind = k;
    RebuildGlyph();
}

void TCustomComboEdit::RebuildGlyph()
{
    const QColor magenta(0xFF, 0x00, 0xFF);
    switch (FGlyphKind) {
    case gkCustom:
        break;
    case gkDefault: {
        const QPixmap g = StandardGlyph();
        if (g.isNull()) break;
        FEditBtn->SetGlyph(g);
        FEditBtn->SetNumGlyphs(FStdGlyphCount);
        const int w = std::max(g.width() / FStdGlyphCount + 6, buttonWidth_);
        if (buttonWidth_ > 1 && w != buttonWidth_) {
            buttonWidth_ = w;
            LayoutButton();
        }
        break;
    }
    case gkDropDown: {
        const int sw = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        QPixmap pm(std::max(sw - 6, 7), 8);
        pm.fill(magenta);
        QPainter p(&pm);
        QStyleOption o;
        o.initFrom(this);
        o.rect = pm.rect();
        o.state |= QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &o, &p, this);
        p.end();
        FEditBtn->SetGlyph(pm);
        FEditBtn->SetNumGlyphs(1);
        buttonWidth_ = sw;
        LayoutButton();
        break;
    }
    case gkEllipsis: {
        const int w = std::max(1, buttonWidth_ - 6);
        QPixmap pm(w, 4);
        pm.fill(Qt::white);
        QPainter p(&pm);
        const int s = std::clamp((w - 6) / 2, 1, 3);
        const int x0 = (w - 6 - 2 * s) / 2;
        for (int i = 0; i < 3; ++i) p.fillRect(x0 + i * (2 + s), 1, 2, 2, Qt::black);
        p.end();
        FEditBtn->SetGlyph(pm);
        FEditBtn->SetNumGlyphs(1);
        break;
    }
    }
}

bool TCustomComboEdit::PaintComboText(QPainter& p, const QString& text, Qt::Alignment alignment)
{
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &opt, &p, this);
    QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &opt, this);
    const QMargins m = textMargins();
    r = r.marginsRemoved(m);
    const int hMargin = 2;
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Text : QPalette::PlaceholderText));
    const QFontMetrics fm(font());
    int w = fm.horizontalAdvance(text);
    if (FButtonHost->isVisible()) ++w;
    int x;
    if (PopupVisible() || (alignment & Qt::AlignLeft) || !(alignment & (Qt::AlignRight | Qt::AlignHCenter)))
        x = r.left() + hMargin;
    else if (alignment & Qt::AlignRight)
        x = r.left() + r.width() - w - hMargin;
    else
        x = r.left() + (r.width() - w) / 2;
    p.setClipRect(r);
    const int y = r.top() + (r.height() - fm.height()) / 2 + fm.ascent();
    p.drawText(x, y, text);
    return true;
}

// --- errors of the controls -------------------------------------------------

#include <QMessageBox>

namespace {
ControlErrorHandler& errorHandler()
{
    static ControlErrorHandler h;
    return h;
}
}

void SetControlErrorHandler(ControlErrorHandler handler) { errorHandler() = std::move(handler); }

void ReportControlError(QWidget* control, const QString& message)
{
    if (errorHandler()) {
        errorHandler()(control, message);
        return;
    }
    // Every error box of the program goes through the dialogs service.
    fw::dialogs().error(message);
}

void ReportControlException(QWidget* control, std::exception_ptr e)
{
    if (!e) return;
    try {
        std::rethrow_exception(e);
    } catch (const fw::Abort&) {
    } catch (const EControlError& err) {
        ReportControlError(control, err.message());
    } catch (const fw::Error& err) {
        ReportControlError(control, err.message());
    } catch (const std::exception& err) {
        ReportControlError(control, QString::fromUtf8(err.what()));
    }
}

bool TCustomComboEdit::WriteOnExit(QFocusEvent* e, bool selectAllOnError,
                                   const std::function<void()>& checkAndWrite)
{
    const bool leaving = e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
    if (!leaving || PopupVisible()) return true;
    try {
        checkAndWrite();
        return true;
    } catch (...) {
        const std::exception_ptr err = std::current_exception();
        TCustomComboEdit::focusOutEvent(e);
        if (selectAllOnError) selectAll();
        ReportControlException(this, err);
        setFocus(Qt::OtherFocusReason);
        // The focus change that made us leave may still be under way.
        QPointer<TCustomComboEdit> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self) self->setFocus(Qt::OtherFocusReason);
        });
        return false;
    }
}
