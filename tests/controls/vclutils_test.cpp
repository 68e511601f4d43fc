#include "controls/VclUtils.h"

#include <QCoreApplication>
#include <QFont>
#include <gtest/gtest.h>
#include "support/Printers.h"

TEST(VclUtils, ShortenTextDropsLettersFromTheRight)
{
    const QFontMetrics fm(QFont("DejaVu Sans", 10));
    const QString word = "mmmmmm";
    EXPECT_EQ(ShortenText(word, fm, fm.horizontalAdvance(word)), word);
    EXPECT_EQ(ShortenText(word, fm, fm.horizontalAdvance("mmmm...")), "mmmm...");
    EXPECT_EQ(ShortenText(word, fm, fm.horizontalAdvance("mmm...")), "mmm...");
    EXPECT_EQ(ShortenText(word, fm, 1), "...");
}

TEST(VclUtils, WordsByDelimiters)
{
    const QSet<QChar> comma{','};
    const QString s = ",a,,bc,";
    EXPECT_EQ(NthWord(2, s, comma), "bc");
    EXPECT_EQ(WordStart(2, s, comma), 5);
    EXPECT_EQ(NthWord(3, s, comma), "");
    EXPECT_EQ(WordStart(3, s, comma), 0);
    EXPECT_EQ(NthWord(1, s, comma), "a");
}

TEST(VclUtils, StringRoutines)
{
    EXPECT_EQ(ReplaceText("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
    EXPECT_EQ(TrimBlanks("  \ta b\t  "), "\ta b\t");
    EXPECT_EQ(TrimLeadingBlanks("  x "), "x ");
    EXPECT_EQ(TrimTrailingBlanks("  x "), "  x");
    EXPECT_EQ(DeleteChars("a.b.c", '.'), "abc");
    EXPECT_EQ(RepeatChar('x', 3), "xxx");
    EXPECT_EQ(RepeatChar('x', 0), "");
    EXPECT_TRUE(IsBlankText("", {' '}));
    EXPECT_TRUE(IsBlankText(" . ", {' ', '.'}));
    EXPECT_FALSE(IsBlankText(" 1 ", {' ', '.'}));
    EXPECT_EQ(LargerOf(3, 7), 7);
    EXPECT_EQ(SmallerOf(3, 7), 3);
    EXPECT_EQ(WidthOfRect(QRect(10, 10, 30, 20)), 30);
    EXPECT_EQ(HeightOfRect(QRect(10, 10, 30, 20)), 20);
    EXPECT_TRUE(GetTempDirectory().endsWith('/'));
}

TEST(VclUtils, CopyBitmapCellCutsTheCell)
{
    QPixmap src(40, 10);
    src.fill(Qt::white);
    QPixmap dest;
    CopyBitmapCell(&src, &dest, 4, 1, 2);
    EXPECT_EQ(dest.size(), QSize(10, 10));
    CopyBitmapCell(nullptr, &dest, 4, 1, 2);   // nothing happens
    EXPECT_EQ(dest.size(), QSize(10, 10));
}

TEST(VersionInfo, ProgramFileCarriesTheProjectVersion)
{
    TVersionInfo vi(QCoreApplication::applicationFilePath());
    ASSERT_TRUE(vi.Valid());
    EXPECT_EQ(vi.FileVersion(), "1.7.0.39");
    EXPECT_EQ(vi.TranslationHex(), "041904E3");
    const auto [ms, ls] = vi.VersionPair();
    EXPECT_EQ(FormatLongVersion(ms, ls), "1.7.0.39");
}

TEST(VersionInfo, OtherFileHasNoBlock)
{
    TVersionInfo vi("/bin/sh");
    EXPECT_FALSE(vi.Valid());
    EXPECT_EQ(vi.FileVersion(), "");
    EXPECT_EQ(vi.TranslationHex(), "");
    EXPECT_FALSE(vi.FixedInfo().has_value());
}

TEST(VersionInfo, BlockWithoutFileVersionGivesTheFixedNumbers)
{
    TVersionInfo::SetBlockSource([](const QString&) {
        TVersionBlock b;
        b.fixed.FileVersionMS = (2u << 16) | 5;
        b.fixed.FileVersionLS = (7u << 16) | 11;
        b.translation = std::make_pair(quint16(0x0409), quint16(1252));
        return std::optional<TVersionBlock>(b);
    });
    TVersionInfo vi("any.exe");
    TVersionInfo::SetBlockSource({});
    EXPECT_EQ(vi.FileVersion(), "2.5.7.11");
    EXPECT_EQ(vi.TranslationHex(), "040904E4");
}
