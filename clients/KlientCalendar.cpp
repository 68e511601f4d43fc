#include "clients/KlientCalendar.h"

#include "clients/KlientHost.h"
#include "clients/dmKl.h"
#include "clients/fmPlan.h"
#include "controls/DateEdit.h"
#include "controls/FormatSettings.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/SqlText.h"
#include "core/Users.h"
#include "core/dm.h"
#include "reports/Export.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString SqlDate(const QDate& d)
{
    return "\"" + FormatDateVcl(FormatSettings().ShortDateFormat, d) + "\"";
}

// The period's dates are picked, never typed, and start on today.
TDateEdit* PeriodDate(QWidget* parent, const char* name)
{
    TDateEdit* d = DateEdit(parent, name);
    d->SetDirectInput(false);
    d->SetDefaultToday(true);
    return d;
}

// -1 for an emptied combo and for the lists' empty entry alike: no condition.
int KeyOf(const fw::DBLookupCombo* combo)
{
    const fw::Value v = combo->keyValue();
    return v.isNull() ? -1 : v.asInt();
}

} // namespace

QStringList CalendarSql(const QString& recFilter, const TCalendarFilter& f)
{
    QStringList sql{"select h.*, (select Company from Customer where idCust=h.idCust) as Company", "from history h",
                    "where", recFilter};
    // Dates carry a time of day: the end day is included up to its midnight.
    sql << "and DateCr>=" + SqlDate(f.from);
    sql << "and DateCr<" + SqlDate(f.to.addDays(1));
    if (f.show == 0) sql << "and History=\"+\"";
    else if (f.show == 1) sql << "and History=\"-\"";
    if (f.idUser >= 0) sql << "and idUser=" + QString::number(f.idUser);
    if (f.idHistType >= 0) sql << "and idHistType=" + QString::number(f.idHistType);
    if (!f.note.isEmpty()) sql << "and Note containing \"" + DoubleQuotes(f.note) + "\"";
    sql << "order by Prior, DateCr";
    return sql;
}

void HistGridCellStyle(const fw::GridCell& cell, fw::CellStyle& style, bool strikeHistory)
{
    if (cell.focused) return;
    if (strikeHistory && cell.value("History").asString() == "+") style.font.setStrikeOut(true);
    else if (cell.value("Budil").asString() == "+") style.font.setUnderline(true);
    if (cell.value("Prior").asString() == "+") style.text = QColor(128, 0, 0);
    if (cell.value("Access").asString() == "-")
        style.text = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
}

