#pragma once

#include "ComboEdit.h"

#include "db/Currency.h"

#include <QFrame>
#include <algorithm>
#include <functional>

// Number text helpers of the number edits.
QString CleanNumber(const QString& text);
bool IsFloatText(const QString& text);
// A cleaned number text as money, rounded half to even at `decimals` (0..4)
// from all its digits, as a number read from a file is; nullopt when it is no
// number; ERangeError with a message naming the text when money cannot hold it.
std::optional<fw::Currency> ReadNumberText(const QString& text, int decimals = 4);
// The message refusing a number text outside the money range; empty otherwise.
QString MoneyRangeRefusal(const QString& text);
QString GroupDigits(const QString& text, bool grouping);
// The display format of a currency edit built from the locale's currency settings.
QString CurrencyDisplayFormat();

enum TCalcState { csFirst, csValid, csError };

class TCalculatorPanel;

class TCalcButton : public TBrSpeedButton {
    Q_OBJECT
public:
    TCalcButton(int kind, QWidget* parent);
    int FKeyKind;
    int Tag() const { return FKeyKind - 1; }
};

// The calculator's keypad and its arithmetic.
class TCalculatorPanel : public QFrame {
    Q_OBJECT
public:
    explicit TCalculatorPanel(QWidget* parent = nullptr, bool dropDownKeypad = true);

    QString DisplayText() const { return FDisplay; }
    TCalcState State() const { return FState; }
    QChar PendingOp() const { return FPendingOp; }
    double LeftOperand() const { return FLeftOperand; }
    int Digits() const { return FDigits; }
    void SetDigits(int d) { FDigits = d; }
    bool Beep() const { return FBeep; }
    void SetBeep(bool b) { FBeep = b; }

    void SetShownValue(double r);
    double ShownValue() const;
    void HandleCalcKey(QChar key);
    void PressKey(QChar key);
    void ButtonKey(TCalcButton* button);
    // Back to the start with a value shown (the drop-down's loading).
    void Reset(double value);
    TCalcButton* ButtonWithTag(int tag) const;

    std::function<void(QChar&)> OnKeyFilter;

signals:
    void displayTextChanged();
    void resultKey();
    void errorShown();
    void valueShown();

protected:
    virtual void DisplayTextChanged() { emit displayTextChanged(); }
    void setDisplay(const QString& s);
    void StartEntry();
    void ShowError();

    QString FDisplay = QStringLiteral("0");
    TCalcState FState = csFirst;
    QChar FPendingOp = '=';
    double FLeftOperand = 0;
    int FDigits = 15;
    bool FBeep = true;
    // A new right operand is shown since the last operator (typed or computed by a function).
    bool FOperandReady = false;
    QList<TCalcButton*> buttons_;
};

class TLocCalculator : public TCalculatorPanel {
    Q_OBJECT
public:
    explicit TLocCalculator(QWidget* parent = nullptr);
};

class TPopupCalculator : public TPopupWindow {
    Q_OBJECT
public:
    explicit TPopupCalculator(TCustomComboEdit* editor);
    QVariant PopupValue() override;
    void LoadPopupValue(const QVariant& value) override;
    QString PopupCaptionText() override { return FCalcPanel->DisplayText(); }
    void PopupKeyPress(QChar key) override { FCalcPanel->PressKey(key); }
    TLocCalculator* FCalcPanel;
};

class TCustomNumEdit : public TCustomComboEdit {
    Q_OBJECT
public:
    explicit TCustomNumEdit(QWidget* parent = nullptr);

    // An unreadable text reads as MinValue; a number money cannot hold raises ERangeError.
    virtual fw::Currency Value() const;
    virtual void SetValue(fw::Currency v);
    double AsDouble() const { return Value().toDouble(); }
    int64_t AsInteger() const { return Value().scaled() / fw::Currency::Scale; }
    void SetAsInteger(int64_t v) { SetValue(fw::Currency::fromInt(v)); }
    QString Text() const { return text(); }
    void SetText(const QString& t);
    void Clear() { SetText(QString()); }

