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
class DatabaseTest : public ::testing::Test {
public:
    static fw::ConnectParams params() { return params_; }

protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    fw::Database db;

private:
    static fw::ConnectParams params_;
};

} // namespace testing_support
