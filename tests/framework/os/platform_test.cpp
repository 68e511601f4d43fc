#include "os/Library.h"
#include "os/Shell.h"
#include "os/UserSettings.h"
#include "os/Version.h"
#include "support/FakeOpener.h"
#include "support/Printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fw;

TEST(Shell, MailtoIsPercentEncoded)
{
    const QUrl u = mailtoUrl("Иван Петров <ivan@firm.ru>", "Разработчикам Brontal & co",
                             "Программа: 1+1=2\r\nОС: x?");
    EXPECT_EQ(u.toEncoded(),
              "mailto:%D0%98%D0%B2%D0%B0%D0%BD%20%D0%9F%D0%B5%D1%82%D1%80%D0%BE%D0%B2%20%3Civan@firm.ru%3E"
              "?subject=%D0%A0%D0%B0%D0%B7%D1%80%D0%B0%D0%B1%D0%BE%D1%82%D1%87%D0%B8%D0%BA%D0%B0%D0%BC"
              "%20Brontal%20%26%20co"
              "&body=%D0%9F%D1%80%D0%BE%D0%B3%D1%80%D0%B0%D0%BC%D0%BC%D0%B0%3A%201%2B1%3D2%0D%0A"
              "%D0%9E%D0%A1%3A%20x%3F");
    EXPECT_EQ(mailtoUrl("a@b.ru").toEncoded(), "mailto:a@b.ru");
    EXPECT_EQ(telUrl("+7(095)123 45-67").toEncoded(), "tel:+7(095)123%2045-67");

    // Messages name the address as it was written, not encoded.
    EXPECT_EQ(urlDisplayText(u), "Иван Петров <ivan@firm.ru>");
    EXPECT_EQ(urlDisplayText(mailtoUrl("\"Орлов\"<o%20@firm.ru>")), "\"Орлов\"<o%20@firm.ru>");
}

TEST(Shell, LinksFilesAndHelpGoThroughTheInstalledShell)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("договор.doc");
    QFile(file).open(QIODevice::WriteOnly);

    RecordingShell rec;
    EXPECT_TRUE(openLink("www.firm.ru"));
    EXPECT_TRUE(openLink(file));
    EXPECT_TRUE(dial("84951234567"));
    EXPECT_TRUE(openHelp());
    rec.openResult = false;
    EXPECT_FALSE(openLink("http://firm.ru/a b"));
    shell().setClipboardText("a@b.ru;c@d.ru");

    ASSERT_EQ(rec.opened.size(), 5);
    EXPECT_EQ(rec.opened[0], QUrl("http://www.firm.ru"));
    EXPECT_EQ(rec.opened[1], QUrl::fromLocalFile(file));
    EXPECT_EQ(rec.opened[2].toString(), "tel:84951234567");
    EXPECT_TRUE(rec.opened[3].isLocalFile());
    EXPECT_TRUE(rec.opened[3].toLocalFile().endsWith("/br.html"));
    EXPECT_EQ(rec.opened[4].toEncoded(), "http://firm.ru/a%20b");
    EXPECT_EQ(rec.clipboard, "a@b.ru;c@d.ru");
}

class DesktopOpener : public ::testing::Test {
protected:
    // Opens url and returns how often the user would have been told.
    int failuresOpening(const QUrl& url)
    {
        opener.forget();
        int failures = 0;
        EXPECT_TRUE(shell.openUrl(url, [&failures] { ++failures; }));
        EXPECT_EQ(failures, 0) << "told before the opener answered";
        EXPECT_TRUE(opener.waitForAnswer([&] { return failures > 0; }));
        return failures;
    }

    testing_support::FakeOpener opener;
    DesktopShell shell;
};

TEST_F(DesktopOpener, TheUserIsToldWheneverTheOpenerFindsNothing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("справка по программе.html");
    QFile(file).open(QIODevice::WriteOnly);

    EXPECT_EQ(failuresOpening(QUrl::fromLocalFile(file)), 0);
    EXPECT_EQ(opener.args(), file);   // a local file goes as its path
    opener.setExitStatus(3);
    EXPECT_EQ(failuresOpening(mailtoUrl("a@b.ru", "Тема")), 1);
    EXPECT_EQ(opener.args(), "mailto:a@b.ru?subject=%D0%A2%D0%B5%D0%BC%D0%B0");
    opener.setExitStatus(4);
    EXPECT_EQ(failuresOpening(QUrl("http://firm.ru/")), 1);
    opener.remove();
    EXPECT_EQ(failuresOpening(QUrl("http://firm.ru/")), 1);

    int failures = 0;
    EXPECT_FALSE(shell.openUrl(QUrl(), [&failures] { ++failures; }));
    EXPECT_EQ(failures, 1);
}

// The end of an export waits for the opener's answer, to say in one message whether a program took the file.
TEST_F(DesktopOpener, WaitingForTheAnswerTellsWhetherAProgramTookTheFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("Клиенты.xlsx");
    QFile(file).open(QIODevice::WriteOnly);
    int late = 0;
    EXPECT_TRUE(shell.openUrlAndWait(QUrl::fromLocalFile(file), 5000, [&late] { ++late; }));
    EXPECT_EQ(opener.args(), file);
    opener.setExitStatus(3);
    EXPECT_FALSE(shell.openUrlAndWait(QUrl::fromLocalFile(file), 5000, [&late] { ++late; }));
    opener.remove();
    EXPECT_FALSE(shell.openUrlAndWait(QUrl::fromLocalFile(file), 5000, [&late] { ++late; }));
    EXPECT_FALSE(shell.openUrlAndWait(QUrl(), 5000));
    QTest::qWait(100);
    EXPECT_EQ(late, 0);   // an answer in time is no late one
}

TEST(UserSettings, MissingValueReadsDefaultAndWritesPersist)
{
    QTemporaryDir dir;
    UserSettingsScope scope(dir.filePath("Brontal.conf"));
    EXPECT_EQ(readUserInt("1/LoginUserId", -1), -1);
    writeUserInt("1/LoginUserId", 17);
    EXPECT_EQ(readUserInt("1/LoginUserId", -1), 17);
    EXPECT_TRUE(QFile::exists(dir.filePath("Brontal.conf")));
    {
        UserSettingsScope unwritable("/proc/brontal-none/Brontal.conf");
        EXPECT_THROW(writeUserInt("1/LoginUserId", 3), Error);
    }
    EXPECT_EQ(readUserInt("1/LoginUserId", -1), 17);
}

TEST(Version, ProgramAndSystem)
{
    EXPECT_EQ(appVersion(), "1.7.0.39");
    EXPECT_FALSE(osVersionText().isEmpty());
}

TEST(Library, EntryPointsByName)
{
    Library lib("libm.so.6");
    using Cos = double (*)(double);
    EXPECT_DOUBLE_EQ(lib.resolve<Cos>("cos")(0.0), 1.0);
    try {
        lib.address("AddDoc");
        FAIL() << "no error";
    } catch (const LibraryError& e) {
        EXPECT_TRUE(e.message().contains("AddDoc"));
    }
    EXPECT_THROW(Library("/nonexistent/libBRplus1C.so"), LibraryError);
}
