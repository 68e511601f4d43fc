#include "ControlsTestUtil.h"
#include "controls/CalcEdit.h"
#include "controls/VclUtils.h"

#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using fw::Currency;

namespace {
Currency money(const char* s) { return *Currency::parse(s); }

struct Form {
    QWidget w;
    TBrCalcEdit* edit;
    QLineEdit* other;
    QStringList errors;
    Form()
    {
        auto* l = new QVBoxLayout(&w);
        edit = new TBrCalcEdit(&w);
        other = new QLineEdit(&w);
        l->addWidget(edit);
        l->addWidget(other);
        w.show();
        w.activateWindow();
        edit->setFocus();
        QApplication::processEvents();
        SetControlErrorHandler([this](QWidget*, const QString& m) { errors << m; });
    }
    ~Form() { SetControlErrorHandler({}); }
    void open() { sendKey(edit, Qt::Key_Down, Qt::AltModifier); }
    TCalculatorPanel* calc() { return edit->Calculator()->FCalcPanel; }
};
}

TEST(NumberText, CleanAndCheck)
{
    EXPECT_EQ(CleanNumber(" 1.5 "), "1,5");
    EXPECT_EQ(CleanNumber(QString("1") + QChar(0xA0) + "234,5"), "1234,5");
    EXPECT_EQ(CleanNumber(""), "0");
    EXPECT_EQ(CleanNumber("-"), "-0");
    EXPECT_TRUE(IsFloatText("-0"));
    EXPECT_TRUE(IsFloatText("12,"));
    EXPECT_TRUE(IsFloatText("1,5E3"));
    EXPECT_FALSE(IsFloatText("1a"));
    EXPECT_EQ(GroupDigits("-1234567,89", true), QString("-1") + QChar(0xA0) + "234" + QChar(0xA0) + "567,89");
    EXPECT_EQ(GroupDigits("1234", false), "1234");
}

TEST(NumberText, Formats)
{
    const QChar nb(0xA0);
    EXPECT_EQ(FormatFloatVcl(",0.##", money("1234.5")), QString("1") + nb + "234,5");
    EXPECT_EQ(FormatFloatVcl(",0.##", money("0")), "0");
    EXPECT_EQ(FormatFloatVcl("0.00", money("-2.5")), "-2,50");
    EXPECT_EQ(CurrencyDisplayFormat(), ",0.00р'.';-,0.00р'.'");
    EXPECT_EQ(FormatFloatVcl(CurrencyDisplayFormat(), money("-1234.5")), QString("-1") + nb + "234,50р.");
    EXPECT_EQ(FloatToStrG(0.1 + 0.2, 15), "0,3");
}

TEST(NumEdit, ZeroEmptyAndClamping)
{
    TBrCalcEdit e;
    EXPECT_EQ(e.Text(), "");
    EXPECT_EQ(e.Value(), Currency());
    e.SetMinValue(Currency::fromInt(0));
    e.SetMaxValue(Currency::fromInt(100));
    e.SetValue(Currency::fromInt(150));
    EXPECT_EQ(e.Value(), Currency::fromInt(100));
    TBrCalcEdit lower;
    lower.SetMinValue(Currency::fromInt(5));
    lower.SetValue(Currency::fromInt(2));
    EXPECT_EQ(lower.Value(), Currency::fromInt(5));
    lower.SetValue(Currency::fromInt(100000));
    EXPECT_EQ(lower.Value(), Currency::fromInt(100000));
    lower.setText("abc");
    EXPECT_EQ(lower.Value(), Currency::fromInt(5));
}

TEST(NumEdit, RangeErrorOnExit)
{
    Form f;
    f.edit->SetMinValue(Currency::fromInt(0));
    f.edit->SetMaxValue(Currency::fromInt(100));
    f.edit->SetCheckOnExit(true);
    typeText(f.edit, "150");
    f.other->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_EQ(f.errors.size(), 1);
    EXPECT_EQ(f.errors[0], "Value must be between 0.00 and 100.00");
    EXPECT_TRUE(f.edit->hasFocus());
}

