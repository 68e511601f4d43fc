#include "CalcEdit.h"

#include "db/NumberFormat.h"

#include "DateEdit.h"
#include "FormatSettings.h"
#include "VclUtils.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <cmath>

// --- text helpers -------------------------------------------------------------

namespace {
// The edit text's format: the value with up to that many decimals (at most the four money holds).
QString EditTextFormat(int decimals)
{
    const int dp = std::clamp(decimals, 0, 4);
    return dp > 0 ? QStringLiteral("0.") + QString(dp, '#') : QStringLiteral("0");
}
}

QString CleanNumber(const QString& text)
{
    const TFormatSettings& fs = FormatSettings();
    QString s = TrimBlanks(text);
    if (fs.ThousandSeparator != fs.DecimalSeparator) s.remove(fs.ThousandSeparator);
    if (fs.DecimalSeparator != '.' && fs.ThousandSeparator != '.') s.replace('.', fs.DecimalSeparator);
    if (fs.DecimalSeparator != ',' && fs.ThousandSeparator != ',') s.replace(',', fs.DecimalSeparator);
    if (s.isEmpty()) s = QStringLiteral("0");
    else if (s == "-") s = QStringLiteral("-0");
    return s;
}

bool IsFloatText(const QString& text)
{
    const QChar dec = FormatSettings().DecimalSeparator;
    for (QChar c : text)
        if (!(c == '+' || c == '-' || (c.isDigit() && c.unicode() < 128) || c == 'E' || c == 'e' || c == dec))
            return false;
    QString t = text.left(63);
    t.replace(dec, '.');
    if (t.endsWith('.')) t.chop(1);
    if (t.isEmpty()) return false;
    bool ok = false;
    t.toDouble(&ok);
    return ok;
}

std::optional<fw::Currency> ReadNumberText(const QString& text, int decimals)
{
    if (!IsFloatText(text)) return std::nullopt;
    try {
        return fw::Currency::parse(text, decimals);
    } catch (const fw::CurrencyRangeError& e) {
        throw ERangeError(e.message());
    }
}

QString MoneyRangeRefusal(const QString& text)
{
    try {
        ReadNumberText(text);
    } catch (const ERangeError& e) {
        return e.message();
    }
    return QString();
}

QString GroupDigits(const QString& text, bool grouping)
{
    const TFormatSettings& fs = FormatSettings();
    QString sign;
    QString s = text;
    if (s.startsWith('+') || s.startsWith('-')) {
        sign = s.left(1);
        s.remove(0, 1);
    }
    int end = s.size();
    const int d = s.indexOf(fs.DecimalSeparator);
    const int e = s.indexOf('E', 0, Qt::CaseInsensitive);
    if (d >= 0) end = d;
    if (e >= 0 && e < end) end = e;
    QString ip = s.left(end);
    if (grouping) ip = fw::groupThousands(ip, QString(fs.ThousandSeparator));
    return sign + ip + s.mid(end);
}

QString CurrencyDisplayFormat()
{
    const TFormatSettings& fs = FormatSettings();
    QString cur;
    for (QChar c : fs.CurrencyString) {
        if (c == ',' || c == '.') cur += QStringLiteral("'") + c + QStringLiteral("'");
        else cur += c;
    }
    QString f = QStringLiteral(",0.") + QString(fs.CurrencyDecimals, '0');
    switch (fs.CurrencyFormat) {
    case 0: f = cur + f; break;
    case 1: f = f + cur; break;
    case 2: f = cur + ' ' + f; break;
    case 3: f = f + ' ' + cur; break;
    }
    return f + ";-" + f;
}

// --- calculator ---------------------------------------------------------------

