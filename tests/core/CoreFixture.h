#pragma once

#include "core/dm.h"
#include "core/dmUsers.h"
#include "support/schema/DatabaseTest.h"

// A fresh database per suite; dm connected to it and the users data module
// for each test, as the program has them after the login's connect.
class CoreDatabaseTest : public testing_support::DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        dm = new Tdm;
        dm->db.beforeConnect = nullptr;   // no BR.INI: the test's database
        dm->db.setParams(params());
        dm->db.connect();
        dmUsers = new TdmUsers;
    }
    void TearDown() override
    {
        delete dmUsers;
        delete dm;
        DatabaseTest::TearDown();
    }
};
