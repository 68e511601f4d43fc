#include "DatabaseTest.h"

#include "core/schema/Schema.h"

#include <QDir>
#include <QFile>

namespace testing_support {

fw::ConnectParams DatabaseTest::params_;
bool DatabaseTest::onServer_ = false;

fw::ConnectParams createSchemaDatabase(const QString& name, int format)
{
    fw::ConnectParams p;
    p.path = scratchDir() + "/" + name + ".fdb";
    p.user = "SYSDBA";
    QFile::remove(p.path);
    schema::createDatabase(p, format);
    return p;
}

void DatabaseTest::SetUpTestSuite()
{
    const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    // Parameterised suites are named "Prefix/Suite".
    const QString name = suite ? QString::fromUtf8(suite->name()).replace('/', '_') : QString("suite");
    onServer_ = name.startsWith("OnServer_");
    if (!onServer_) {
        params_ = createSchemaDatabase(name);
        return;
    }
    params_ = {};
    if (serverHost().isEmpty()) return;
    const fw::ConnectParams p = serverDatabaseParams(name);
    schema::createDatabase(p);
    params_ = p;
}

void DatabaseTest::TearDownTestSuite()
{
    // An embedded database goes with the scratch folder; the server keeps its files.
    if (!onServer_ || !hasDatabase()) return;
    try {
        fw::Database db(params_);
        db.connect();
        db.drop();
    } catch (const std::exception&) {
    }
    params_ = {};
}

void DatabaseTest::SetUp()
{
    db.setParams(params_);
    db.connect();
}

void DatabaseTest::TearDown()
{
    db.disconnect();
}

} // namespace testing_support