namespace {

struct KeyDef {
    const char* caption;
    QChar key;
    int x, y;
    QColor colour;
};

QColor purple() { return QColor(128, 0, 128); }
QColor navy() { return QColor(0, 0, 128); }
QColor maroon() { return QColor(128, 0, 0); }

KeyDef keyDef(int kind)
{
    static const int pos[10][2] = {{6, 75}, {6, 52}, {29, 52}, {52, 52}, {6, 29},
                                   {29, 29}, {52, 29}, {6, 6}, {29, 6}, {52, 6}};
    const QColor text = QApplication::palette().color(QPalette::ButtonText);
    if (kind >= 1 && kind <= 10) {
        static const char* digits[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
        return {digits[kind - 1], QChar('0' + kind - 1), pos[kind - 1][0], pos[kind - 1][1], text};
    }
    switch (kind) {
    case 11: return {"±", '_', 52, 75, text};
    case 12: return {"", FormatSettings().DecimalSeparator, 29, 75, text};
    case 13: return {"/", '/', 75, 6, purple()};
    case 14: return {"*", '*', 75, 29, purple()};
    case 15: return {"-", '-', 75, 52, purple()};
    case 16: return {"+", '+', 75, 75, purple()};
    case 17: return {"sqrt", 'Q', -1, -1, navy()};
    case 18: return {"%", '%', -1, -1, navy()};
    case 19: return {"1/x", 'R', -1, -1, navy()};
    case 20: return {"=", '=', 52, 98, purple()};
    case 21: return {"<-", QChar(8), 29, 98, maroon()};
    default: return {"C", 'C', 6, 98, maroon()};
    }
}

} // namespace

TCalcButton::TCalcButton(int kind, QWidget* parent) : TBrSpeedButton(parent), FKeyKind(kind)
{
    Style = bsNew;
    const KeyDef d = keyDef(kind);
    SetCaption(kind == 12 ? QString(FormatSettings().DecimalSeparator) : QString::fromUtf8(d.caption));
    QPalette pal = palette();
    pal.setColor(QPalette::ButtonText, d.colour);
    setPalette(pal);
}

TCalculatorPanel::TCalculatorPanel(QWidget* parent, bool dropDownKeypad) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    for (int kind = 1; kind <= 22; ++kind) {
        const KeyDef d = keyDef(kind);
        if (dropDownKeypad && d.x < 0) continue;
        auto* b = new TCalcButton(kind, this);
        b->setObjectName(QStringLiteral("CalcKey%1").arg(kind));
        int x = d.x, y = d.y;
        if (!dropDownKeypad && d.x < 0) { x = 98; y = 6 + (kind - 17) * 23; }
        b->setGeometry(x, y, kind == 20 ? 44 : 21, 21);
        connect(b, &TBrSpeedButton::clicked, this, [this, b] { ButtonKey(b); });
        buttons_ << b;
    }
}

TCalcButton* TCalculatorPanel::ButtonWithTag(int tag) const
{
    for (TCalcButton* b : buttons_)
        if (b->Tag() == tag) return b;
    return nullptr;
}

void TCalculatorPanel::setDisplay(const QString& s)
{
    if (s == FDisplay) return;
    FDisplay = s;
    DisplayTextChanged();
}

void TCalculatorPanel::SetShownValue(double r)
{
    // An overflow would otherwise read back as 0.
    if (!std::isfinite(r)) {
        ShowError();
        return;
    }
    const QString s = FloatToStrG(r, std::max(2, FDigits));
    const bool changed = s != FDisplay;
    setDisplay(s);
    if (changed) emit valueShown();
}

double TCalculatorPanel::ShownValue() const
{
    if (FState == csError) return 0;
    double v = 0;
    return TextToFloatVcl(FDisplay.trimmed(), v) ? v : 0;
}

void TCalculatorPanel::StartEntry()
{
    if (FState == csFirst) {
        FState = csValid;
        setDisplay(QStringLiteral("0"));
    }
    FOperandReady = true;
}

void TCalculatorPanel::ShowError()
{
    FState = csError;
    setDisplay(QStringLiteral("Error"));
    if (FBeep) BeepDefault();
    emit errorShown();
}

void TCalculatorPanel::Reset(double value)
{
    SetShownValue(value);
    FState = csFirst;
    FPendingOp = '=';
    FOperandReady = false;
}

