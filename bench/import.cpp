// The client import against isql-fb: 10 000 clients with three contacts each,
// one transaction a line in both, keys from the same generators, each into a
// fresh database of its own without forced writes.
//   bench_import [FOLDER]   databases and files go to FOLDER (default: a temporary folder)
//   ISQL=/path/isql-fb      the isql to compare with (default: isql-fb); GFIX likewise
#include "core/schema/Schema.h"
#include "db/Database.h"
#include "os/TsvFile.h"
#include "reports/ClientImport.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kClients = 10000;
constexpr int kContacts = 3;

struct Column {
    const char* field;
    const char* caption;
    quint8 type;
    int size;
    bool lookup = false;
};

const Column kClientColumns[] = {
    {"DATECR", "Регистрация", idtDateTime, 0},  {"COMPANY", "Компания", idtText, 100},
    {"FAX", "Факс", idtText, 50},                {"ADDRESS", "Адрес", idtText, 150},
    {"CITY", "Город", idtText, 50},              {"idUser", "Куратор компании", idtInteger, 0, true},
    {"idCountry", "Страна", idtInteger, 0, true}, {"idRegion", "Регион", idtInteger, 0, true},
    {"idReklama", "Источник", idtInteger, 0, true}, {"idReklama2", "Источник2", idtInteger, 0, true},
    {"idSegment", "Сегмент", idtInteger, 0, true}, {"idSegment2", "Сегмент2", idtInteger, 0, true},
    {"idPersp", "Перспективность", idtInteger, 0, true}, {"OTHER", "О компании", idtText, 200},
};
const Column kContactColumns[] = {
    {"CONTACT_NAME", "Контактное лицо", idtText, 50}, {"CONTACT_TITLE", "Должность", idtText, 50},
    {"CONTACT_DEP", "Отдел", idtText, 50},            {"CONTACT_PHONE", "Телефон", idtText, 50},
    {"CONTACT_EMAIL", "Email", idtText, 50},          {"idUser", "Куратор контактного лица", idtInteger, 0, true},
    {"DATECR", "Дата регистрации", idtDateTime, 0},   {"CONTACT_NOTE", "Комментарий", idtText, 255},
};

// The columns of the file: those a client export typically carries.
const QStringList kClientFile{"Регистрация", "Компания", "Факс", "Адрес", "Город", "О компании"};
const QStringList kContactFile{"Контактное лицо", "Должность", "Телефон", "Email"};

TImportField field(const Column& c, bool contact)
{
    TImportField f;
    f.FieldName = c.field;
    f.DataType = c.type;
    f.Size = c.size;
    f.Caption = c.caption;
    f.IsLookup = c.lookup;
    f.IsContact = contact;
    return f;
}

QString value(const QString& caption, int line, int block)
{
    const QString n = QString::number(line);
    if (caption == "Регистрация") return QDate(2024, 1, 1).addDays(line % 365).toString("dd.MM.yyyy");
    if (caption == "Компания") return "ООО \"Ромашка " + n + "\"";
    if (caption == "Факс") return "+7 495 " + n;
    if (caption == "Адрес") return "ул. Ленина, д. " + n;
    if (caption == "Город") return "Москва";
    if (caption == "О компании") return "Клиент из импорта номер " + n;
    const QString k = QString::number(block);
    if (caption == "Контактное лицо") return "Иванов Иван " + k + "-" + n;
    if (caption == "Должность") return "Менеджер";
    if (caption == "Телефон") return "8 800 " + k + n;
    return "ivanov" + k + "." + n + "@firm.ru";
}

QString sqlText(const QString& s)
{
    return "'" + QString(s).replace("'", "''") + "'";
}

double seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString dir = argc > 1 ? QFileInfo(argv[1]).isDir() ? QString(argv[1]) : QFileInfo(argv[1]).absolutePath()
                                 : temp.path();
    const QString ours = dir + "/brontal-bench-import.fdb";
    const QString theirs = dir + "/brontal-bench-import-isql.fdb";
    const QString file = dir + "/brontal-bench-import.txt";
    const QString script = dir + "/brontal-bench-import.sql";
    for (const QString& f : {ours, theirs}) QFile::remove(f);

    // The file, written as the client export writes it, and the same rows as an isql script.
    {
        fw::TsvWriter w(file);
        for (const QString& c : kClientFile) w.writeValue(c);
        for (int k = 1; k <= kContacts; ++k)
            for (const QString& c : kContactFile) w.writeValue(QString::number(k) + c);
        w.newLine();
        QFile sql(script);
        if (!sql.open(QIODevice::WriteOnly)) return 1;
        sql.write("SET NAMES UTF8;\nSET SQL DIALECT 1;\nSET AUTODDL OFF;\n");
        const QString today = QDate::currentDate().toString("dd.MM.yyyy");
        for (int line = 1; line <= kClients; ++line) {
            QStringList client;
            for (const QString& c : kClientFile) {
                client << value(c, line, 0);
                w.writeValue(client.last());
            }
            QString s = QString("INSERT INTO CUSTOMER (IDCUST, DATECR, COMPANY, FAX, ADDRESS, CITY, IDUSER, "
                                "IDCOUNTRY, IDREGION, IDREKLAMA, IDREKLAMA2, IDSEGMENT, IDSEGMENT2, IDPERSP, OTHER) "
                                "VALUES (GEN_ID(GEN_CUSTOMER, 1), '%1', %2, %3, %4, %5, 0, 0, 0, 0, 0, 0, 0, 0, %6);\n")
                            .arg(client[0], sqlText(client[1]), sqlText(client[2]), sqlText(client[3]),
                                 sqlText(client[4]), sqlText(client[5]));
            for (int k = 1; k <= kContacts; ++k) {
                QStringList contact;
                for (const QString& c : kContactFile) {
                    contact << value(c, line, k);
                    w.writeValue(contact.last());
                }
                s += QString("INSERT INTO CONTACTS (IDCONTACTS, IDCUST, CONTACT_NAME, CONTACT_TITLE, CONTACT_DEP, "
                             "CONTACT_PHONE, CONTACT_EMAIL, IDUSER, DATECR, CONTACT_NOTE) "
                             "VALUES (GEN_ID(GEN_CONTACTS, 1), GEN_ID(GEN_CUSTOMER, 0), %1, %2, '', %3, %4, 0, '%5', '');\n")
                         .arg(sqlText(contact[0]), sqlText(contact[1]), sqlText(contact[2]), sqlText(contact[3]),
                              today);
            }
            s += "COMMIT;\n";
            sql.write(s.toUtf8());
            w.newLine();
        }
        w.close();
        sql.close();
    }

    const fw::ConnectParams p{ours, "SYSDBA", "", "UTF8"};
    schema::createDatabase(p);
    schema::createDatabase(fw::ConnectParams{theirs, "SYSDBA", "", "UTF8"});
    // Both without forced writes: the run measures the programs, not the disk's flushes.
    const QString gfix = qEnvironmentVariable("GFIX", "gfix");
    for (const QString& f : {ours, theirs})
        if (QProcess::execute(gfix, {"-write", "async", "-user", "SYSDBA", f}) != 0) {
            std::fprintf(stderr, "%s -write async %s failed\n", qPrintable(gfix), qPrintable(f));
            return 1;
        }

    // Ours: the fields as the clients window's grids give them, linked by title.
    TImportFields fields, contacts;
    for (const Column& c : kClientColumns) fields << field(c, false);
    for (const Column& c : kContactColumns) contacts << field(c, true);
    AddContactFields(fields, contacts, kContacts);
    fw::TsvReader reader(file);
    QStringList header;
    reader.readLine(header);
    for (TImportField& f : fields)
        if (const int i = int(header.indexOf(f.Caption)); i >= 0) {
            f.FileIndex = i;
            f.FileField = header[i];
        }

    double oursSeconds = 0;
    {
        fw::Database db(p);
        db.connect();
        TClientImport import(db, fields, contacts, kContacts, 0);
        QElapsedTimer t;
        t.start();
        const int n = import.Run(reader);
        oursSeconds = seconds(t);
        const int stored = db.selectValue("select count(*) from Contacts").asInt();
        if (n != kClients || stored != kClients * kContacts) {
            std::fprintf(stderr, "import wrote %d clients and %d contacts\n", n, stored);
            return 1;
        }
        db.disconnect();
    }

    const QString isql = qEnvironmentVariable("ISQL", "isql-fb");
    QProcess proc;
    QElapsedTimer t;
    t.start();
    proc.start(isql, {"-q", "-b", "-user", "SYSDBA", "-i", script, theirs});
    if (!proc.waitForFinished(-1) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(isql), proc.readAllStandardError().constData());
        return 1;
    }
    const double isqlSeconds = seconds(t);

    const double oursRate = kClients / oursSeconds;
    const double isqlRate = kClients / isqlSeconds;
    std::printf("client import, %d clients x %d contacts, a transaction a line\n", kClients, kContacts);
    std::printf("  ours     %8.2f s  %8.0f lines/s\n", oursSeconds, oursRate);
    std::printf("  isql-fb  %8.2f s  %8.0f lines/s\n", isqlSeconds, isqlRate);
    std::printf("  rate ratio (ours / isql-fb) %.2f\n", oursRate / isqlRate);
    std::printf("RATIO|client import, %d lines|%.2f s|%.2f s|%.2f|%.0f against %.0f lines/s\n", kClients,
                oursSeconds, isqlSeconds, oursSeconds / isqlSeconds, oursRate, isqlRate);
    for (const QString& f : {ours, theirs, file, script}) QFile::remove(f);
    return 0;
}
