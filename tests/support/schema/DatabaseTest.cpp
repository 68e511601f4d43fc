#include "DatabaseTest.h"

#include "core/schema/Schema.h"

#include <QDir>
#include <QFile>

namespace testing_support {

fw::ConnectParams DatabaseTest::params_;

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
    params_ = createSchemaDatabase(name);
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