void TCalculatorPanel::HandleCalcKey(QChar key)
{
    key = key.toUpper();
    if (FState == csError && key != 'C' && key != QChar(27)) return;
    if (OnKeyFilter) OnKeyFilter(key);
    const QChar dec = FormatSettings().DecimalSeparator;
    const int maxDigits = std::max(2, FDigits);
    if (key == ',' || key == '.' || key == dec) {
        StartEntry();
        if (!FDisplay.contains(dec)) setDisplay(FDisplay + dec);
    } else if (key == QChar(3)) {
        QApplication::clipboard()->setText(FDisplay);
    } else if (key == QChar(22)) {
        const QString clip = QApplication::clipboard()->text();
        if (!clip.isNull()) {
            QString t = clip;
            t.remove(FormatSettings().CurrencyString);
            double v = 0;
            if (TextToFloatVcl(CleanNumber(t.trimmed()), v)) SetShownValue(v);
            else SetShownValue(0);
            FOperandReady = true;
        }
    } else if (key == QChar(8)) {
        StartEntry();
        if (FDisplay.size() == 1 || (FDisplay.size() == 2 && FDisplay.startsWith('-')))
            setDisplay(QStringLiteral("0"));
        else
            setDisplay(FDisplay.left(FDisplay.size() - 1));
    } else if (key == '\r' || key == '%' || key == '*' || key == '+' || key == '-' || key == '/'
               || key == '=') {
        // The pending operation applies once, to the operand shown since it was chosen.
        if (FOperandReady) {
            FState = csFirst;
            double r = ShownValue();
            if (key == '%') {
                if (FPendingOp == '*' || FPendingOp == '/') r = r / 100.0;
                else if (FPendingOp == '+' || FPendingOp == '-') r = FLeftOperand * r / 100.0;
            }
            switch (FPendingOp.unicode()) {
            case '*': SetShownValue(FLeftOperand * r); break;
            case '+': SetShownValue(FLeftOperand + r); break;
            case '-': SetShownValue(FLeftOperand - r); break;
            case '/':
                if (r == 0) ShowError();
                else SetShownValue(FLeftOperand / r);
                break;
            default:
                if (key == '%') SetShownValue(r);
                break;
            }
        }
        if (FState == csValid) FState = csFirst;
        FOperandReady = false;
        FPendingOp = key == '\r' ? QChar('=') : key;
        FLeftOperand = ShownValue();
        if (key == '\r' || key == '%' || key == '=') emit resultKey();
    } else if (key == QChar(27) || key == 'C') {
        FState = csFirst;
        SetShownValue(0);
        FPendingOp = '=';
        FOperandReady = false;
    } else if (key.isDigit() && key.unicode() < 128) {
        StartEntry();
        QString t = FDisplay;
        if (t == "0") t.clear();
        if (t.contains('E')) return;
        if (t.size() < maxDigits + (t.contains('-') ? 1 : 0)) setDisplay(t + key);
        else {
            setDisplay(t.isEmpty() ? QStringLiteral("0") : t);
            if (FBeep) BeepDefault();
        }
    } else if (key == 'Q' || key == 'R') {
        const double r = ShownValue();
        if (key == 'Q') {
            if (r < 0) ShowError(); else SetShownValue(std::sqrt(r));
        } else {
            if (r == 0) ShowError(); else SetShownValue(1.0 / r);
        }
        if (FState != csError) {
            FState = csFirst;
            FOperandReady = true;
        }
    } else if (key == '_') {
        SetShownValue(-ShownValue());
        FOperandReady = true;
    }
}

void TCalculatorPanel::PressKey(QChar key)
{
    const QChar dec = FormatSettings().DecimalSeparator;
    if (key == ',' || key == '.' || key == dec) key = '.';
    else if (key == '\r') key = '=';
    else if (key == QChar(27)) key = 'C';
    key = key.toUpper();
    const QString keys = QStringLiteral("0123456789_./*-+Q%R=") + QChar(8) + QChar('C');
    const int pos = keys.indexOf(key);
    if (pos >= 0)
        if (TCalcButton* b = ButtonWithTag(pos)) {
            b->SimulateClick();
            return;
        }
    HandleCalcKey(key);
}

void TCalculatorPanel::ButtonKey(TCalcButton* button)
{
    if (button->FKeyKind >= 1 && button->FKeyKind <= 22) HandleCalcKey(keyDef(button->FKeyKind).key);
}

TLocCalculator::TLocCalculator(QWidget* parent) : TCalculatorPanel(parent, true)
{
    setFocusPolicy(Qt::NoFocus);
}

TPopupCalculator::TPopupCalculator(TCustomComboEdit* editor) : TPopupWindow(editor)
{
    const double scale = logicalDpiX() / 96.0;
    resize(int(104 * scale), int(127 * scale));
    QFont f = PopupStatusFont();
    f.setBold(true);
    setFont(f);
    FCalcPanel = new TLocCalculator(this);
    FCalcPanel->setObjectName("FCalcPanel");
    FCalcPanel->setGeometry(1, 1, width() - 2, height() - 2);
    FCalcPanel->SetDigits(15);
    connect(FCalcPanel, &TCalculatorPanel::displayTextChanged, this, &TPopupWindow::RepaintEditorText);
    connect(FCalcPanel, &TCalculatorPanel::resultKey, this, [this] {
        if (FCalcPanel->State() == csError) return;
        FCalcPanel->SetShownValue(FCalcPanel->ShownValue());
        // After the key's own handling, so the pressed look is not torn down mid-click.
        QPointer<TPopupCalculator> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self) self->CloseRequest(true);
        });
    });
}

