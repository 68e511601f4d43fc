#pragma once

#include <QBitArray>
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <QMenu>
class QPainter;

enum TButtonDrawState : quint8 { bdsUp = 0, bdsDisabled = 1, bdsDown = 2, bdsExclusive = 3, bdsInactive = 4 };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };
enum TBrDropDownMenuPos { dmpBottom, dmpRight };

// Images of one size, shared by every button whose glyph has that size.
class TGlyphList {
public:
    TGlyphList(int width, int height) : width_(width), height_(height) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    int AllocateSlot();
    int AddImage(const QPixmap& image);
    int AddMaskedImage(const QPixmap& image, QColor maskColour);
    void ReleaseSlot(int index);
    int Count() const { return count_; }
    const QPixmap& Image(int index) const { return images_[index]; }
private:
    int width_, height_;
    QVector<QPixmap> images_;
    QBitArray used_;
    int count_ = 0;
};

class TGlyphCache {
public:
    ~TGlyphCache();
    TGlyphList* ListForSize(int width, int height);
    void GiveBackList(TGlyphList* list);
    bool IsEmpty() const { return lists_.isEmpty(); }
    int ListCount() const { return lists_.size(); }
private:
    QList<TGlyphList*> lists_;
};
TGlyphCache* GlyphCacheInstance();   // null while no glyph object exists

// Where glyph, caption and drop-down mark go inside a button.
struct TGlyphPlacement {
    QPoint glyphPos;
    QRect textRect;
    QString caption;      // shortened with "..." when it did not fit
    QSize glyphSize;      // including the mark's share
};

class TBrButtonGlyph : public QObject {
    Q_OBJECT
public:
    TBrButtonGlyph();
    ~TBrButtonGlyph() override;

    const QPixmap& Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);
    QColor TransparentColor() const { return transparent_; }
    Qt::Alignment Alignment = Qt::AlignHCenter;
    bool WordWrap = false;

    int GetImageIndex(TButtonDrawState state);
    QPixmap StateImage(TButtonDrawState state);   // empty when there is no glyph
    void ReleaseImages();
    QSize ImageSize() const;

    // Steps of the layout that only need sizes: glyph (with the mark's share) and text size.
    static void ArrangeGlyphAndText(const QRect& client, QSize glyph, QSize text, TButtonLayout layout,
                                    int margin, int spacing, bool mark, QPoint& glyphPos,
                                    QRect& textRect);
    TGlyphPlacement PlaceGlyphAndText(const QFontMetrics& fm, const QRect& client,
                                      const QString& caption, TButtonLayout layout, int margin,
                                      int spacing, bool mark) const;
    void DrawButton(QPainter& p, const QRect& client, TButtonDrawState state, bool mark, int spacing,
                    int margin, TButtonLayout layout, const QString& caption, const QPalette& pal);

signals:
    void changed();

private:
    QPixmap makeImage(TButtonDrawState state) const;
    QPixmap glyph_;
    QColor transparent_ = QColor(0xFF, 0x00, 0xFF);
    int numGlyphs_ = 1;
    int index_[5] = {-1, -1, -1, -1, -1};
    TGlyphList* list_ = nullptr;
};

// Pictures the controls draw themselves: "PREV2", "PREV1", "NEXT1", "NEXT2",
// "DEDITBMP" (two images), "CEDITBMP" (two images). Magenta is transparent.
QPixmap BrStandardBitmap(const QString& name);

class TBrSpeedButton : public QWidget {
    Q_OBJECT
public:
    explicit TBrSpeedButton(QWidget* parent = nullptr);
    ~TBrSpeedButton() override;

