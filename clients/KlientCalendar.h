#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QToolBar;
class QToolButton;
class TDateEdit;

namespace fw {
class DataSet;
class DBGrid;
class DBLookupCombo;
class DBNavigator;
class DBRadioGroup;
struct CellStyle;
struct GridCell;
}

// The calendar's filters as the page's controls hold them.
struct TCalendarFilter {
    QDate from;
    QDate to;                 // included: the statement runs up to the day after
    int show = 1;             // "Историю" 0, "Планы" 1, "Все" 2
    int idUser = -1;          // -1: any user
    int idHistType = -1;      // -1: any type
    QString note;             // text the note contains; empty: any
};

// The calendar statement: the visibility clause, the half-open period and the
// filters, one condition per line.
QStringList CalendarSql(const QString& recFilter, const TCalendarFilter& filter);

// Row colours of the history, plans, calendar and reminder grids: a reminder
// underlined, a priority maroon, a system row grey; strikeHistory (the
// calendar) strikes history notes out instead of underlining them.
void HistGridCellStyle(const fw::GridCell& cell, fw::CellStyle& style, bool strikeHistory = false);

// The calendar page "Календарь" of the clients window: plans and history notes
// of all visible clients for a period, over dmKl->qryCal. The window places it
// on its page tsCal and connects the hooks below.
class TKlientCalendar : public QWidget {
    Q_OBJECT
public:
    explicit TKlientCalendar(QWidget* parent = nullptr);
    ~TKlientCalendar() override;

    // The card entry of the clients window (GoToKar): client, history row,
    // contact (0: none) and the card's sub-page ("tsPlan", "tsHist").
    std::function<bool(int idCust, int idRecord, int idContacts, const QString& page)> GoToKar;
    // Edits the current row of a history or plan data set in the plan dialog;
    // true on OK (the caller posts or cancels).
    std::function<bool(fw::DataSet& ds)> EditHistRecord;

    QWidget* pnlCal;
    QGroupBox* gbCalPeriod;              // "Период"
    QLabel* lbCalFrom;                   // " с "
    TDateEdit* deCalFrom;
    QLabel* lbCalTo;                     // " по "
    TDateEdit* deCalTo;
    fw::DBRadioGroup* rgCalShow;         // "Отображать"
    QLabel* lbCalUser;                   // "Фамилия"
    fw::DBLookupCombo* dblcCalUser;
    QLabel* lbCalTypeHist;               // "Тип"
    fw::DBLookupCombo* dblcCalTypeHist;
    QLabel* lbCalNote;                   // "Заметка"
    QLineEdit* deCalNote;

    QToolBar* tbCal;
    fw::DBNavigator* dbnCal;             // post and cancel only
    QToolButton* tbCalRefresh;
    QToolButton* tbCalClear;
    QToolButton* tbCalKolvo;
    QToolButton* tbCalGotoKar;
    QToolButton* tbCalPlanComplit;
    QToolButton* tbCalPlanEdit;
    QToolButton* tbCalPlanDel;
    QToolButton* tbCalExport;

    fw::DBGrid* dbgCal;

    // The page is shown: fills the calendar the first time and after the card
    // closed it, returning to dmKl->CalendarRowId.
    void tsCalShow();
    void RefreshCalendar();
    void sbCalenRefreshClick();
    void tbCalClearClick();
    void tbCalKolvoClick();
    void SpeedButtonGoKartClick();
    void tbCalPlanComplitClick();
    void tbCalPlanEditClick();
    void tbCalPlanDelClick();
    void tbCalExportClick();

    // The filters as the controls hold them now.
    TCalendarFilter Filter() const;
    // The current user's defaults: today to today, plans, the current user.
    void SetDefaults();

protected:
    // Esc empties the user and type filters; a click on "Фамилия" takes the current user.
    bool eventFilter(QObject* watched, QEvent* e) override;
};
