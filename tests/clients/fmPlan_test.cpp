#include "clients/ClientFixture.h"

#include "clients/fmPlan.h"
#include "controls/DateEdit.h"
#include "core/Users.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class PlanDialog : public LoggedInTest {
protected:
    fw::ScriptedDialogs dialogs;
    int idHistType = 0;

    void SetUp() override
    {
        LoggedInTest::SetUp();
        idHistType = db.selectValue("select coalesce(max(idHistType), 0) + 1 from HistType").asInt();
        db.execute("insert into HistType (idHistType, HistType) values (:id, 'Звонок')", {{"id", idHistType}});
    }
    void TearDown() override
    {
        LoggedInTest::TearDown();
    }
    static void press(QWidget* w, int key)
    {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
};

} // namespace

TEST_F(PlanDialog, FieldsRoundTripAndDateAndTimeCompose)
{
    auto form = std::make_unique<TfmPlan>();
    EXPECT_EQ(fmPlan, form.get());
    EXPECT_EQ(form->windowTitle(), "План");
    EXPECT_TRUE(dm->qryHiType.active());
    EXPECT_TRUE(dm->qryUser.active());

    form->SetDateTime(QDateTime(QDate(2003, 2, 1), QTime(9, 0)));
    EXPECT_EQ(form->deDate->Date(), QDate(2003, 2, 1));
    EXPECT_EQ(form->dtpTime->time(), QTime(9, 0));
    // The picker changes the time of day only; the date stays.
    form->dtpTime->setTime(QTime(14, 30));
    EXPECT_EQ(form->DateTime(), QDateTime(QDate(2003, 2, 1), QTime(14, 30)));
    // Seconds of the picker do not reach the row.
    EXPECT_EQ(PlanDateTime(QDate(2003, 2, 1), QTime(23, 59, 41)), QDateTime(QDate(2003, 2, 1), QTime(23, 59)));

    form->dblcHistType->setKeyValue(idHistType);
    form->dblcUser->setKeyValue(colleague.IdUser);
    form->cbBudil->setChecked(true);
    form->edNote->setText(QString(300, QChar(u'ж')));
    form->edLink->setText("/srv/docs/offer.odt");
    EXPECT_EQ(form->dblcHistType->keyValue(), fw::Value(idHistType));
    EXPECT_EQ(form->dblcHistType->text(), "Звонок");
    EXPECT_EQ(form->dblcUser->text(), "Петров");
    EXPECT_TRUE(form->cbBudil->isChecked());
    EXPECT_FALSE(form->cbPrior->isChecked());
    EXPECT_EQ(form->edNote->text().size(), 255);   // the column's width
    EXPECT_EQ(form->edLink->text(), "/srv/docs/offer.odt");

    form.reset();
    EXPECT_EQ(fmPlan, nullptr);
}

TEST_F(PlanDialog, CuratorCanBeChangedOnlyWithItsRight)
{
    {
        TfmPlan form;
        EXPECT_FALSE(form.dblcUser->isEnabled());
        EXPECT_FALSE(form.lblUser->isEnabled());
    }
    UserRights->AddPravo(me.IdUser, 1030);
    TfmPlan form;
    EXPECT_TRUE(form.dblcUser->isEnabled());
    EXPECT_TRUE(form.lblUser->isEnabled());
}

TEST_F(PlanDialog, LinkButtonTakesTheChosenFileAndCancelKeepsTheOldOne)
{
    TfmPlan form;
    form.edLink->setText("/old.txt");
    dialogs.expectOpenFile({});
    form.btnSetHistLink->click();
    EXPECT_EQ(form.edLink->text(), "/old.txt");
    dialogs.expectOpenFile({"/home/u/contract.pdf"});
    form.btnSetHistLink->click();
    EXPECT_EQ(form.edLink->text(), "/home/u/contract.pdf");
}

TEST_F(PlanDialog, EnterIsOkAndEscapeIsCancel)
{
    TfmPlan form;
    form.show();
    form.edNote->setFocus();
    press(&form, Qt::Key_Return);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());

    form.show();
    press(&form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), QDialog::Rejected);
}

// Typed over the whole time or after a click on the hours, "12:53" is 12:53; a click on
// the minutes changes only them.
TEST_F(PlanDialog, TimeIsTypedAsWritten)
{
    auto form = std::make_unique<TfmPlan>();
    form->show();
    form->activateWindow();
    QApplication::processEvents();
    auto* line = form->dtpTime->findChild<QLineEdit*>();
    ASSERT_TRUE(line);
    const int y = line->height() / 2;
    const QFontMetrics fm(line->font());
    const auto clickAt = [&](int x) {
        form->SetDateTime(QDateTime(QDate(2003, 2, 1), QTime(9, 0)));
        form->edNote->setFocus();
        QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(x, y));
        QApplication::processEvents();
    };
    clickAt(2);
    QTest::keyClicks(form->dtpTime, "12:53");
    EXPECT_EQ(form->dtpTime->time(), QTime(12, 53));

    clickAt(fm.horizontalAdvance("09:0") + 3);
    QTest::keyClicks(form->dtpTime, "30");
    EXPECT_EQ(form->dtpTime->time(), QTime(9, 30));

    clickAt(2);
    line->selectAll();
    QTest::keyClicks(form->dtpTime, "12:53");
    EXPECT_EQ(form->dtpTime->time(), QTime(12, 53));
    EXPECT_EQ(form->DateTime(), QDateTime(QDate(2003, 2, 1), QTime(12, 53)));
}

// Pixels of the maroon the priority mark is written in.
int MaroonPixels(QWidget* w)
{
    const QImage img = w->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            n += c.red() > 90 && c.red() - c.green() > 60 && c.red() - c.blue() > 60;
        }
    return n;
}

// Disabled, as the history operation shows them, the marks look disabled like every
// control: the priority keeps no maroon then, and a click changes nothing.
TEST_F(PlanDialog, DisabledPriorityLooksDisabled)
{
    auto form = std::make_unique<TfmPlan>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_GT(MaroonPixels(form->cbPrior), 0);
    QTest::mouseClick(form->cbPrior, Qt::LeftButton, {}, QPoint(8, form->cbPrior->height() / 2));
    EXPECT_TRUE(form->cbPrior->isChecked());

    form->cbPrior->setChecked(false);
    form->cbBudil->setEnabled(false);
    form->cbPrior->setEnabled(false);
    EXPECT_EQ(MaroonPixels(form->cbPrior), 0);
    QTest::mouseClick(form->cbPrior, Qt::LeftButton, {}, QPoint(8, form->cbPrior->height() / 2));
    EXPECT_FALSE(form->cbPrior->isChecked());
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) form->grab().save(QDir(dir).filePath("plan-marks-disabled.png"));
}