TKlientCalendar::TKlientCalendar(QWidget* parent) : QWidget(parent)
{
    setObjectName("KlientCalendar");
    fw::DataSource* dsCal = dmKl ? &dmKl->dsCal : nullptr;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    pnlCal = new QWidget(this);
    pnlCal->setObjectName("pnlCal");
    auto* top = new QHBoxLayout(pnlCal);
    top->setContentsMargins(4, 2, 4, 2);

    gbCalPeriod = new QGroupBox("Период", pnlCal);
    gbCalPeriod->setObjectName("gbCalPeriod");
    auto* period = new QGridLayout(gbCalPeriod);
    lbCalFrom = Caption(gbCalPeriod, " с ", "lbCalFrom");
    deCalFrom = PeriodDate(gbCalPeriod, "deCalFrom");
    lbCalTo = Caption(gbCalPeriod, " по ", "lbCalTo");
    deCalTo = PeriodDate(gbCalPeriod, "deCalTo");
    period->addWidget(lbCalFrom, 0, 0);
    period->addWidget(deCalFrom, 0, 1);
    period->addWidget(lbCalTo, 1, 0);
    period->addWidget(deCalTo, 1, 1);
    top->addWidget(gbCalPeriod);

    rgCalShow = new fw::DBRadioGroup("Отображать", pnlCal);
    rgCalShow->setObjectName("rgCalShow");
    rgCalShow->setItems({"Историю", "Планы", "Все"});
    rgCalShow->setItemIndex(1);
    top->addWidget(rgCalShow);

    auto* filters = new QGridLayout;
    lbCalUser = Caption(pnlCal, "Фамилия", "lbCalUser");
    // Their lists begin with an empty entry: picking it lists every user's rows, or every type.
    dblcCalUser = Lookup(pnlCal, "dblcCalUser", dmKl ? &dmKl->dsCalUser : nullptr, "IDUSER", "NAME", 150);
    lbCalTypeHist = Caption(pnlCal, "Тип", "lbCalTypeHist");
    dblcCalTypeHist =
        Lookup(pnlCal, "dblcCalTypeHist", dmKl ? &dmKl->dsCalHiType : nullptr, "IDHISTTYPE", "HISTTYPE", 150);
    lbCalNote = Caption(pnlCal, "Заметка", "lbCalNote");
    deCalNote = new QLineEdit(pnlCal);
    deCalNote->setObjectName("deCalNote");
    filters->addWidget(lbCalUser, 0, 0);
    filters->addWidget(dblcCalUser, 0, 1);
    filters->addWidget(lbCalTypeHist, 1, 0);
    filters->addWidget(dblcCalTypeHist, 1, 1);
    filters->addWidget(lbCalNote, 2, 0);
    filters->addWidget(deCalNote, 2, 1);
    filters->setColumnMinimumWidth(1, 220);
    top->addLayout(filters);
    top->addStretch(1);
    layout->addWidget(pnlCal);

    tbCal = ToolBar(this, "tbCal");
    dbnCal = Navigator(tbCal, "dbnCal", dsCal, fw::DBNavigator::Button::Post | fw::DBNavigator::Button::Cancel);
    // Here the navigator keeps the room after its buttons that the page has always shown.
    dbnCal->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    tbCal->addWidget(dbnCal);
    tbCal->addSeparator();
    tbCalRefresh = AddToolButton(tbCal, "tbCalRefresh", "Обновить", 5);
    tbCalClear = AddToolButton(tbCal, "tbCalClear", "Очистить", 4);
    tbCalClear->setToolTip("Очистить\r\n(Восстановить по умолчанию)");
    tbCalKolvo = AddToolButton(tbCal, "tbCalKolvo", "Количество", 17);
    tbCal->addSeparator();
    tbCalGotoKar = AddToolButton(tbCal, "tbCalGotoKar", "На карточку", 9);
    tbCalPlanComplit = AddToolButton(tbCal, "tbCalPlanComplit", "Выполнено", 18);
    tbCalPlanEdit = AddToolButton(tbCal, "tbCalPlanEdit", "Редактировать", 1);
    tbCalPlanDel = AddToolButton(tbCal, "tbCalPlanDel", "Удалить", 2);
    tbCal->addSeparator();
    tbCalExport = AddToolButton(tbCal, "tbCalExport", "Экспорт", 3);
    layout->addWidget(tbCal);

    dbgCal = Grid(this, "dbgCal", dsCal,
                  {{"DATECR", "Дата", 120}, {"HistType", "Тип", 110}, {"NOTE", "Заметка", 320},
                   ReadOnlyColumn("COMPANY", "Компания", 200), ReadOnlyColumn("User", "Фамилия", 120),
                   {"FILEPATH", "Ссылка", 160}});
    // The calendar edits existing rows only: no insert from the grid.
    dbgCal->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator, fw::DBGrid::Option::Tabs,
                        fw::DBGrid::Option::CancelOnExit, fw::DBGrid::Option::ConfirmDelete});
    dbgCal->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) { HistGridCellStyle(cell, style, true); });
    layout->addWidget(dbgCal, 1);

    connect(tbCalRefresh, &QToolButton::clicked, this, fw::guarded([this] { sbCalenRefreshClick(); }));
    connect(tbCalClear, &QToolButton::clicked, this, fw::guarded([this] { tbCalClearClick(); }));
    connect(tbCalKolvo, &QToolButton::clicked, this, fw::guarded([this] { tbCalKolvoClick(); }));
    connect(tbCalGotoKar, &QToolButton::clicked, this, fw::guarded([this] { SpeedButtonGoKartClick(); }));
    connect(tbCalPlanComplit, &QToolButton::clicked, this, fw::guarded([this] { tbCalPlanComplitClick(); }));
    connect(tbCalPlanEdit, &QToolButton::clicked, this, fw::guarded([this] { tbCalPlanEditClick(); }));
    connect(tbCalPlanDel, &QToolButton::clicked, this, fw::guarded([this] { tbCalPlanDelClick(); }));
    connect(tbCalExport, &QToolButton::clicked, this, fw::guarded([this] { tbCalExportClick(); }));

    lbCalUser->setBuddy(dblcCalUser);
    for (QWidget* w : std::initializer_list<QWidget*>{dblcCalUser, dblcCalTypeHist, lbCalUser})
        w->installEventFilter(this);

    tbCalExport->setEnabled(UserRights && UserRights->IsGranted(CurrentUser.IdUser, 1054));
    if (dm && dm->db.connected()) SetDefaults();
}