QVariant TPopupCalculator::PopupValue()
{
    if (FCalcPanel->State() == csError) {
        if (FCalcPanel->Beep()) BeepDefault();
        return QVariant(0.0);
    }
    FCalcPanel->SetShownValue(FCalcPanel->ShownValue());
    return QVariant(FCalcPanel->DisplayText());
}

void TPopupCalculator::LoadPopupValue(const QVariant& value)
{
    double v = 0;
    if (!value.isNull() && value.isValid()) {
        const QString s = value.toString();
        if (!s.isEmpty() && !TextToFloatVcl(CleanNumber(s), v)) v = 0;
    }
    FCalcPanel->Reset(v);
}

// --- TCustomNumEdit -----------------------------------------------------------

TCustomNumEdit::TCustomNumEdit(QWidget* parent) : TCustomComboEdit(parent)
{
    FDisplayFormat = StandardDisplayFormat();
    FStdGlyphCount = 2;
    setText(QString());
    SetEditAlignment(Qt::AlignLeft);
    FormatEditText();
    SetButtonWidth(20);
}

void TCustomNumEdit::setEditText(const QString& t)
{
    const bool was = FInternalChange;
    FInternalChange = true;
    setText(t);
    FInternalChange = was;
}

void TCustomNumEdit::ClampValue(fw::Currency& v, bool raise) const
{
    if (FMinValue == FMaxValue) return;
    const fw::Currency before = v;
    if (FMaxValue > FMinValue) {
        if (v < FMinValue) v = FMinValue;
        else if (v > FMaxValue) v = FMaxValue;
    } else if (FMaxValue.isZero()) {
        if (v < FMinValue) v = FMinValue;
    } else if (FMinValue.isZero()) {
        if (v > FMaxValue) v = FMaxValue;
    }
    if (raise && v != before) {
        const int dp = std::clamp(FDecimalPlaces, 0, 4);
        throw ERangeError(QStringLiteral("Value must be between %1 and %2")
                              .arg(FMinValue.toString(dp), FMaxValue.toString(dp)));
    }
}

fw::Currency TCustomNumEdit::Value() const
{
    try {
        ReadEditValue();
    } catch (const ERangeError&) {
        throw;   // a number money cannot hold is refused, never read as another
    } catch (const EControlError&) {
        FNumber = FMinValue;
    }
    return FNumber;
}

void TCustomNumEdit::SetValue(fw::Currency v)
{
    ClampValue(v, false);
    FNumber = v;
    FormatEditText();
    update();
}

void TCustomNumEdit::SetText(const QString& t)
{
    auto c = ReadNumberText(CleanNumber(t), ValueDecimals());
    fw::Currency v = c ? *c : fw::Currency();
    ClampValue(v, false);
    FNumber = v;
    FormatEditText();
    update();
}

void TCustomNumEdit::ReadEditValue() const
{
    const QString t = CleanNumber(text());
    const auto c = ReadNumberText(t, ValueDecimals());
    if (!c) throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text()));
    fw::Currency v = *c;
    ClampValue(v, false);
    FNumber = v;
}

void TCustomNumEdit::ExitValueCheck()
{
    if (!FCheckOnExit) return;
    const QString t = CleanNumber(text());
    const auto c = ReadNumberText(t, ValueDecimals());
    if (!c) throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text()));
    fw::Currency v = *c;
    ClampValue(v, true);
}

void TCustomNumEdit::RevertText()
{
    FormatEditText();
    if (FDirectInput) selectAll();
}

void TCustomNumEdit::FormatEditText()
{
    if (!FNumber.isZero() || !FZeroEmpty) setEditText(FormatFloatVcl(EditTextFormat(FDecimalPlaces), FNumber));
    else setEditText(QString());
}

QString TCustomNumEdit::DisplayText() const
{
    const fw::Currency v = FNumber;
    if (FDisplayFormat.isEmpty()) return FloatToStrG(v.toDouble(), 15);
    return FormatFloatVcl(FDisplayFormat, v);
}

