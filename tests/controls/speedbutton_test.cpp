#include "ControlsTestUtil.h"
#include "controls/SpeedButton.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

TEST(ButtonGlyph, NumberOfImagesFromTheGlyphSize)
{
    TBrButtonGlyph g;
    g.SetGlyph(QPixmap(64, 16));
    EXPECT_EQ(g.NumGlyphs(), 4);
    g.SetGlyph(QPixmap(96, 16));
    EXPECT_EQ(g.NumGlyphs(), 1);
    g.SetNumGlyphs(3);
    g.SetGlyph(QPixmap(40, 16));
    EXPECT_EQ(g.NumGlyphs(), 3);
}

TEST(ButtonGlyph, StateImages)
{
    TBrButtonGlyph g;
    QPixmap two(32, 16);
    two.fill(QColor(0xFF, 0, 0xFF));
    g.SetGlyph(two);
    ASSERT_EQ(g.NumGlyphs(), 2);
    // with two images the down state uses the first one
    EXPECT_EQ(g.GetImageIndex(bdsDown), g.GetImageIndex(bdsUp));
    EXPECT_NE(g.GetImageIndex(bdsDisabled), g.GetImageIndex(bdsUp));
    TBrButtonGlyph one;
    QPixmap pm(16, 16);
    pm.fill(QColor(0xFF, 0, 0xFF));
    one.SetGlyph(pm);
    EXPECT_FALSE(one.StateImage(bdsDisabled).isNull());   // the embossed silhouette
}

TEST(ButtonGlyph, LayoutArithmetic)
{
    QPoint gp;
    QRect tr;
    // glyph left, margin and spacing centred
    TBrButtonGlyph::ArrangeGlyphAndText(QRect(0, 0, 100, 20), QSize(16, 16), QSize(40, 12), blGlyphLeft,
                                        -1, -1, false, gp, tr);
    EXPECT_EQ(gp, QPoint(14, 2));                  // (100 - 56) / 3 = 14
    EXPECT_EQ(tr.topLeft(), QPoint(44, 4));        // 14 + 16 + 14
    // glyph top with spacing 1: margin = 40 / 2 - (1 + 16 + 12) / 2 = 6
    TBrButtonGlyph::ArrangeGlyphAndText(QRect(0, 0, 60, 40), QSize(16, 16), QSize(30, 12), blGlyphTop,
                                        -1, 1, false, gp, tr);
    EXPECT_EQ(gp, QPoint(22, 6));
    EXPECT_EQ(tr.topLeft(), QPoint(15, 23));
    // the drop-down mark widens the text without glyph
    TBrButtonGlyph::ArrangeGlyphAndText(QRect(5, 5, 60, 20), QSize(0, 0), QSize(20, 12), blGlyphLeft,
                                        2, 1, true, gp, tr);
    EXPECT_EQ(tr.width(), 29);
    EXPECT_EQ(tr.left(), 5 + 2);                   // spacing dropped without glyph
    // glyph right with a fixed margin
    TBrButtonGlyph::ArrangeGlyphAndText(QRect(0, 0, 100, 20), QSize(16, 16), QSize(40, 12), blGlyphRight,
                                        4, 2, false, gp, tr);
    EXPECT_EQ(gp.x(), 80);
    EXPECT_EQ(tr.left(), 38);
}

TEST(SpeedButton, ReleaseOnTheBottomEdgeRowIsInside)
{
    TBrSpeedButton b;
    b.resize(25, 25);
    int clicks = 0;
    QObject::connect(&b, &TBrSpeedButton::clicked, [&] { ++clicks; });
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 25));
    EXPECT_EQ(clicks, 1);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 26));
    EXPECT_EQ(clicks, 1);
}

TEST(SpeedButton, GroupMembersReleaseEachOther)
{
    QWidget parent;
    TBrSpeedButton a(&parent), b(&parent);
    a.SetGroupIndex(1);
    b.SetGroupIndex(1);
    a.SetDown(true);
    EXPECT_TRUE(a.Down());
    b.SetDown(true);
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(a.Down());
    EXPECT_EQ(a.State(), bdsUp);
    // without AllowAllUp a down button stays down
    b.SetDown(false);
    EXPECT_TRUE(b.Down());
    TBrSpeedButton plain(&parent);
    plain.SetDown(true);
    EXPECT_FALSE(plain.Down());
}

TEST(SpeedButton, HoldingRepeatsAfterThePauseThenEveryInterval)
{
    TBrSpeedButton b;
    b.resize(25, 25);
    b.SetAllowTimer(true);
    int clicks = 0;
    QObject::connect(&b, &TBrSpeedButton::clicked, [&] { ++clicks; });
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::qWait(420);
    EXPECT_EQ(clicks, 0);
    QTest::qWait(340);          // ~760 ms: 500, 600, 700
    EXPECT_GE(clicks, 2);
    EXPECT_LE(clicks, 3);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
    const int held = clicks;
    QTest::qWait(250);
    EXPECT_EQ(clicks, held);    // the release click came once, then nothing
}

TEST(SpeedButton, SimulateClickClicksAtOnceAndLooksPressedBriefly)
{
    TBrSpeedButton b;
    int clicks = 0;
    QObject::connect(&b, &TBrSpeedButton::clicked, [&] { ++clicks; });
    b.SimulateClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.State(), bdsDown);
    QTest::qWait(60);
    EXPECT_EQ(b.State(), bdsUp);
    b.setEnabled(false);
    b.SimulateClick();
    EXPECT_EQ(clicks, 1);
}

TEST(SpeedButton, MenuPosition)
{
    TBrSpeedButton b;
    b.resize(40, 20);
    EXPECT_EQ(b.MenuPopupPoint(), QPoint(-1, 20));
    b.MenuAlignment = Qt::AlignRight;
    EXPECT_EQ(b.MenuPopupPoint(), QPoint(41, 20));
    b.MenuPosition = dmpRight;
    b.MenuAlignment = Qt::AlignLeft;
    EXPECT_EQ(b.MenuPopupPoint(), QPoint(40, -1));
}