    Qt::Alignment Alignment() const { return glyph_.Alignment; }
    void SetAlignment(Qt::Alignment a) { glyph_.Alignment = a; update(); }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool v);
    bool AllowTimer() const { return allowTimer_; }
    void SetAllowTimer(bool v);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int v);
    bool Down() const { return down_; }
    void SetDown(bool v);
    QMenu* DropDownMenu() const { return menu_; }
    void SetDropDownMenu(QMenu* menu);
    // The menu opens on a press (the framework's automatic pop-up); off: only by hand.
    bool MenuAutoPopup = true;
    Qt::Alignment MenuAlignment = Qt::AlignLeft;
    TBrDropDownMenuPos MenuPosition = dmpBottom;
    bool Flat() const { return flat_; }
    void SetFlat(bool v) { flat_ = v; update(); }
    const QPixmap& Glyph() const { return glyph_.Glyph(); }
    void SetGlyph(const QPixmap& g) { glyph_.SetGlyph(g); }
    bool GrayedInactive = true;
    int InitPause = 500;
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout l) { layout_ = l; update(); }
    int Margin() const { return margin_; }
    void SetMargin(int m);
    bool MarkDropDown() const { return markDropDown_; }
    void SetMarkDropDown(bool v) { markDropDown_ = v; update(); }
    int ModalResult = 0;
    int NumGlyphs() const { return glyph_.NumGlyphs(); }
    void SetNumGlyphs(int n) { glyph_.SetNumGlyphs(n); }
    int RepeatInterval = 100;
    int Spacing() const { return spacing_; }
    void SetSpacing(int s) { spacing_ = s; update(); }
    TButtonStyle Style = bsAutoDetect;
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v) { transparent_ = v; update(); }
    bool WordWrap() const { return glyph_.WordWrap; }
    void SetWordWrap(bool v) { glyph_.WordWrap = v; update(); }
    QString Caption() const { return caption_; }
    void SetCaption(const QString& c) { caption_ = c; update(); }

    TButtonDrawState State() const { return state_; }
    bool MouseInControl() const { return mouseInside_; }
    TBrButtonGlyph& ButtonGlyph() { return glyph_; }

    // Presses the button from code: the pressed look for a moment, then the click.
    void SimulateClick();
    QPoint MenuPopupPoint() const;
    void OpenDropDownMenu(const QPoint& pos, bool manual);
    virtual void Click();
    QSize sizeHint() const override { return QSize(25, 25); }

signals:
    void clicked();
    void doubleClicked();
    void mouseEnter();
    void mouseLeave();

protected:
    virtual void DrawGlyphAndText(QPainter& p, const QRect& r, bool dropDownMark, TButtonDrawState state);
    virtual void NotifyMouseEnter() { emit mouseEnter(); }
    virtual void NotifyMouseLeave() { emit mouseLeave(); }
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;
    bool pointInside(const QPoint& p) const;
    bool isNewStyle() const { return Style != bsWin31; }
    void drawFrame(QPainter& p, QRect& r, TButtonDrawState paintState);
    bool menuTracking_ = false;
    bool dragging_ = false;

private:
    void groupNotify();
    void buttonPressed(int group, TBrSpeedButton* sender);
    void repeatTimer();
    void updateTracking();
    void mouseUpAt(const QPoint& pos);
    void finishSimulatedClick();

    TBrButtonGlyph glyph_;
    TButtonDrawState state_ = bdsUp;
    bool mouseInside_ = false;
    bool allowAllUp_ = false;
    bool allowTimer_ = false;
    int groupIndex_ = 0;
    bool down_ = false;
    QPointer<QMenu> menu_;
    bool flat_ = false;
    TButtonLayout layout_ = blGlyphTop;
    int margin_ = -1;
    bool markDropDown_ = true;
    int spacing_ = 1;
    bool transparent_ = false;
    QString caption_;
    QTimer* repeat_ = nullptr;
    QTimer* simulated_ = nullptr;
};

// A button that repeats its click while held.
class TBrTimerSpeedButton : public TBrSpeedButton {
    Q_OBJECT
public:
    explicit TBrTimerSpeedButton(QWidget* parent = nullptr) : TBrSpeedButton(parent)
    {
        Style = bsWin31;
        SetAllowTimer(true);
    }
};