TEST(NumEdit, KeysAreFiltered)
{
    Form f;
    typeText(f.edit, "12.345x");
    EXPECT_EQ(f.edit->Text(), "12,345");
    EXPECT_EQ(f.edit->Value(), money("12.34"));   // half to even at the edit's two decimals
    f.edit->selectAll();
    typeText(f.edit, "-");
    EXPECT_EQ(f.edit->Text(), "-");
    typeText(f.edit, "7,5x");
    EXPECT_EQ(f.edit->Text(), "-7,5");
    EXPECT_EQ(f.edit->Value(), money("-7.5"));
}

TEST(NumEdit, TypedNumbersRoundHalfToEvenAtFourDecimals)
{
    Form f;
    f.edit->SetDecimalPlaces(6);
    typeText(f.edit, "0,12345");
    EXPECT_EQ(f.edit->Value(), money("0.1234"));
    f.edit->selectAll();
    typeText(f.edit, "0,12355");
    EXPECT_EQ(f.edit->Value(), money("0.1236"));
    f.edit->selectAll();
    typeText(f.edit, "2,675");
    EXPECT_EQ(f.edit->Value().scaled(), 26750);
}

TEST(NumEdit, LeavingFormatsTheValue)
{
    Form f;
    typeText(f.edit, "1234,5");
    f.other->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(f.edit->Text(), "1234,5");
    EXPECT_EQ(f.edit->DisplayText(), QString("1") + QChar(0xA0) + "234,5");
    f.edit->setFocus();
    typeText(f.edit, "9");
    sendKey(f.edit, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    EXPECT_EQ(f.edit->Text(), "1234,5");
}

TEST(NumEdit, NumbersMoneyCannotHoldAreRefusedAloud)
{
    Form f;
    f.edit->SetBeepOnError(false);
    typeText(f.edit, QString(17, '9'));
    // 15 nines already exceed the money range: the digit is refused and the user told why.
    EXPECT_EQ(f.edit->Text(), QString(14, '9'));
    ASSERT_EQ(f.errors.size(), 3);
    EXPECT_TRUE(f.errors[0].contains("вне диапазона денежных сумм")) << f.errors[0].toStdString();
    EXPECT_EQ(f.edit->Value(), money("99999999999999"));

    // A text that got there anyway is never read as 0 (or MinValue), and cannot be left.
    f.errors.clear();
    f.edit->setText("99999999999999999");
    EXPECT_THROW(f.edit->Value(), ERangeError);
    f.other->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_EQ(f.errors.size(), 1);
    EXPECT_TRUE(f.errors[0].contains("99999999999999999")) << f.errors[0].toStdString();
    EXPECT_TRUE(f.edit->hasFocus());
    EXPECT_THROW(f.edit->SetText("1e20"), ERangeError);

    // Pasted text is refused aloud too, and the typed text comes back.
    f.errors.clear();
    f.edit->setText("12");
    f.edit->selectAll();
    QApplication::clipboard()->setText("1e16");
    sendKey(f.edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(f.edit->Text(), "12");
    EXPECT_EQ(f.errors.size(), 1);
}

// Typed or pasted, a number gives the same value: rounded half to even at the
// edit's decimals from all its digits, as a number read from a file for a column
// of those decimals is; leaving the edit shows it so.
TEST(NumEdit, TypedAndPastedNumbersGiveTheSameValue)
{
    Form f;
    std::mt19937 rng(4123);
    const auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); };
    for (int i = 0; i < 300; ++i) {
        QString text = pick(0, 4) == 0 ? "-" : "";
        text += QString::number(pick(0, 99999));
        if (const int decimals = pick(0, 6)) {
            text += pick(0, 1) ? "," : ".";
            for (int k = 0; k < decimals; ++k) text += QChar('0' + pick(0, 9));
        }
        const int places = pick(0, 4);
        f.edit->SetDecimalPlaces(places);
        const Currency expected = *Currency::parse(text, places);

        f.edit->setFocus();
        f.edit->selectAll();
        typeText(f.edit, text);
        EXPECT_EQ(f.edit->Value(), expected) << "typed " << text.toStdString() << " @" << places;

        f.edit->selectAll();
        QApplication::clipboard()->setText(text);
        sendKey(f.edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(f.edit->Value(), expected) << "pasted " << text.toStdString() << " @" << places;

        f.other->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        EXPECT_EQ(Currency::parse(f.edit->Text()).value_or(Currency()), expected) << text.toStdString() << " @" << places;
    }
    EXPECT_TRUE(f.errors.isEmpty());
}

TEST(Calculator, Percentages)
{
    TCalculatorPanel c;
    for (QChar k : QString("200+10%")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "220");
    c.HandleCalcKey('C');
    for (QChar k : QString("50*10%")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "5");
}

TEST(Calculator, DivisionByZeroShowsErrorUntilClear)
{
    TCalculatorPanel c;
    c.SetBeep(false);
    for (QChar k : QString("1/0=")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "Error");
    c.HandleCalcKey('5');
    EXPECT_EQ(c.DisplayText(), "Error");
    c.HandleCalcKey('C');
    EXPECT_EQ(c.DisplayText(), "0");
}

TEST(Calculator, OperatorTwiceAppliesOnce)
{
    TCalculatorPanel c;
    for (QChar k : QString("5++")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "5");
    for (QChar k : QString("3=")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "8");
    c.HandleCalcKey('C');
    for (QChar k : QString("2*-3=")) c.HandleCalcKey(k);   // the last operator wins
    EXPECT_EQ(c.DisplayText(), "-1");
}

TEST(Calculator, FunctionsAndEditing)
{
    TCalculatorPanel c;
    c.SetBeep(false);
    for (QChar k : QString("2+9Q=")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "5");
    c.HandleCalcKey('C');
    for (QChar k : QString("4R")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "0,25");
    c.HandleCalcKey('C');
    for (QChar k : QString("123")) c.HandleCalcKey(k);
    c.HandleCalcKey(QChar(8));
    EXPECT_EQ(c.DisplayText(), "12");
    c.HandleCalcKey('_');
    EXPECT_EQ(c.DisplayText(), "-12");
    c.HandleCalcKey('C');
    for (QChar k : QString("1,5")) c.HandleCalcKey(k);
    c.HandleCalcKey('.');
    EXPECT_EQ(c.DisplayText(), "1,5");
    c.HandleCalcKey('C');
    for (int i = 0; i < 17; ++i) c.HandleCalcKey('9');
    EXPECT_EQ(c.DisplayText().size(), 15);
    c.HandleCalcKey('C');
    for (QChar k : QString("0,1+0,2=")) c.HandleCalcKey(k);
    EXPECT_EQ(c.DisplayText(), "0,3");
}

TEST(CalcEdit, EqualsClosesAndTheEditTakesTheResult)
{
    Form f;
    f.open();
    ASSERT_TRUE(f.edit->PopupVisible());
    typeText(f.edit, "2*21=");
    QApplication::processEvents();
    EXPECT_FALSE(f.edit->PopupVisible());
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(42));
    EXPECT_EQ(f.edit->Text(), "42");
}

