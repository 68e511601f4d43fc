#pragma once

#include "clients/KlientHost.h"
#include "core/CoreFixture.h"
#include "core/Users.h"

#include <QStringList>
#include <initializer_list>

// A sales department with the logged-in user and a colleague, and, for suites
// that ask, someone of another department: the users as the modules see them.
class LoggedInTest : public CoreDatabaseTest {
protected:
    TUserRecord me, colleague, stranger;

    explicit LoggedInTest(bool withStranger = false) : withStranger_(withStranger) {}

    void SetUp() override
    {
        CoreDatabaseTest::SetUp();
        UserRights = new TUsers;
        TOtdelRecord sales{-1, "Продажи"}, other{-1, "Склад"};
        UserRights->AddOtdel(sales);
        if (withStranger_) UserRights->AddOtdel(other);
        me = {-1, sales.IdOtdel, "Иванов", "", ""};
        colleague = {-1, sales.IdOtdel, "Петров", "", ""};
        UserRights->AddUser(me);
        UserRights->AddUser(colleague);
        if (withStranger_) {
            stranger = {-1, other.IdOtdel, "Сидоров", "", ""};
            UserRights->AddUser(stranger);
        }
        CurrentUser = me;
    }
    void TearDown() override
    {
        delete UserRights;
        UserRights = nullptr;
        CurrentUser = {};
        CoreDatabaseTest::TearDown();
    }
    void Grant(std::initializer_list<int> codes)
    {
        for (int c : codes) UserRights->AddPravo(me.IdUser, c);
    }

private:
    bool withStranger_;
};

// The clients window as the pages see it: it only keeps the page captions it is given.
class CaptionHost : public TKlientHost {
public:
    QStringList listCaptions, calendarCaptions;
    void CloseDetails() override {}
    void OpenDetails() override {}
    void ApplyHistFilter() override {}
    bool LinkNewRecordsToContact() const override { return false; }
    bool ShowOnlyCurrentContact() const override { return false; }
    bool CalendarPageActive() const override { return false; }
    void SetListPageCaption(const QString& c) override { listCaptions << c; }
    void SetCalendarPageCaption(const QString& c) override { calendarCaptions << c; }
    void StartBudilCheck() override {}
    void SetCardComboAttached(const QString&, bool) override {}
};
