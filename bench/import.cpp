// The client import against isql-fb: 10 000 clients with three contacts each,
// one transaction a line in both, keys from the same key providers and
// generators, each into a fresh database of its own without forced writes.
// Ours is the import window's own code: TClientImport with a progress callback
// that does what the window's does (the bar, the count, the events every 40 ms).
// Both databases must end with the same rows.
//   bench_import FOLDER   databases and files go to FOLDER; host:/folder makes
//                         them through that server (the folder the server's user can write)
//   ISQL=/path/isql-fb    the isql to compare with (default: isql-fb); GFIX likewise
#include "BenchCommon.h"

#include "core/schema/Schema.h"
#include "db/Statement.h"
#include "os/TsvFile.h"
#include "reports/ClientImport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>

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

// Writes the file as the client export writes it, and the same rows as an isql script.
bool writeInputs(const QString& file, const QString& script, QDate today)
{
    fw::TsvWriter w(file);
    for (const QString& c : kClientFile) w.writeValue(c);
    for (int k = 1; k <= kContacts; ++k)
        for (const QString& c : kContactFile) w.writeValue(QString::number(k) + c);
    w.newLine();
    QFile sql(script);
    if (!sql.open(QIODevice::WriteOnly)) return false;
    sql.write("SET SQL DIALECT 1;\nSET AUTODDL OFF;\n");
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
                          today.toString("dd.MM.yyyy"));
        }
        s += "COMMIT;\n";
        sql.write(s.toUtf8());
        w.newLine();
    }
    w.close();
    sql.close();
    return true;
}

// A fresh database without forced writes: the runs measure the programs, not the disk's flushes.
void makeDatabase(const fw::ConnectParams& p)
{
    if (fw::isEmbeddedPath(p.path)) {
        QFile::remove(p.path);
    } else {
        try {
            fw::Database old(p);
            old.connect();
            old.drop();
        } catch (const fw::Error&) {
        }
    }
    schema::createDatabase(p);
    const QString gfix = qEnvironmentVariable("GFIX", "gfix");
    if (QProcess::execute(gfix, {"-write", "async", "-user", p.user, "-password", p.password, p.path}) != 0) {
        std::fprintf(stderr, "%s -write async %s failed\n", qPrintable(gfix), qPrintable(p.path));
        std::exit(1);
    }
}

void dropDatabase(const fw::ConnectParams& p)
{
    fw::Database db(p);
    db.connect();
    db.drop();
}