TEST(CalcEdit, EnterInTheCalculatorCloses)
{
    Form f;
    f.edit->SetValue(Currency::fromInt(100));
    f.open();
    EXPECT_EQ(f.calc()->DisplayText(), "100");
    typeText(f.edit, "+5");
    sendKey(f.edit, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::processEvents();
    EXPECT_FALSE(f.edit->PopupVisible());
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(105));
}

TEST(CalcEdit, AcceptingAnErrorKeepsTheValue)
{
    Form f;
    f.edit->SetBeepOnError(false);
    f.edit->SetValue(Currency::fromInt(7));
    f.open();
    typeText(f.edit, "1/0");
    sendKey(f.edit, Qt::Key_Return, Qt::NoModifier, "\r");   // "=": the error shows, it stays open
    EXPECT_EQ(f.calc()->DisplayText(), "Error");
    EXPECT_TRUE(f.edit->PopupVisible());
    QTest::mouseClick(f.edit->Button(), Qt::LeftButton, {}, QPoint(3, 3));   // accept
    EXPECT_FALSE(f.edit->PopupVisible());
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(7));
}

TEST(CalcEdit, AResultMoneyCannotHoldIsRefusedAloud)
{
    Form f;
    f.edit->SetBeepOnError(false);
    f.edit->SetValue(Currency::fromInt(7));
    f.open();
    typeText(f.edit, "1000000000*1000000=");
    QApplication::processEvents();
    EXPECT_FALSE(f.edit->PopupVisible());
    ASSERT_EQ(f.errors.size(), 1);
    EXPECT_TRUE(f.errors[0].contains("1E15")) << f.errors[0].toStdString();
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(7));

    // An overflow of the calculator itself is an error, not a 0.
    TCalculatorPanel c;
    c.SetBeep(false);
    c.SetShownValue(std::numeric_limits<double>::infinity());
    EXPECT_EQ(c.DisplayText(), "Error");
    EXPECT_EQ(c.State(), csError);
}