TKlientCalendar::~TKlientCalendar() = default;

TCalendarFilter TKlientCalendar::Filter() const
{
    TCalendarFilter f;
    f.from = deCalFrom->Date();
    f.to = deCalTo->Date();
    f.show = rgCalShow->itemIndex() < 0 ? 2 : rgCalShow->itemIndex();
    f.idUser = KeyOf(dblcCalUser);
    f.idHistType = KeyOf(dblcCalTypeHist);
    f.note = deCalNote->text();
    return f;
}

void TKlientCalendar::SetDefaults()
{
    const QDate today = GetServerDate().date();
    deCalFrom->SetDate(today);
    deCalTo->SetDate(today);
    dblcCalUser->setKeyValue(CurrentUser.IdUser);
    dblcCalTypeHist->setKeyValue(fw::Value());
    deCalNote->clear();
    rgCalShow->setItemIndex(1);
}

bool TKlientCalendar::eventFilter(QObject* watched, QEvent* e)
{
    return FilterPanelEvent(watched, e) || QWidget::eventFilter(watched, e);
}

void TKlientCalendar::tsCalShow()
{
    if (!dmKl || !dm) return;
    dm->qryUser.open();
    dm->qryHiType.open();
    dmKl->qryCalUser.open();
    dmKl->qryCalHiType.open();
    if (dmKl->qryCal.active() || dmKl->CalendarRowId == -1) return;
    RefreshCalendar();
    dmKl->qryCal.locate("idHist", dmKl->CalendarRowId);
    dmKl->CalendarRowId = -1;
}

void TKlientCalendar::RefreshCalendar()
{
    if (!dmKl) return;
    fw::Query& q = dmKl->qryCal;
    q.close();
    q.setSql(CalendarSql(GetRecFilter(), Filter()));
    q.open();
}

void TKlientCalendar::sbCalenRefreshClick()
{
    RefreshCalendar();
}

void TKlientCalendar::tbCalClearClick()
{
    SetDefaults();
}

void TKlientCalendar::tbCalKolvoClick()
{
    if (!dmKl || !dmKl->qryCal.active() || !dmKl->host()) return;
    dmKl->host()->SetCalendarPageCaption(QString("Календарь (%1)").arg(dmKl->qryCal.recordCount()));
}

void TKlientCalendar::SpeedButtonGoKartClick()
{
    if (!dmKl || !GoToKar) return;
    fw::Query& q = dmKl->qryCal;
    if (!q.active() || q.isEmpty()) return;
    const fw::Value contact = q.fieldByName("idContacts").value();
    GoToKar(q.fieldByName("idCust").asInteger(), q.fieldByName("idHist").asInteger(),
            contact.isNull() ? 0 : contact.asInt(), q.fieldByName("History").asString() == "-" ? "tsPlan" : "tsHist");
}

void TKlientCalendar::tbCalPlanComplitClick()
{
    if (!dmKl || !EditHistRecord) return;
    fw::Query& q = dmKl->qryCal;
    if (!q.active() || q.isEmpty()) return;
    q.edit();
    try {
        q.fieldByName("DateCr").setValue(GetServerDate());
        q.fieldByName("History").setAsString("+");
        q.fieldByName("Budil").setAsString("-");
        q.fieldByName("Prior").setAsString("-");
    } catch (...) {
        q.cancel();
        throw;
    }
    if (!EditUntilPosted(q, [&] { return EditHistRecord(q); })) return;
    dmKl->qryHist.close();
}

void TKlientCalendar::tbCalPlanEditClick()
{
    if (!dmKl || !EditHistRecord) return;
    fw::Query& q = dmKl->qryCal;
    if (!q.active() || q.isEmpty()) return;
    q.edit();
    EditUntilPosted(q, [&] { return EditHistRecord(q); });
}

void TKlientCalendar::tbCalPlanDelClick()
{
    if (!dmKl) return;
    fw::Query& q = dmKl->qryCal;
    if (q.active() && !q.isEmpty()) q.remove();
}

void TKlientCalendar::tbCalExportClick()
{
    ExportDBGrid(dbgCal, "Календарь");
}
