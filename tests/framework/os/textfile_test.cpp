#include "os/Cp1251.h"
#include "os/TsvFile.h"
#include "support/Printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fw;

namespace {
QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}
} // namespace

TEST(Cp1251, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    const QString text = fromCp1251(all);
    EXPECT_EQ(text.size(), 255);
    EXPECT_EQ(text.mid(0xC0 - 1, 2), QString("АБ"));
    EXPECT_EQ(text.at(0xB9 - 1), QChar(0x2116));   // №
    EXPECT_EQ(toCp1251(text), all);
    EXPECT_EQ(toCp1251("Ёлка №5 — «да»"), QByteArray("\xA8\xEB\xEA\xE0 \xB9" "5 \x97 \xAB\xE4\xE0\xBB"));
}

TEST(Cp1251, UnrepresentableCharacterIsNamed)
{
    try {
        toCp1251("Цена 5 ✓ и 中");
        FAIL() << "no error";
    } catch (const EncodingError& e) {
        EXPECT_EQ(e.codePoint(), char32_t(0x2713));
        EXPECT_TRUE(e.message().contains("U+2713")) << e.message().toStdString();
    }
    try {
        toCp1251(QString::fromUcs4(U"ok \U0001F600"));
        FAIL() << "no error";
    } catch (const EncodingError& e) {
        EXPECT_EQ(e.codePoint(), char32_t(0x1F600));
        EXPECT_TRUE(e.message().contains("U+1F600"));
    }
    EXPECT_TRUE(isCp1251("Привет"));
    EXPECT_FALSE(isCp1251("中"));
}

TEST(Cp1251, LoneSurrogatesAreRefusedAndNamed)
{
    const QChar high(0xD800), low(0xDC00);
    const std::pair<QString, char32_t> cases[] = {{QString("ab") + high, 0xD800}, {high + QString("ab"), 0xD800},
                                                  {QString("a") + low + "b", 0xDC00}, {QString("a") + low + high, 0xDC00}};
    for (const auto& [text, lone] : cases) {
        EXPECT_FALSE(isCp1251(text));
        try {
            toCp1251(text);
            ADD_FAILURE() << "taken: " << text.toStdU16String().size();
        } catch (const EncodingError& e) {
            EXPECT_EQ(e.codePoint(), lone);
            EXPECT_TRUE(e.message().contains(QString("U+%1").arg(uint(lone), 0, 16).toUpper()))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(toCp1251(QString("ok") + QChar(0x2116)), QByteArray("ok\xB9"));
}

class TsvFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

TEST_F(TsvFiles, WriterBytesAreCp1251TabsAndCrLf)
{
    TsvWriter w(path("t.txt"));
    w.writeValue("Компания");
    w.writeValue("Город");
    w.writeValue("");
    w.newLine();
    w.writeValue("a\r\nb");      // a line break inside a value must not split the record
    w.writeValue("x\ty");
    w.writeValue("lone\n");
    w.newLine();
    w.close();
    EXPECT_EQ(readAll(path("t.txt")),
              QByteArray("\xCA\xEE\xEC\xEF\xE0\xED\xE8\xFF\t\xC3\xEE\xF0\xEE\xE4\t\r\n"
                         "a  b\tx y\tlone \r\n"));
}

TEST_F(TsvFiles, UnrepresentableValueNamesCharacterAndLine)
{
    TsvWriter w(path("t.txt"));
    w.writeValue("ok");
    w.newLine();
    try {
        w.writeValue("цена ✓");
        FAIL() << "no error";
    } catch (const EncodingError& e) {
        EXPECT_TRUE(e.message().contains("U+2713"));
        EXPECT_TRUE(e.message().contains("строка 2")) << e.message().toStdString();
    }
}

TEST_F(TsvFiles, FullDiskIsReportedAtClose)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TsvWriter w("/dev/full");
    w.writeValue("данные");
    w.newLine();
    EXPECT_THROW(w.close(), FileError);
    EXPECT_THROW(TsvWriter{path("no/such/folder/t.txt")}, FileError);
}

TEST_F(TsvFiles, ReaderSplitsLinesLikeTheImports)
{
    QFile f(path("in.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xC3\xF0\xF3\xEF\xEF\xE0\t\xCD\xE0\xE7\xE2\xE0\xED\xE8\xE5\r\n"
            "a\t\r\n"
            "\r\n"
            "lf only\tx\n"
            "last");
    f.close();

    TsvReader r(path("in.txt"));
    QStringList v;
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v, (QStringList{"Группа", "Название"}));
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v, (QStringList{"a", ""}));
    ASSERT_TRUE(r.readLine(v));
    EXPECT_TRUE(v.isEmpty());
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v, (QStringList{"lf only", "x"}));
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v, QStringList{"last"});
    EXPECT_EQ(r.lineNumber(), 5);
    EXPECT_FALSE(r.readLine(v));

    r.rewind();
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v.first(), "Группа");
    EXPECT_EQ(r.lineNumber(), 1);
    EXPECT_THROW(TsvReader{path("missing.txt")}, FileError);
}