    fw::Currency MinValue() const { return FMinValue; }
    void SetMinValue(fw::Currency v);
    fw::Currency MaxValue() const { return FMaxValue; }
    void SetMaxValue(fw::Currency v);
    int DecimalPlaces() const { return FDecimalPlaces; }
    void SetDecimalPlaces(int d);
    QString DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& f);
    Qt::Alignment Alignment() const { return FNumAlignment; }
    void SetAlignment(Qt::Alignment a) { FNumAlignment = a; update(); }
    bool ZeroEmpty() const { return FZeroEmpty; }
    void SetZeroEmpty(bool v);
    bool BeepOnError() const { return FBeepOnError; }
    void SetBeepOnError(bool v);
    bool CheckOnExit() const { return FCheckOnExit; }
    void SetCheckOnExit(bool v) { FCheckOnExit = v; }
    bool FormatOnEditing() const { return FFormatOnEditing; }
    void SetFormatOnEditing(bool v);

    // Reads the edit text into the value (raises EConvertError when it is no number,
    // ERangeError when money cannot hold it).
    void ReadEditValue() const;
    void ExitValueCheck();
    void RevertText();
    void CommitText() override { ReadEditValue(); }
    // Applies the bounds; with raise set a changed value raises ERangeError.
    void ClampValue(fw::Currency& v, bool raise) const;
    virtual QString DisplayText() const;
    virtual QString StandardDisplayFormat() const { return QStringLiteral(",0.##"); }
    virtual bool KeyAcceptable(QChar key) const;
    virtual void FormatEditText();

protected:
    virtual void PopupBeepChanged() {}
    virtual void ReformatText();
    void Change() override;
    void KeyDown(QKeyEvent* e, bool& handled) override;
    void KeyPress(QChar& key, bool& handled) override;
    void paintEvent(QPaintEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void setEditText(const QString& t);
    // The decimals of the value: a number typed, pasted or set with more is
    // rounded to them when it is read, and shown so once the edit is left.
    int ValueDecimals() const { return std::clamp(FDecimalPlaces, 0, 4); }
    void pasteChecked();
    // The edit text as it would be with the key typed, cleaned.
    QString TextWithKey(QChar key) const;
    // Beeps for a refused key, and says so when the number would leave the money range.
    void RefuseKey(QChar key);

    mutable fw::Currency FNumber;
    fw::Currency FMinValue, FMaxValue;
    int FDecimalPlaces = 2;
    QString FDisplayFormat;
    Qt::Alignment FNumAlignment = Qt::AlignRight;
    bool FZeroEmpty = true;
    bool FBeepOnError = true;
    bool FCheckOnExit = false;
    bool FFormatOnEditing = false;
    bool FFocusedNum = false;
    bool FInternalChange = false;
};

class TCurrencyEdit : public TCustomNumEdit {
    Q_OBJECT
public:
    explicit TCurrencyEdit(QWidget* parent = nullptr);
    QString StandardDisplayFormat() const override { return CurrencyDisplayFormat(); }
};

class TBrCustomCalcEdit : public TCustomNumEdit {
    Q_OBJECT
public:
    explicit TBrCustomCalcEdit(QWidget* parent = nullptr);
    TPopupCalculator* Calculator() const { return qobject_cast<TPopupCalculator*>(FDropDown.data()); }
protected:
    QPixmap StandardGlyph() const override;
    bool ConfirmPopupValue(QVariant& value) override;
    void TakePopupValue(const QVariant& value) override;
    void FeedPopup(const QVariant& value) override;
    void PopupBeepChanged() override;
};

class TBrCalcEdit : public TBrCustomCalcEdit {
    Q_OBJECT
public:
    explicit TBrCalcEdit(QWidget* parent = nullptr) : TBrCustomCalcEdit(parent) {}
};
