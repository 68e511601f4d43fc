#pragma once

#include "CoreFixture.h"

#include "core/ModuleWindows.h"
#include "core/Sprav.h"
#include "core/fmSetupList.h"

#include "db/Query.h"
#include "widgets/ScriptedDialogs.h"

#include <QComboBox>

// The reference-list window over the suite's database, shown.
class ReferenceLists : public CoreDatabaseTest {
protected:
    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        fmSetupList = new TfmSetupList;
        fmSetupList->resize(900, 500);
        fmSetupList->show();
    }
    void TearDown() override
    {
        delete fmSetupList.data();
        CoreDatabaseTest::TearDown();
    }

    TSprav* select(int n)
    {
        fmSetupList->cbSprav->setCurrentIndex(n);
        return fmSetupList->SpravMan->GetSprav(n);
    }
    int count(const QString& sql) { return db.selectValue(sql).asInt(); }

    fw::ScriptedDialogs dialogs;
};