void TCustomNumEdit::ReformatText()
{
    const bool was = FInternalChange;
    FInternalChange = true;
    const QString t = text();
    if (!t.isEmpty() && t != "-") {
        const int fromEnd = t.size() - cursorPosition();
        const QString n = GroupDigits(CleanNumber(t), FDisplayFormat.contains(','));
        setText(n);
        if (hasFocus()) setCursorPosition(std::max(0, int(n.size()) - fromEnd));
    }
    FInternalChange = was;
}

void TCustomNumEdit::Change()
{
    if (FInternalChange) return;
    if (FFormatOnEditing && hasFocus()) ReformatText();
    TCustomComboEdit::Change();
}

void TCustomNumEdit::SetMinValue(fw::Currency v)
{
    if (v == FMinValue) return;
    FMinValue = v;
    SetValue(Value());
}

void TCustomNumEdit::SetMaxValue(fw::Currency v)
{
    if (v == FMaxValue) return;
    FMaxValue = v;
    SetValue(Value());
}

void TCustomNumEdit::SetDecimalPlaces(int d)
{
    FDecimalPlaces = std::max(d, 0);
    FormatEditText();
}

void TCustomNumEdit::SetDisplayFormat(const QString& f)
{
    if (f == FDisplayFormat) return;
    FDisplayFormat = f;
    update();
    FormatEditText();
}

void TCustomNumEdit::SetZeroEmpty(bool v)
{
    FZeroEmpty = v;
    FormatEditText();
}

void TCustomNumEdit::SetBeepOnError(bool v)
{
    FBeepOnError = v;
    PopupBeepChanged();
}

void TCustomNumEdit::SetFormatOnEditing(bool v)
{
    FFormatOnEditing = v;
    SetEditAlignment(v ? FNumAlignment : Qt::AlignLeft);
    if (hasFocus()) {
        if (v) ReformatText();
        else {
            try { ReadEditValue(); } catch (const EControlError&) {}
            FormatEditText();
        }
    }
}

QString TCustomNumEdit::TextWithKey(QChar key) const
{
    QString s = text();
    if (hasSelectedText()) s.replace(selectionStart(), selectedText().size(), key);
    else s.insert(cursorPosition(), key);
    return CleanNumber(s);
}

void TCustomNumEdit::RefuseKey(QChar key)
{
    if (FBeepOnError) BeepDefault();
    // A digit too many for money deserves a word on why nothing appeared.
    const QString why = MoneyRangeRefusal(TextWithKey(key));
    if (!why.isEmpty()) ReportControlError(this, why);
}

bool TCustomNumEdit::KeyAcceptable(QChar key) const
{
    // Decimals beyond the edit's are taken and rounded when the value is read,
    // as a pasted number is: "27,3456" gives the same rate typed or pasted.
    const QString s = TextWithKey(key);
    if (!IsFloatText(s) || !MoneyRangeRefusal(s).isEmpty()) return false;
    if (FMinValue >= fw::Currency() && FMaxValue > fw::Currency() && s.startsWith('-')) return false;
    return true;
}

void TCustomNumEdit::pasteChecked()
{
    if (!FDirectInput || !EditCanModify()) return;
    const QString kept = text();
    paste();
    try {
        ReadEditValue();
    } catch (const EControlError& e) {
        setEditText(kept);
        selectAll();
        setFocus();
        if (FBeepOnError) BeepDefault();
        if (dynamic_cast<const ERangeError*>(&e)) ReportControlError(this, e.message());
    }
}

void TCustomNumEdit::KeyDown(QKeyEvent* e, bool& handled)
{
    if (e->matches(QKeySequence::Paste)) {
        pasteChecked();
        handled = true;
        return;
    }
    TCustomComboEdit::KeyDown(e, handled);
}

void TCustomNumEdit::KeyPress(QChar& key, bool& handled)
{
    const TFormatSettings& fs = FormatSettings();
    if (PopupVisible()) {
        const QChar u = key.toUpper();
        static const QString calcKeys = QStringLiteral("%*+,-./0123456789=CQR_");
        if ((u == QChar(8) || u == '\r' || calcKeys.contains(u) || u == fs.DecimalSeparator)
            && u != fs.ThousandSeparator) {
            FDropDown->PopupKeyPress(key);
            handled = true;
            return;
        }
    }
    if ((key == ',' || key == '.') && key != fs.ThousandSeparator) key = fs.DecimalSeparator;
    TCustomComboEdit::KeyPress(key, handled);
    if (handled) return;
    if (key.unicode() >= 32 && !isReadOnly() && !KeyAcceptable(key)) {
        RefuseKey(key);
        handled = true;
        return;
    }
    if (key == QChar(27)) {
        RevertText();
        handled = true;
    }
}

