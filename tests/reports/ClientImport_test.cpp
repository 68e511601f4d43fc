// The client import's write path on its own, without the wizard: what a line
// stores must be what the client's and the contacts' inserts store, keys from
// the key providers included.
#include "reports/ClientImport.h"

#include "os/TsvFile.h"
#include "support/schema/DatabaseTest.h"

#include <QTemporaryDir>

namespace {

class ClientImportLines : public testing_support::DatabaseTest {};

TImportField textField(const char* name, bool contact, int fileIndex)
{
    TImportField f;
    f.FieldName = name;
    f.DataType = idtText;
    f.Size = 50;
    f.IsContact = contact;
    f.FileIndex = fileIndex;
    return f;
}

TEST_F(ClientImportLines, KeysComeFromTheKeyProvidersPastTakenOnesAndTheFileIsPreparedOnce)
{
    // Keys the generators would give next are taken already: the providers skip them.
    const int nextClient = db.selectValue("select gen_id(GEN_CUSTOMER, 0) from rdb$database").asInt() + 1;
    const int nextContact = db.selectValue("select gen_id(GEN_CONTACTS, 0) from rdb$database").asInt() + 1;
    db.execute("insert into Customer (idCust, Company) values (:id, 'Занят')", {{"id", nextClient}});
    db.execute("insert into Contacts (idContacts, idCust, Contact_Name) values (:id, :cust, 'Занят')",
               {{"id", nextContact}, {"cust", nextClient}});

    QTemporaryDir dir;
    const QString path = dir.filePath("keys.txt");
    {
        fw::TsvWriter out(path);
        for (const char* v : {"Компания", "1Контактное лицо", "2Контактное лицо"}) out.writeValue(v);
        out.newLine();
        for (const char* v : {"Альфа", "Орлов", "Белова", "Бета", "", "Сидоров"}) {
            out.writeValue(v);
            if (QString(v) == "Белова" || QString(v) == "Сидоров") out.newLine();
        }
        out.close();
    }
    const TImportFields contacts{textField("CONTACT_NAME", true, -1)};
    TImportFields fields{textField("COMPANY", false, 0)};
    AddContactFields(fields, contacts, 2);
    fields[0].FileIndex = 0;
    fields[1].FileIndex = 1;
    fields[2].FileIndex = 2;
    TClientImport import(db, fields, contacts, 2, 0);
    fw::TsvReader reader(path);
    const quint64 prepared = db.prepareCount();
    EXPECT_EQ(import.Run(reader), 2);
    EXPECT_EQ(db.prepareCount() - prepared, 1u);

    auto key = [&](const QString& sql) { return db.selectValue(sql).asInt(); };
    const int alpha = key("select idCust from Customer where Company = 'Альфа'");
    const int beta = key("select idCust from Customer where Company = 'Бета'");
    EXPECT_EQ(alpha, nextClient + 1);
    EXPECT_EQ(beta, nextClient + 2);
    EXPECT_EQ(key("select idContacts from Contacts where Contact_Name = 'Орлов'"), nextContact + 1);
    EXPECT_EQ(key("select idContacts from Contacts where Contact_Name = 'Белова'"), nextContact + 2);
    EXPECT_EQ(key("select idContacts from Contacts where Contact_Name = 'Сидоров'"), nextContact + 3);
    EXPECT_EQ(key("select count(*) from Contacts where idCust = " + QString::number(alpha)), 2);
    EXPECT_EQ(key("select count(*) from Contacts where idCust = " + QString::number(beta)), 1);
    // The empty first block of the second line is skipped, not written empty.
    EXPECT_EQ(key("select count(*) from Contacts where Contact_Name = '' or Contact_Name is null"), 0);
}

} // namespace
