#include "core/SqlText.h"
#include "support/Printers.h"

#include <gtest/gtest.h>

TEST(SqlText, UpdateStatementsOfAFieldList)
{
    EXPECT_EQ(MakeInsertSQL("T", {"A", "B"}), "insert into T\r(A, B)\rValues (:A, :B)\r");
    EXPECT_EQ(MakeModifySQL("T", {"A", "B"}), "update T set\rA = :A,\rB = :B\rwhere A = :OLD_A");
    EXPECT_EQ(MakeDeleteSQL("T", {"A", "B"}), "delete from T\rwhere A = :OLD_A");
}

TEST(SqlText, QuotesAndTabs)
{
    EXPECT_EQ(DoubleQuotes("\""), "\"\"");
    EXPECT_EQ(DoubleQuotes("ООО \"Рога\""), "ООО \"\"Рога\"\"");
    QString a = "a\tb";
    TabsToLines(a);
    EXPECT_EQ(a, "a\r\nb");
    QString b = "a\t";
    TabsToLines(b);
    EXPECT_EQ(b, "a\r\n\r\n");
    EXPECT_EQ(SplitTabLine("a\tb"), (QStringList{"a", "b"}));
    EXPECT_EQ(SplitTabLine("a\t"), (QStringList{"a", ""}));
    EXPECT_EQ(SplitTabLine("\t\t"), (QStringList{"", "", ""}));
    EXPECT_TRUE(SplitTabLine("").isEmpty());
}