void TCustomNumEdit::paintEvent(QPaintEvent* e)
{
    if (hasFocus() && !PopupVisible()) {
        QLineEdit::paintEvent(e);
        return;
    }
    QPainter p(this);
    PaintComboText(p, PopupVisible() ? FDropDown->PopupCaptionText() : DisplayText(), FNumAlignment);
}

void TCustomNumEdit::focusInEvent(QFocusEvent* e)
{
    FFocusedNum = true;
    update();
    if (FFormatOnEditing) ReformatText();
    TCustomComboEdit::focusInEvent(e);
}

void TCustomNumEdit::focusOutEvent(QFocusEvent* e)
{
    const bool leaving = e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason;
    if (leaving && !PopupVisible()) {
        try {
            ExitValueCheck();
            ReadEditValue();
        } catch (const EControlError& err) {
            TCustomComboEdit::focusOutEvent(e);
            if (FDirectInput) selectAll();
            ReportControlError(this, err.message());
            setFocus(Qt::OtherFocusReason);
            QPointer<TCustomNumEdit> self(this);
            QTimer::singleShot(0, this, [self] {
                if (self) self->setFocus(Qt::OtherFocusReason);
            });
            return;
        }
        FFocusedNum = false;
        FormatEditText();
        setCursorPosition(0);
    }
    TCustomComboEdit::focusOutEvent(e);
    update();
}

// --- TCurrencyEdit ------------------------------------------------------------

TCurrencyEdit::TCurrencyEdit(QWidget* parent) : TCustomNumEdit(parent)
{
    FDisplayFormat = CurrencyDisplayFormat();
    SetButtonWidth(0);
}

// --- TBrCustomCalcEdit --------------------------------------------------------

TBrCustomCalcEdit::TBrCustomCalcEdit(QWidget* parent) : TCustomNumEdit(parent)
{
    auto* p = new TPopupCalculator(this);
    p->setObjectName("PopupCalculator");
    SetPopup(p);
    SetGlyphKind(gkDefault);
    SetButtonWidth(20);
    PopupBeepChanged();
}

QPixmap TBrCustomCalcEdit::StandardGlyph() const { return BrStandardBitmap("CEDITBMP"); }

void TBrCustomCalcEdit::FeedPopup(const QVariant& value)
{
    if (!FDropDown) return;
    // The calculator starts from the value the edit holds: a number typed with
    // more decimals than the edit takes, rounded as it is read.
    QVariant v = value;
    try {
        if (value.isValid())
            if (const auto c = ReadNumberText(CleanNumber(value.toString()), ValueDecimals()))
                v = FormatFloatVcl(EditTextFormat(FDecimalPlaces), *c);
    } catch (const ERangeError&) {
    }
    FDropDown->LoadPopupValue(v);
}

bool TBrCustomCalcEdit::ConfirmPopupValue(QVariant& value)
{
    // An error shown in the calculator gives nothing: the edit keeps its value.
    if (TPopupCalculator* c = Calculator(); c && c->FCalcPanel->State() == csError) return false;
    // Nor does a result money cannot hold, which is said.
    const QString why = MoneyRangeRefusal(CleanNumber(value.toString()));
    if (!why.isEmpty()) {
        if (FBeepOnError) BeepDefault();
        ReportControlError(this, why);
        return false;
    }
    // The edit takes the result as it will keep it: rounded to its own decimals, not the
    // calculator's fifteen digits.
    if (const auto c = ReadNumberText(CleanNumber(value.toString()), ValueDecimals()))
        value = FormatFloatVcl(EditTextFormat(FDecimalPlaces), *c);
    return true;
}

void TBrCustomCalcEdit::TakePopupValue(const QVariant& value)
{
    TCustomComboEdit::TakePopupValue(value);
    try {
        ReadEditValue();
    } catch (const EControlError&) {}
}

void TBrCustomCalcEdit::PopupBeepChanged()
{
    if (TPopupCalculator* c = Calculator()) {
        c->FCalcPanel->SetDigits(std::max(2, 15));
        c->FCalcPanel->SetBeep(FBeepOnError);
    }
}