// Every stored client and contact, keys included, as one digest.
QByteArray digest(fw::Database& db, int* clients, int* contacts)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    int n[2] = {0, 0};
    const char* sql[2] = {"select * from Customer order by IDCUST", "select * from Contacts order by IDCONTACTS"};
    db.withTransaction([&](fw::Transaction& tr) {
        for (int t = 0; t < 2; ++t) {
            fw::Statement s(db, sql[t]);
            s.execute(tr);
            while (s.fetch()) {
                ++n[t];
                for (int i = 0; i < s.columnCount(); ++i) {
                    const fw::Value v = s.value(i);
                    h.addData((v.isNull() ? QString("<null>") : v.asString()).toUtf8());
                    h.addData("\t");
                }
            }
        }
    });
    *clients = n[0];
    *contacts = n[1];
    return h.result().toHex();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString arg = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const bool server = !fw::isEmbeddedPath(arg);
    const QString dir = server ? arg : QFileInfo(arg).isDir() ? arg : QFileInfo(arg).absolutePath();
    const fw::ConnectParams ours = bench::params(dir + "/brontal-bench-import.fdb");
    const fw::ConnectParams theirs = bench::params(dir + "/brontal-bench-import-isql.fdb");
    const QString file = temp.filePath("brontal-bench-import.txt");
    const QString script = temp.filePath("brontal-bench-import.sql");
    // The date unlinked dates get, the same in both even when the runs pass midnight.
    const QDate today = QDate::currentDate();
    if (!writeInputs(file, script, today)) return 1;

    // Ours: the fields as the clients window's grids give them, linked by title.
    TImportFields fields, contacts;
    for (const Column& c : kClientColumns) fields << field(c, false);
    for (const Column& c : kContactColumns) contacts << field(c, true);
    AddContactFields(fields, contacts, kContacts);
    {
        fw::TsvReader reader(file);
        QStringList header;
        reader.readLine(header);
        for (TImportField& f : fields)
            if (const int i = int(header.indexOf(f.Caption)); i >= 0) {
                f.FileIndex = i;
                f.FileField = header[i];
            }
    }

    QByteArray oursDigest, theirsDigest;
    int counts[2][2] = {};
    const auto runOurs = [&] {
        makeDatabase(ours);
        fw::Database db(ours);
        db.connect();
        fw::TsvReader reader(file);
        QProgressBar pb;
        QLabel lblCount;
        pb.setMaximum(kClients);
        QElapsedTimer t, shown;
        t.start();
        shown.start();
        TClientImport import(db, fields, contacts, kContacts, 0);
        import.Today = [today] { return today; };
        const int n = import.Run(reader, [&](int count) {
            pb.setValue(std::min(count, pb.maximum()));
            lblCount.setText(QString::number(count));
            if (shown.elapsed() >= 40) {
                QApplication::processEvents();
                shown.restart();
            }
            return true;
        });
        const double ms = bench::ms(t);
        oursDigest = digest(db, &counts[0][0], &counts[0][1]);
        if (n != kClients || counts[0][0] != kClients || counts[0][1] != kClients * kContacts) {
            std::fprintf(stderr, "import wrote %d lines, %d clients and %d contacts\n", n, counts[0][0], counts[0][1]);
            std::exit(1);
        }
        db.disconnect();
        return ms;
    };
    const auto runIsql = [&] {
        makeDatabase(theirs);
        const QString isql = qEnvironmentVariable("ISQL", "isql-fb");
        QProcess proc;
        QElapsedTimer t;
        t.start();
        proc.start(isql, {"-q", "-b", "-ch", "UTF8", "-user", theirs.user, "-password", theirs.password, "-i",
                          script, theirs.path});
        if (!proc.waitForFinished(-1) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(isql), proc.readAllStandardError().constData());
            std::exit(1);
        }
        const double ms = bench::ms(t);
        fw::Database db(theirs);
        db.connect();
        theirsDigest = digest(db, &counts[1][0], &counts[1][1]);
        return ms;
    };

    try {
        const bench::Times t = bench::alternate(runOurs, {}, runIsql);
        const bool same = oursDigest == theirsDigest;
        const double oursRate = kClients / (t.ours / 1000.0);
        const double isqlRate = kClients / (t.isql / 1000.0);
        std::printf("client import, %d clients x %d contacts, a transaction a line, %s; %d runs, medians\n", kClients,
                    kContacts, qPrintable(bench::engine(ours.path)), bench::runs());
        std::printf("  ours     %8.2f s  %8.0f lines/s\n", t.ours / 1000.0, oursRate);
        std::printf("  isql-fb  %8.2f s  %8.0f lines/s (its start and attach included)\n", t.isql / 1000.0, isqlRate);
        std::printf("  rate ratio (ours / isql-fb) %.2f; stored rows %s\n", oursRate / isqlRate,
                    same ? "the same in both databases" : "DIFFER");
        bench::ratio(QString("client import, %1 lines").arg(kClients), bench::engine(ours.path), t,
                     QString("%1 against %2 lines/s; isql-fb: its start and attach included; rows %3")
                         .arg(oursRate, 0, 'f', 0)
                         .arg(isqlRate, 0, 'f', 0)
                         .arg(same ? "the same" : "DIFFER"));
        for (const fw::ConnectParams& p : {ours, theirs}) dropDatabase(p);
        return same ? 0 : 1;
    } catch (const fw::Error& e) {
        std::fprintf(stderr, "bench_import: %s\n", e.message().toUtf8().constData());
        return 1;
    }
}
