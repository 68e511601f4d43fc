#include "db/CodePage.h"
#include "os/IniFile.h"
#include "os/TsvFile.h"
#include "support/Printers.h"
#include "support/RawFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

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
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = fromCp1251(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(text.mid(0xC0, 2), QString("АБ"));
    EXPECT_EQ(text.at(0xB9), QChar(0x2116));   // №
    EXPECT_EQ(text.at(0x98), QChar(0x98));     // the byte the code page leaves unused
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
}

TEST(Cp1251, LoneSurrogatesAreRefusedAndNamed)
{
    const QChar high(0xD800), low(0xDC00);
    const std::pair<QString, char32_t> cases[] = {{QString("ab") + high, 0xD800}, {high + QString("ab"), 0xD800},
                                                  {QString("a") + low + "b", 0xDC00}, {QString("a") + low + high, 0xDC00}};
    for (const auto& [text, lone] : cases) {
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
    try {
        w.close();
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {   // the system's own words, never "Unknown error"
        EXPECT_TRUE(e.message().contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << e.message().toStdString();
    }
    w.discard();
    EXPECT_TRUE(QFile::exists("/dev/full"));   // a device is never removed
    EXPECT_THROW(TsvWriter{path("no/such/folder/t.txt")}, FileError);
}

// A disk that fills in the middle of a file: the write is cut short first and
// fails on the next attempt; the cause is named and the partial file removed.
TEST_F(TsvFiles, WriteCutShortNamesTheCauseAndThePartialFileGoes)
{
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    {
        TsvWriter w(path("big.txt"));
        try {
            for (int i = 0; i < 20000; ++i) {
                w.writeValue("строка данных");
                w.newLine();
            }
            w.close();
        } catch (const FileError& e) {
            message = e.message();
        }
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        EXPECT_TRUE(QFile::exists(path("big.txt")));
        w.discard();
    }
    EXPECT_TRUE(message.contains(QString::fromLocal8Bit(std::strerror(EFBIG)))) << message.toStdString();
    EXPECT_FALSE(QFile::exists(path("big.txt")));
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

TEST_F(TsvFiles, ReaderTakesUtf8FilesAsUtf8AndEverythingElseAsCp1251)
{
    const auto write = [this](const QString& name, const QByteArray& bytes) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    };
    const QString text = "Компания\tГород\r\nООО «Ёлка»\tЧелябинск\r\n";
    const QStringList second{"ООО «Ёлка»", "Челябинск"};
    struct Case {
        const char* name;
        QByteArray bytes;
        TextEncoding encoding;
    };
    // A UTF-8 file whose first non-ASCII character comes only past the first read chunk.
    const QByteArray late = QByteArray(70000, 'a') + "\tЖ\r\n";
    const QList<Case> cases{
        {"cp1251.txt", toCp1251(text), TextEncoding::Cp1251},
        {"utf8.txt", text.toUtf8(), TextEncoding::Utf8},
        {"bom.txt", "\xEF\xBB\xBF" + text.toUtf8(), TextEncoding::Utf8},
        {"ascii.txt", "Company\tCity\r\nA\tB\r\n", TextEncoding::Cp1251},
        {"late.txt", late, TextEncoding::Utf8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TsvReader r(write(c.name, c.bytes));
        EXPECT_EQ(r.encoding(), c.encoding);
        QStringList v;
        ASSERT_TRUE(r.readLine(v));
        if (QByteArray(c.name) == "late.txt") {
            EXPECT_EQ(v.value(1), "Ж");
            continue;
        }
        if (QByteArray(c.name) == "ascii.txt") {
            EXPECT_EQ(v.first(), "Company");
            continue;
        }
        EXPECT_EQ(v.first(), "Компания");
        ASSERT_TRUE(r.readLine(v));
        EXPECT_EQ(v, second);
        // Reading again starts past the byte-order mark.
        r.rewind();
        ASSERT_TRUE(r.readLine(v));
        EXPECT_EQ(v.first(), "Компания");
    }

    // A 1251 text that happens to hold one valid UTF-8 pair stays 1251 when the rest is not UTF-8;
    // an overlong or surrogate form is no UTF-8 either.
    EXPECT_EQ(TsvReader(write("mixed.txt", toCp1251("Ра") + "\xD0\x9F")).encoding(), TextEncoding::Cp1251);
    EXPECT_EQ(TsvReader(write("overlong.txt", "\xC0\xAF")).encoding(), TextEncoding::Cp1251);
    EXPECT_EQ(TsvReader(write("surrogate.txt", "\xED\xA0\x80")).encoding(), TextEncoding::Cp1251);
    // A byte-order mark before text that is not UTF-8 is an error naming the line, not garbage.
    TsvReader bad(write("badbom.txt", "\xEF\xBB\xBF" "ok\r\n" + toCp1251("Ёлка") + "\r\n"));
    QStringList v;
    ASSERT_TRUE(bad.readLine(v));
    try {
        bad.readLine(v);
        FAIL() << "no error";
    } catch (const EncodingError& e) {
        EXPECT_TRUE(e.message().contains("строка 2")) << e.message().toStdString();
    }
}

using testing_support::writeBytes;

namespace {

// Every line of the file read, or the message of the error that stopped it.
QString readAllLines(const QString& fileName)
{
    try {
        TsvReader r(fileName);
        QString line;
        while (r.readLine(line)) {
        }
        return {};
    } catch (const Error& e) {
        return e.message();
    }
}
} // namespace

// What the database (code page 1251) cannot store is refused when read, with
// the line, the column (and its title) and the character.
TEST_F(TsvFiles, ReaderRefusesWhatTheDatabaseCannotStore)
{
    const QByteArray header = "Компания\tГород\r\n";
    struct Case {
        const char* name;
        QByteArray bytes;
        QStringList said;   // all in the message
    };
    const QList<Case> cases{
        {"kazakh.txt", header + "ООО Ёлка\tАстана\r\nТОО Қазына\tАлматы\r\n₽\t\r\n",
         {"строка 3", "столбец 1 (\"Компания\")", "U+049A «Қ»", "Windows-1251"}},
        {"nul.txt", toCp1251("Компания\tГород\r\nАльфа\tМос") + QByteArray("\0ква\r\n", 7),
         {"строка 2", "столбец 2", "нулевой байт", "не текстовый"}},
        {"control.txt", toCp1251("Компания\r\nА\x01льфа\r\n"), {"строка 2", "столбец 1", "U+0001"}},
        // The one byte 1251 leaves without a letter.
        {"x98.txt", toCp1251("Компания\r\nАль") + "\x98" + "\r\n", {"строка 2", "управляющий символ U+0098"}},
        {"u98.txt", QString("Компания\nАльфа\nАль%1фа\n").arg(QChar(0x98)).toUtf8(),
         {"строка 3", "столбец 1 (\"Компания\")", "управляющий символ U+0098"}},
        {"binary.bin", QByteArray::fromHex("7f454c4602010100000000000000000003003e00"), {"строка 1", "не текстовый"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString said = readAllLines(writeBytes(dir, c.name, c.bytes));
        ASSERT_FALSE(said.isEmpty());
        for (const QString& part : c.said) EXPECT_TRUE(said.contains(part)) << said.toStdString();
    }
    // TAB separates and Windows' own characters pass.
    EXPECT_EQ(readAllLines(writeBytes(dir, "fine.txt", header + "ООО «Ёлка» №5 — €\t\r\n")), "");
}

TEST_F(TsvFiles, Utf8CutInsideItsLastCharacterIsRefused)
{
    const QByteArray text = QString("Компания\r\nТОО Ёлка\r\nКазань").toUtf8();
    const QByteArray cut = text.left(text.size() - 1);
    for (const QByteArray& bytes : {"\xEF\xBB\xBF" + cut, cut}) {
        const QString fileName = writeBytes(dir, "cut.txt", bytes);
        TsvReader r(fileName);
        EXPECT_EQ(r.encoding(), TextEncoding::Utf8);
        const QString said = readAllLines(fileName);
        EXPECT_TRUE(said.contains("строка 3")) << said.toStdString();
        EXPECT_TRUE(said.contains("UTF-8")) << said.toStdString();
    }
    // A 1251 file of ASCII ending in one capital letter stays 1251.
    TsvReader r(writeBytes(dir, "capital.txt", "Name\r\nA" + toCp1251("Я")));
    EXPECT_EQ(r.encoding(), TextEncoding::Cp1251);
    QStringList v;
    r.readHeader();
    ASSERT_TRUE(r.readLine(v));
    EXPECT_EQ(v, QStringList{"AЯ"});
}

TEST_F(TsvFiles, EmptyLinesAtTheEndAreNoLines)
{
    TsvReader r(writeBytes(dir, "trailing.txt", toCp1251("Группа\tНазвание\r\nА\tБ\r\n\r\nВ\t \r\n\r\n  \r\n\n")));
    EXPECT_EQ(r.readHeader(), (QStringList{"Группа", "Название"}));
    QStringList lines;
    EXPECT_EQ(r.scanDataLines([&](const QStringList& v) { lines << v.join('|'); }), 3);
    EXPECT_EQ(lines, (QStringList{"А|Б", "", "В| "}));   // an empty line inside the file is kept
    // A file put right while it is open is read whole from its start.
    writeBytes(dir, "trailing.txt", toCp1251("Группа\tНазвание\r\nА\tБ\r\nВ\tГ\r\nД\tЕ\r\n\r\n"));
    EXPECT_EQ(r.scanDataLines({}), 3);

    for (const QByteArray& empty : {QByteArray(), QByteArray("\r\n\r\n"), QByteArray("\xEF\xBB\xBF")}) {
        TsvReader e(writeBytes(dir, "empty.txt", empty));
        try {
            e.readHeader();
            ADD_FAILURE() << "no error";
        } catch (const FileError& err) {
            EXPECT_TRUE(err.message().endsWith("\" пуст.")) << err.message().toStdString();
        }
    }
    TsvReader h(writeBytes(dir, "header.txt", toCp1251("Группа\r\n\r\n")));
    try {
        h.scanDataLines({});
        ADD_FAILURE() << "no error";
    } catch (const FileError& err) {
        EXPECT_TRUE(err.message().endsWith("нет строк для импорта.")) << err.message().toStdString();
    }
}

// Files as other programs save them, in every encoding and line-end style:
// what the reader can read comes back value for value without the empty and
// TAB-only lines at the end, and what it cannot is refused with a message that
// names the encoding or the line ends.
TEST_F(TsvFiles, GeneratedFilesReadBackOrAreRefusedByName)
{
    QRandomGenerator rng(32);
    const QStringList words = {"Рога", "копыта", "ООО \"Ромашка\"", "abc", "№5", "", "Ёж", "x y", "Ввод"};
    const QStringList ends = {"\r\n", "\n", "\r"};
    const QStringList trailers = {"", "\t", "\t\t\t", " "};
    enum { Cp1251, Utf8, Utf8Bom, Utf16Le, Utf16Be, Utf16LeBom, Encodings };
    for (int round = 0; round < 400; ++round) {
        const int columns = 1 + int(rng.bounded(4));
        QList<QStringList> rows;
        QStringList header;
        for (int c = 0; c < columns; ++c) header << QString("Поле%1").arg(c + 1);
        rows << header;
        for (int l = int(rng.bounded(6)); l > 0; --l) {
            QStringList row;
            for (int c = 0; c < columns; ++c) row << words[int(rng.bounded(words.size()))];
            rows << row;
        }
        const int encoding = int(rng.bounded(Encodings));
        const QString eol = ends[int(rng.bounded(ends.size()))];
        QString text;
        for (const QStringList& row : rows) text += row.join('\t') + eol;
        for (int t = int(rng.bounded(4)); t > 0; --t) text += trailers[int(rng.bounded(trailers.size()))] + eol;
        QByteArray bytes;
        switch (encoding) {
        case Cp1251: bytes = toCp1251(text); break;
        case Utf8: bytes = text.toUtf8(); break;
        case Utf8Bom: bytes = "\xEF\xBB\xBF" + text.toUtf8(); break;
        case Utf16Le: bytes = QStringEncoder(QStringEncoder::Utf16LE)(text); break;
        case Utf16Be: bytes = QStringEncoder(QStringEncoder::Utf16BE)(text); break;
        case Utf16LeBom: bytes = "\xFF\xFE" + QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(text)); break;
        }
        const QString name = writeBytes(dir, "gen.txt", bytes);
        const std::string context = QString("round %1: %2").arg(round).arg(QString(bytes.toHex(' '))).toStdString();
        const bool utf16 = encoding >= Utf16Le;
        const bool crOnly = eol == "\r" && text.indexOf('\r') < text.size() - 1;
        try {
            TsvReader r(name);
            QList<QStringList> read;
            QStringList values;
            while (r.readLine(values)) read << values;
            EXPECT_FALSE(utf16 || crOnly) << context;
            // A data line of empty values only is a TAB-only line: at the end it goes too.
            while (rows.size() > 1
                   && std::all_of(rows.last().begin(), rows.last().end(), [](const QString& v) { return v.isEmpty(); }))
                rows.removeLast();
            for (QStringList& row : rows)
                if (row.size() == 1 && row[0].isEmpty()) row.clear();   // an empty line has no values
            EXPECT_EQ(read, rows) << context;
        } catch (const FileError& e) {
            EXPECT_TRUE(utf16 || crOnly) << context << " " << e.message().toStdString();
            if (utf16) EXPECT_TRUE(e.message().contains("UTF-16")) << e.message().toStdString();
            else EXPECT_TRUE(e.message().contains("CR")) << e.message().toStdString();
        } catch (const EncodingError& e) {
            ADD_FAILURE() << context << " " << e.message().toStdString();
        }
    }
}

// Some editors start a UTF-8 file with a byte-order mark: the first section is still a section.
TEST(IniFile, ByteOrderMarkBeforeTheFirstSection)
{
    const IniFile withMark = IniFile::fromBytes("\xEF\xBB\xBF[Setup]\r\nServerName=srv\r\nDataBaseDir=/data/"
                                                + QString("база.gdb").toUtf8() + "\r\n");
    EXPECT_EQ(withMark.sections(), QStringList{"Setup"});
    EXPECT_EQ(withMark.readString("Setup", "ServerName", ""), "srv");
    EXPECT_EQ(withMark.readString("Setup", "DataBaseDir", ""), "/data/база.gdb");
    // Without the mark the file is 1251.
    EXPECT_EQ(IniFile::fromBytes("[Setup]\r\nDataBaseDir=/data/" + toCp1251("база.gdb")).readString("setup", "databasedir", ""),
              "/data/база.gdb");
}
