#pragma once

#include "db/Database.h"
#include "support/TestDatabase.h"

#include <QString>
#include <gtest/gtest.h>

namespace testing_support {

// A new embedded database made from the schema scripts, in this test program's scratch folder.
fw::ConnectParams createSchemaDatabase(const QString& name, int format = 7);

// The format the converter starts from.
inline fw::ConnectParams createFormat6Database(const QString& name) { return createSchemaDatabase(name, 6); }

// A fresh format-7 database for each test suite, and a connection to it for each test.
// A parameterised suite instantiated with the prefix "OnServer" has its database on
// the Firebird server of BRONTAL_FB_SERVER instead, and none when no server is set.
class DatabaseTest : public ::testing::Test {
public:
    static fw::ConnectParams params() { return params_; }
    // False for a server suite in a run without a server: such a suite's fixture
    // skips its tests before any set-up (see OnServerOrNot).
    static bool hasDatabase() { return !params_.path.isEmpty(); }

protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    fw::Database db;

private:
    static fw::ConnectParams params_;
    static bool onServer_;
};

// A fixture whose tests run twice, embedded and on the server:
//   class X : public OnServerOrNot<Fixture> {};
//   INSTANTIATE_TEST_SUITE_P(Embedded, X, ::testing::Values(false));
//   INSTANTIATE_TEST_SUITE_P(OnServer, X, ::testing::Values(true));
template <class Fixture>
class OnServerOrNot : public Fixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        if (!DatabaseTest::hasDatabase()) GTEST_SKIP() << "no Firebird server for this run";
        Fixture::SetUp();
    }
    void TearDown() override
    {
        if (DatabaseTest::hasDatabase()) Fixture::TearDown();
    }
};

} // namespace testing_support
