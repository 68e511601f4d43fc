#pragma once

#include <exception>

#include "SpeedButton.h"

#include <QFrame>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>
#include <QVariant>
#include <functional>

class TCustomComboEdit;

// How the controls show an error that leaves one of their event handlers (a bad date
// on exit, a number out of range). The program routes it to its own handler.
using ControlErrorHandler = std::function<void(QWidget* control, const QString& message)>;
void SetControlErrorHandler(ControlErrorHandler handler);
void ReportControlError(QWidget* control, const QString& message);
// Shows an exception that left a control's event handler; Abort shows nothing.
void ReportControlException(QWidget* control, std::exception_ptr e);


enum TPopupAlign { epaRight, epaLeft };
enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

// The button at the right edge of a combo edit.
class TEditButton : public TBrSpeedButton {
    Q_OBJECT
public:
    explicit TEditButton(TCustomComboEdit* editor, QWidget* parent);
    void Click() override;
    bool FSkipClick = false;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    TCustomComboEdit* editor_;
};

// The drop-down window of a combo edit. It never takes the focus: the edit keeps it
// and hands its keys over while the drop-down is open.
class TPopupWindow : public QFrame {
    Q_OBJECT
public:
    explicit TPopupWindow(TCustomComboEdit* editor);

    virtual QVariant PopupValue() = 0;
    virtual void LoadPopupValue(const QVariant& value) = 0;
    virtual void CloseRequest(bool accept);
    virtual QString PopupCaptionText() { return QString(); }
    // Keys the edit passes on while the drop-down is open.
    virtual void PopupKeyDown(int key, Qt::KeyboardModifiers mods) { Q_UNUSED(key); Q_UNUSED(mods); }
    virtual void PopupKeyPress(QChar key) { Q_UNUSED(key); }
    void RepaintEditorText();
    TCustomComboEdit* Editor() const { return FEditor; }

    std::function<void(TPopupWindow*, bool)> OnCloseRequest;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    TCustomComboEdit* FEditor;
};

// Where a drop-down of the given size opens for an edit at editRect (screen coordinates)
// on a screen with the given geometry.
QPoint PopupPlacement(const QRect& editRect, const QSize& popupSize, const QRect& screen,
                      TPopupAlign align);

class TCustomComboEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TCustomComboEdit(QWidget* parent = nullptr);
    ~TCustomComboEdit() override;

    bool PopupVisible() const;
    void ClosePopup(bool accept);
    virtual void ButtonPressed();

    QString ButtonHint() const { return FEditBtn->toolTip(); }
    void SetButtonHint(const QString& h) { FEditBtn->setToolTip(h); }
    int ButtonWidth() const { return FButtonHost->isVisible() || buttonWidth_ > 1 ? buttonWidth_ : buttonWidth_; }
    void SetButtonWidth(int w);
    QKeySequence ClickKey() const { return FClickKey; }
    void SetClickKey(const QKeySequence& k) { FClickKey = k; }
    bool DirectInput() const { return FDirectInput; }
    void SetDirectInput(bool v);
    QPixmap Glyph() const { return FEditBtn->Glyph(); }
    void SetGlyph(const QPixmap& g);
    TGlyphKind GlyphKind() const { return FGlyphKind; }
    void SetGlyphKind(TGlyphKind k);
    int NumGlyphs() const { return FEditBtn->NumGlyphs(); }
    void SetNumGlyphs(int n);
    TPopupAlign PopupAlign() const { return FPopupAlign; }
    void SetPopupAlign(TPopupAlign a) { FPopupAlign = a; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool v);
    bool ButtonAlways() const { return FButtonAlways; }
    void SetButtonAlways(bool v) { FButtonAlways = v; }
    Qt::Alignment EditAlignment() const { return FAlignment; }
    void SetEditAlignment(Qt::Alignment a);

    TEditButton* Button() const { return FEditBtn; }
    TPopupWindow* DropDown() const { return FDropDown; }
    bool HasFocus() const { return FHasFocus; }

    // Hooks of the data-aware forms: the read-only state, whether the value may change
    // now, and the commit of the typed text into the value (raises when it is no value).
    virtual bool ReadOnlyState() const { return FReadOnly; }
    virtual bool EditCanModify() const { return !ReadOnlyState(); }
    virtual void CommitText() {}

    std::function<void(TCustomComboEdit*)> OnButtonClick;

signals:
    void buttonClicked();
    void changed();

protected:
    virtual QPixmap StandardGlyph() const { return QPixmap(); }
    virtual void OpenPopup(bool disableTyping);
    virtual void PlacePopup(const QPoint& p);
    virtual void RemovePopup();
    virtual bool ConfirmPopupValue(QVariant& value) { Q_UNUSED(value); return true; }
    virtual void TakePopupValue(const QVariant& value);
    virtual void FeedPopup(const QVariant& value);
    virtual QVariant ReadPopup();
    virtual void PopupChanged() {}
    // The value or text changed (fired for every change of the text unless suppressed).
    virtual void Change();
    // Key handling in two steps, as keys arrive: the key itself, then its character.
    virtual void KeyDown(QKeyEvent* e, bool& handled);
    virtual void KeyPress(QChar& key, bool& handled);
    // Paints the text itself (frame, background, text at the alignment); true when it did.
    bool PaintComboText(QPainter& p, const QString& text, Qt::Alignment alignment);
    void SetPopup(TPopupWindow* popup);
    // A data-aware edit whose value may never change looks so, and its button is greyed.
    void ShowReadOnlyLook(bool on);
    void ShowEditCaret();
    void LayoutButton();
    void RebuildGlyph();
    void sendDialogKey(int key);
    // Leaving a data-aware edit: runs check-and-write; when it throws, the edit
    // keeps the focus (text selected with selectAllOnError) and the error is
    // shown. False when it threw and the caller must not finish the exit.
    bool WriteOnExit(QFocusEvent* e, bool selectAllOnError, const std::function<void()>& checkAndWrite);

    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

    QWidget* FButtonHost;
    TEditButton* FEditBtn;
    QPointer<TPopupWindow> FDropDown;
    bool FDropShown = false;
    bool FHasFocus = false;
    bool FReadOnly = false;
    bool FDirectInput = true;
    bool FButtonAlways = false;
    bool FReadOnlyLook = false;
    Qt::Alignment FAlignment = Qt::AlignLeft;
    QKeySequence FClickKey = QKeySequence(Qt::ALT | Qt::Key_Down);
    TPopupAlign FPopupAlign = epaRight;
    TGlyphKind FGlyphKind = gkCustom;
    int FStdGlyphCount = 1;
    int buttonWidth_ = 21;
    bool suppressChange_ = false;

private:
    void updateReadOnly();
    bool insidePopupFamily(QObject* o) const;
};