TEST(CalcEdit, ReadOnlyDoesNotOpen)
{
    Form f;
    f.edit->SetReadOnly(true);
    f.open();
    EXPECT_FALSE(f.edit->PopupVisible());
    typeText(f.edit, "5");
    EXPECT_EQ(f.edit->Text(), "");
}

TEST(CurrencyEdit, ShowsTheCurrencyWithoutFocus)
{
    TCurrencyEdit e;
    e.SetValue(money("1234.5"));
    EXPECT_EQ(e.DisplayText(), QString("1") + QChar(0xA0) + "234,50р.");
    EXPECT_EQ(e.ButtonWidth(), 0);
}

TEST(CalcEdit, AClickBetweenTheKeysDoesNotTakeTheEntry)
{
    Form f;
    f.edit->SetValue(Currency::fromInt(7));
    f.open();
    typeText(f.edit, "12+3");
    TCalculatorPanel* pad = f.calc();
    TCalcButton* seven = pad->ButtonWithTag(7);
    TCalcButton* eight = pad->ButtonWithTag(8);
    ASSERT_TRUE(seven && eight);
    const QPoint gap((seven->geometry().right() + eight->geometry().left()) / 2 + 1, seven->geometry().center().y());
    ASSERT_EQ(pad->childAt(gap), nullptr);
    QTest::mouseClick(pad, Qt::LeftButton, {}, gap);
    QApplication::processEvents();
    EXPECT_TRUE(f.edit->PopupVisible());
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(7));
    QTest::mouseClick(pad->ButtonWithTag(19), Qt::LeftButton, {}, QPoint(5, 5));   // "="
    QApplication::processEvents();
    EXPECT_FALSE(f.edit->PopupVisible());
    EXPECT_EQ(f.edit->Value(), Currency::fromInt(15));
}

// The edit shows the result at its own decimals, the value it keeps.
TEST(CalcEdit, ResultIsShownRoundedToTheDecimals)
{
    Form f;
    f.open();
    typeText(f.edit, "2/3=");
    QApplication::processEvents();
    EXPECT_EQ(f.edit->Text(), "0,67");
    EXPECT_EQ(f.edit->Value(), money("0.67"));
    f.edit->SetDecimalPlaces(3);
    f.open();
    typeText(f.edit, "1/3=");
    QApplication::processEvents();
    EXPECT_EQ(f.edit->Text(), "0,333");
}
