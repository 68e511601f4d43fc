#include "os/OutputFile.h"
#include "os/Shell.h"
#include "os/Spreadsheet.h"
#include "support/Printers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace fw;

namespace {
// One member of the .xlsx package, through unzip or Python's zipfile.
QString zipMember(const QString& zip, const QString& member)
{
    QProcess p;
    if (!QStandardPaths::findExecutable("unzip").isEmpty())
        p.start("unzip", {"-p", zip, member});
    else
        p.start("/usr/bin/python3", {"-c", "import sys, zipfile; sys.stdout.buffer.write("
                                           "zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))", zip, member});
    p.waitForFinished();
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

TEST(Spreadsheet, CellsReadBackFromTheWorkbook)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("table.xlsx");
    SpreadsheetWriter w(file);
    w.writeText(0, 0, "Компания");
    w.writeText(0, 1, "Сумма");
    w.writeText(0, 2, "Дата");
    w.setRowBold(0);
    w.setColumnWidth(0, 30);
    w.writeText(1, 0, "ООО \"Ромашка\" & <Co>");
    w.writeNumber(1, 1, 1234.5);
    w.writeDateTime(1, 2, QDateTime(QDate(2003, 2, 1), QTime(0, 0)));
    w.writeDateTime(2, 2, QDateTime(QDate(2003, 2, 1), QTime(14, 30)));
    w.writeDateTime(3, 2, QDateTime(QDate(1812, 9, 7), QTime(0, 0)));
    w.close();
    EXPECT_THROW(w.writeText(4, 0, "late"), Error);

    const QString sheet = zipMember(file, "xl/worksheets/sheet1.xml");
    const QString strings = zipMember(file, "xl/sharedStrings.xml");
    const QString styles = zipMember(file, "xl/styles.xml");
    ASSERT_FALSE(sheet.isEmpty()) << "the workbook cannot be read back";
    EXPECT_TRUE(strings.contains("<t>Компания</t>"));
    EXPECT_TRUE(strings.contains("<t>ООО \"Ромашка\" &amp; &lt;Co&gt;</t>")) << strings.toStdString();
    EXPECT_TRUE(strings.contains("<t>07.09.1812</t>"));
    EXPECT_TRUE(sheet.contains(R"(<c r="B2"><v>1234.5</v></c>)")) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(R"(<v>37653</v>)"));
    EXPECT_TRUE(sheet.contains(R"(<v>37653.604166666)"));
    EXPECT_TRUE(sheet.contains(R"(<col min="1" max="1" width="30.7109375" customWidth="1"/>)"));
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<row r="1"[^>]* s="\d+" customFormat="1")")));
    EXPECT_TRUE(styles.contains(R"(formatCode="dd.mm.yyyy")"));
    EXPECT_TRUE(styles.contains(R"(formatCode="dd.mm.yyyy hh:mm")"));
    EXPECT_TRUE(styles.contains("<b/>"));

    RecordingShell rec;
    EXPECT_TRUE(openDocument(file));
    ASSERT_EQ(rec.opened.size(), 1);
    EXPECT_EQ(rec.opened[0], QUrl::fromLocalFile(file));
}

TEST(Spreadsheet, FailuresAreErrors)
{
    SpreadsheetWriter w("/nonexistent/folder/t.xlsx");
    w.writeText(0, 0, "x");
    EXPECT_THROW(w.writeNumber(0, 1, std::nan("")), Error);
    EXPECT_THROW(w.writeText(0, 0, QString(40000, 'x')), Error);
    EXPECT_THROW(w.writeText(2000000, 0, "x"), Error);
    EXPECT_THROW(w.close(), Error);

    // A full disk is named in the system's words; a given-up workbook leaves nothing.
    if (QFile::exists("/dev/full")) {
        SpreadsheetWriter full("/dev/full");
        for (int r = 0; r < 2000; ++r) full.writeNumber(r, 0, r * 1.5);
        try {
            full.close();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << e.message().toStdString();
        }
        full.discard();
        EXPECT_TRUE(QFile::exists("/dev/full"));
    }
    QTemporaryDir dir;
    SpreadsheetWriter dropped(dir.filePath("t.xlsx"));
    dropped.writeText(0, 0, "x");
    dropped.discard();
    EXPECT_FALSE(QFile::exists(dir.filePath("t.xlsx")));
}

TEST(Spreadsheet, MoneyAndQuantitiesKeepTheirDecimalsWithDigitGroups)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("n.xlsx");
    SpreadsheetWriter w(file);
    w.writeNumber(0, 0, 11323.1, 2);
    w.writeNumber(0, 1, 1.5, 3);
    w.writeNumber(0, 2, 7);
    w.close();
    const QString sheet = zipMember(file, "xl/worksheets/sheet1.xml");
    const QString styles = zipMember(file, "xl/styles.xml");
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="A1" s="\d+"><v>11323.1</v>)"))) << sheet.toStdString();
    EXPECT_TRUE(sheet.contains(QRegularExpression(R"(<c r="B1" s="\d+"><v>1.5</v>)")));
    EXPECT_TRUE(sheet.contains(R"(<c r="C1"><v>7</v>)"));
    EXPECT_TRUE(styles.contains(R"(formatCode="#,##0.00")")) << styles.toStdString();
    EXPECT_TRUE(styles.contains(R"(formatCode="#,##0.000")"));
}

TEST(OutputFile, DocumentsAreNamedByTitleAndDateAndNeverOverwritten)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldDocs = qgetenv("XDG_DOCUMENTS_DIR");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_DOCUMENTS_DIR");
    const QDate day(2024, 3, 5);
    // No documents folder: the temporary one.
    EXPECT_EQ(documentFileName("Клиенты", "xlsx", day), QDir(QDir::tempPath()).filePath("Клиенты 05.03.2024.xlsx"));
    ASSERT_TRUE(QDir(home.path()).mkpath("Documents"));
    const QDir docs(home.filePath("Documents"));
    const QString first = documentFileName("Сделки: 1/2", "xlsx", day);
    EXPECT_EQ(first, docs.filePath("Сделки_ 1_2 05.03.2024.xlsx"));
    QFile f(first);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    shareWithGroup(first);
    EXPECT_TRUE(f.permissions() & QFileDevice::ReadGroup);
    EXPECT_EQ(documentFileName("Сделки: 1/2", "xlsx", day), docs.filePath("Сделки_ 1_2 05.03.2024 (2).xlsx"));
    EXPECT_TRUE(removePartialFile(first));
    EXPECT_FALSE(QFile::exists(first));
    qputenv("HOME", oldHome);
    if (!oldDocs.isEmpty()) qputenv("XDG_DOCUMENTS_DIR", oldDocs);
}
