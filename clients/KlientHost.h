#pragma once

#include <QString>

// What the client data module asks of the clients window. The window
// implements it and hands itself to the module at creation; without a window
// (nullptr) the module does none of these.
class TKlientHost {
public:
    virtual ~TKlientHost() = default;

    // Detail sets of the card: closed before every move in the client list,
    // the visible ones reopened after it.
    virtual void CloseDetails() = 0;
    virtual void OpenDetails() = 0;
    // Restricts history and plans to the current contact.
    virtual void ApplyHistFilter() = 0;
    // Menu item "Связывать новые записи с текущим контактным лицом".
    virtual bool LinkNewRecordsToContact() const = 0;
    // Menu item "Показывать записи только по текущему контактному лицу".
    virtual bool ShowOnlyCurrentContact() const = 0;
    // The calendar is the window's active page.
    virtual bool CalendarPageActive() const = 0;
    // Captions of the list page ("Список") and the calendar page ("Календарь").
    virtual void SetListPageCaption(const QString& caption) = 0;
    virtual void SetCalendarPageCaption(const QString& caption) = 0;
    // The reminder timer's tick.
    virtual void StartBudilCheck() = 0;
    // Detaches (false) or attaches again (true) a card lookup combo
    // ("dblcRegion", "dblcReklama2", "dblcSegment2") from its list, so the
    // drop-down shows the list as newly filtered.
    virtual void SetCardComboAttached(const QString& comboName, bool attached) = 0;
};
