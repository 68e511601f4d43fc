#include "reports/fmReport.h"

#include "reports/Export.h"
#include "reports/FixedCells.h"
#include "reports/ReportChart.h"

#include "controls/DateEdit.h"
#include "core/ModuleWindows.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"

#include "db/DbError.h"
#include "db/NumberFormat.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

QList<TRazrezRec> RazrezRecs;
std::vector<TOgrRec> OgrRecs;

namespace {

constexpr int ObjectRole = Qt::UserRole;

TIdGr* objectOf(const QListWidgetItem* item)
{
    return reinterpret_cast<TIdGr*>(item->data(ObjectRole).value<quintptr>());
}

void removeObject(TOgrItems& items, const TIdGr* obj)
{
    items.removeIf([obj](const TOgrItem& i) { return i.Object == obj; });
}

// Numbers of the pivot table: two decimals, no grouping, the locale's separator.
QString cellText(fw::Currency value)
{
    return fw::formatFloat("0.00", value);
}

QString settingText(const char* name)
{
    if (!dm || !dm->qryMain.active()) return {};
    fw::Field* f = dm->qryMain.findField(name);
    return f ? f->asString() : QString();
}

// The fixed row and column look like titles; the numbers are right-aligned by the window.
class TRazrezDelegate : public QStyledItemDelegate {
public:
    TRazrezDelegate(TfmReport* form, QObject* parent) : QStyledItemDelegate(parent), form_(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool fixed = index.row() == 0 || index.column() == 0;
        const bool selected = !fixed && option.state.testFlag(QStyle::State_Selected);
        painter->save();
        const QPalette& pal = option.palette;
        painter->fillRect(option.rect, fixed ? pal.button() : selected ? pal.highlight() : pal.base());
        if (fixed) {
            painter->setPen(pal.mid().color());
            painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
            painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        }
        painter->setPen(selected ? pal.highlightedText().color() : pal.text().color());
        painter->setFont(option.font);
        form_->sgRazrezDrawCell(*painter, option.rect, index.column(), index.row());
        painter->restore();
    }

private:
    TfmReport* form_;
};

QWidget* page(QTabWidget* pages, const char* name, const QString& caption, int helpContext = 0)
{
    auto* w = new QWidget(pages);
    w->setObjectName(name);
    if (helpContext) w->setProperty("helpContext", helpContext);
    pages->addTab(w, caption);
    return w;
}

} // namespace

QString TOgrRec::Condition(bool money) const
{
    if (ToItems.isEmpty()) return {};
    QStringList ids;
    for (const TOgrItem& i : ToItems) ids << QString::number(i.Object->Id);
    return (money ? PrefixOplata : PrefixSdelka) + ids.join(", ") + (money ? SuffixOplata : SuffixSdelka);
}

TfmReport::TfmReport(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmReport");
    setWindowTitle("Отчеты");
    setProperty("helpContext", 60);
    resize(780, 540);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName("ToolBar");
    tbZapros = AddToolButton(ToolBar, "tbZapros", "Запрос", 6);
    ToolButton1 = AddToolButton(ToolBar, "ToolButton1", "Убрать все ограничения", 4);
    ToolBar->addSeparator();
    tbGoToKar = AddToolButton(ToolBar, "tbGoToKar", "На карточку", 9);
    tbExport = AddToolButton(ToolBar, "tbExport", "Экспорт", 3);
    layout->addWidget(ToolBar);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName("pcMain");
    layout->addWidget(pcMain, 1);

    // Parameters
    tsParams = page(pcMain, "tsParams", "Параметры", 61);
    auto* paramsLayout = new QVBoxLayout(tsParams);
    auto* top = new QGridLayout;
    auto* lblRazrez = new QLabel("Разрез", tsParams);
    cbRazrez = new QComboBox(tsParams);
    cbRazrez->setObjectName("cbRazrez");
    cbRazrez->setMaxVisibleItems(15);
    cbRazrez->setMinimumWidth(220);
    lblRazrez->setBuddy(cbRazrez);
    top->addWidget(lblRazrez, 0, 0);
    top->addWidget(cbRazrez, 0, 1, 1, 4);
    auto* lblFrom = new QLabel("с", tsParams);
    deFrom = new TDateEdit(tsParams);
    deFrom->setObjectName("deFrom");
    SetupDateEdit(deFrom);
    deFrom->SetDirectInput(false);
    auto* lblTo = new QLabel("по", tsParams);
    deTo = new TDateEdit(tsParams);
    deTo->setObjectName("deTo");
    SetupDateEdit(deTo);
    deTo->SetDirectInput(false);
    for (TDateEdit* e : {deFrom, deTo}) e->setMinimumWidth(120);
    top->addWidget(new QLabel("Период", tsParams), 1, 0);
    top->addWidget(lblFrom, 1, 1);
    top->addWidget(deFrom, 1, 2);
    top->addWidget(lblTo, 1, 3);
    top->addWidget(deTo, 1, 4);
    top->setColumnStretch(5, 1);
    paramsLayout->addLayout(top);

    auto* groups = new QHBoxLayout;
    rgType = new fw::DBRadioGroup("Тип данных", tsParams);
    rgType->setObjectName("rgType");
    rgType->setItems({"Деньги", "Количество"});
    rgMoney = new fw::DBRadioGroup("Деньги", tsParams);
    rgMoney->setObjectName("rgMoney");
    rgMoney->setItems({"", ""});
    auto* gbInterval = new QGroupBox("Интервал", tsParams);
    gbInterval->setObjectName("gbInterval");
    auto* intervalLayout = new QVBoxLayout(gbInterval);
    cbInterval = new QComboBox(gbInterval);
    cbInterval->setObjectName("cbInterval");
    cbInterval->addItems({"Декада", "Месяц", "Квартал", "Год"});
    cbInterval->setMinimumWidth(110);
    intervalLayout->addWidget(cbInterval);
    intervalLayout->addStretch();
    rgSort = new fw::DBRadioGroup("Сортировка", tsParams);
    rgSort->setObjectName("rgSort");
    rgSort->setItems({"Название", "Итого"});
    for (QWidget* g : {static_cast<QWidget*>(rgType), static_cast<QWidget*>(rgMoney),
                       static_cast<QWidget*>(gbInterval), static_cast<QWidget*>(rgSort)})
        groups->addWidget(g, 0, Qt::AlignTop);
    groups->addStretch();
    paramsLayout->addLayout(groups);
    paramsLayout->addStretch();

    // Restrictions
    tsOgr = page(pcMain, "tsOgr", "Ограничения", 62);
    auto* ogrLayout = new QVBoxLayout(tsOgr);
    tcOgr = new QTabBar(tsOgr);
    tcOgr->setObjectName("tcOgr");
    tcOgr->setExpanding(false);
    tcOgr->setUsesScrollButtons(true);
    tcOgr->addTab("Группа товара");
    ogrLayout->addWidget(tcOgr);
    auto* filterRow = new QHBoxLayout;
    auto* lblFilter = new QLabel("Фильтр", tsOgr);
    cbFilter = new QComboBox(tsOgr);
    cbFilter->setObjectName("cbFilter");
    cbFilter->setMinimumWidth(220);
    lblFilter->setBuddy(cbFilter);
    filterRow->addWidget(lblFilter);
    filterRow->addWidget(cbFilter);
    filterRow->addStretch();
    ogrLayout->addLayout(filterRow);
    auto* lists = new QHBoxLayout;
    lbFrom = new QListWidget(tsOgr);
    lbFrom->setObjectName("lbFrom");
    lbTo = new QListWidget(tsOgr);
    lbTo->setObjectName("lbTo");
    for (QListWidget* l : {lbFrom, lbTo}) {
        l->setSortingEnabled(true);
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    auto* buttons = new QVBoxLayout;
    btnAdd = new QPushButton("Добавить", tsOgr);
    btnAdd->setObjectName("btnAdd");
    btnDel = new QPushButton("Удалить", tsOgr);
    btnDel->setObjectName("btnDel");
    btnAddAll = new QPushButton("Добавить все", tsOgr);
    btnAddAll->setObjectName("btnAddAll");
    btnDelAll = new QPushButton("Удалить все", tsOgr);
    btnDelAll->setObjectName("btnDelAll");
    buttons->addStretch();
    for (QPushButton* b : {btnAdd, btnDel, btnAddAll, btnDelAll}) buttons->addWidget(b);
    buttons->addStretch();
    lists->addWidget(lbFrom, 1);
    lists->addLayout(buttons);
    lists->addWidget(lbTo, 1);
    ogrLayout->addLayout(lists, 1);

    // Result
    tsResult = page(pcMain, "tsResult", "Отчет", 63);
    auto* resultLayout = new QVBoxLayout(tsResult);
    resultLayout->setContentsMargins(2, 2, 2, 2);
    pcResult = new QTabWidget(tsResult);
    pcResult->setObjectName("pcResult");
    pcResult->setTabPosition(QTabWidget::South);
    resultLayout->addWidget(pcResult);
    tsSvod = page(pcResult, "tsSvod", "Сводный");
    auto* svodLayout = new QVBoxLayout(tsSvod);
    svodLayout->setContentsMargins(0, 0, 0, 0);
    sgRazrez = new QTableWidget(tsSvod);
    sgRazrez->setObjectName("sgRazrez");
    sgRazrez->horizontalHeader()->hide();
    sgRazrez->verticalHeader()->hide();
    sgRazrez->verticalHeader()->setDefaultSectionSize(sgRazrez->fontMetrics().height() + 6);
    sgRazrez->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgRazrez->setSelectionMode(QAbstractItemView::SingleSelection);
    sgRazrez->setItemDelegate(new TRazrezDelegate(this, sgRazrez));
    new TFixedCells(sgRazrez);   // the title row and the name column stay in view
    svodLayout->addWidget(sgRazrez);
    tsGraphic = page(pcResult, "tsGraphic", "Диаграмма");
    auto* graphicLayout = new QVBoxLayout(tsGraphic);
    graphicLayout->setContentsMargins(0, 0, 0, 0);
    ReportChart = new TReportChart(sgRazrez, tsGraphic);
    ReportChart->setObjectName("ReportChart");
    graphicLayout->addWidget(ReportChart);
    tsDetal = page(pcResult, "tsDetal", "Детальный");
    auto* detalLayout = new QVBoxLayout(tsDetal);
    detalLayout->setContentsMargins(0, 0, 0, 0);
    dbgDetal = new fw::DBGrid(tsDetal);
    dbgDetal->setObjectName("dbgDetal");
    dbgDetal->setOptions({fw::DBGrid::Option::Titles, fw::DBGrid::Option::Indicator});
    dbgDetal->setReadOnly(true);
    detalLayout->addWidget(dbgDetal);

    FormCreate();

    connect(tbZapros, &QToolButton::clicked, this, fw::guarded([this] { tbZaprosClick(); }));
    connect(ToolButton1, &QToolButton::clicked, this, fw::guarded([this] { ToolButton2Click(); }));
    connect(tbGoToKar, &QToolButton::clicked, this, fw::guarded([this] { tbGoToKarClick(); }));
    connect(tbExport, &QToolButton::clicked, this, fw::guarded([this] { tbExportClick(); }));
    connect(rgType, &fw::DBRadioGroup::changed, this, fw::guarded([this] { rgTypeClick(); }));
    connect(tcOgr, &QTabBar::currentChanged, this, fw::guarded([this] { tcOgrChange(); }));
    connect(cbFilter, &QComboBox::activated, this, fw::guarded([this] { cbFilterClick(); }));
    connect(btnAdd, &QPushButton::clicked, this, fw::guarded([this] { btnAddClick(); }));
    connect(btnDel, &QPushButton::clicked, this, fw::guarded([this] { btnDelClick(); }));
    connect(btnAddAll, &QPushButton::clicked, this, fw::guarded([this] { btnAddAllClick(); }));
    connect(btnDelAll, &QPushButton::clicked, this, fw::guarded([this] { btnDelAllClick(); }));
    connect(lbFrom, &QListWidget::itemDoubleClicked, this,
            fw::guarded([this](QListWidgetItem* item) { MoveToSelected(lbFrom->row(item)); }));
    connect(lbTo, &QListWidget::itemDoubleClicked, this,
            fw::guarded([this](QListWidgetItem* item) { MoveToAvailable(lbTo->row(item)); }));
    // A page's show handler runs when it becomes the visible page.
    connect(pcMain, &QTabWidget::currentChanged, this, fw::guarded([this] {
        if (pcMain->currentWidget() == tsOgr) tsOgrShow();
        if (pcMain->currentWidget() == tsResult && pcResult->currentWidget() == tsDetal) tsDetalShow();
    }));
    connect(pcResult, &QTabWidget::currentChanged, this, fw::guarded([this] {
        if (pcMain->currentWidget() == tsResult && pcResult->currentWidget() == tsDetal) tsDetalShow();
    }));
    // Enter on the parameters page runs the report; the window sees keys before its
    // controls, so an open drop-down can keep its Enter for the pick.
    qApp->installEventFilter(this);
    cbInterval->installEventFilter(this);
    cbFilter->installEventFilter(this);
}

TfmReport::~TfmReport()
{
    FormDestroy();
}

void TfmReport::FormCreate()
{
    new TdmRep(this);
    dbgDetal->setDataSource(&dmRep->dsDetal);

    const QDate today = dm ? GetServerDate().date() : QDate::currentDate();
    const QDate first(today.year(), today.month(), 1);
    deFrom->SetDate(first);
    deTo->SetDate(first.addMonths(1).addDays(-1));

    rgType->setItemIndex(0);
    rgMoney->setItems({settingText("VALUTA1"), settingText("VALUTA2")});
    rgMoney->setItemIndex(1);
    cbInterval->setCurrentIndex(-1);
    rgSort->setItemIndex(1);

    fillRazrez();
    fillOgr();
    fillDetalLabels();
    tbExport->setEnabled(UserRights && UserRights->IsGranted(CurrentUser.IdUser, 1056));
    pcMain->setCurrentWidget(tsParams);
    pcResult->setCurrentWidget(tsSvod);
}

void TfmReport::fillRazrez()
{
    RazrezRecs = MakeRazrezRecs();
    cbRazrez->clear();
    for (const TRazrezRec& r : RazrezRecs) cbRazrez->addItem(r.Caption);
    cbRazrez->setCurrentIndex(0);
}

void TfmReport::fillOgr()
{
    struct Row {
        const char* caption;
        QString table;
        const char* id;
        const char* parent;
        const char* name;
        const char* filterSql;
        const char* prefixOplata;
        const char* prefixSdelka;   // nullptr: as in money mode
    };
    const QList<Row> rows = {
        {"Группа товара", "GrTovar", "idGrTovar", "", "GrTovar", nullptr,
         "and exists (select * from Tovar where idTovar=sl.idTovar and idGrTovar in (", nullptr},
        {"Товар", "Tovar", "idTovar", "idGrTovar", "Tovar", "select idGrTovar, GrTovar from GrTovar order by GrTovar",
         "and sl.idTovar in (", nullptr},
        {"Отдел", "Otdel", "idOtdel", "", "Otdel", nullptr,
         "and exists (select * from Users where idUser=o.idUser and idOtdel in (",
         "and exists (select * from Users where idUser=sd.idUser and idOtdel in ("},
        {"Фамилия", "Users", "idUser", "idOtdel", "Name", "select idOtdel, Otdel from Otdel order by Otdel",
         "and o.idUser in (", "and sd.idUser in ("},
        {"Источник", "Reklama", "idReklama", "", "Reklama", nullptr, "and c.idReklama in (", nullptr},
        {"Источник2", "Reklama2", "idReklama2", "idReklama", "Reklama2",
         "select idReklama, Reklama from Reklama order by Reklama", "and c.idReklama2 in (", nullptr},
        {"Сегмент", "Segmentt", "idSegment", "", "Segmentt", nullptr, "and c.idSegment in (", nullptr},
        {"Сегмент2", "Segmentt2", "idSegment2", "idSegment", "Segmentt2",
         "select idSegment, Segmentt from Segmentt order by Segmentt", "and c.idSegment2 in (", nullptr},
        {"Причина", "Prichina", "idPrichina", "", "Prichina", nullptr, "and sd.idPrichina in (", nullptr},
        {"Причина2", "Prichina2", "idPrichina2", "idPrichina", "Prichina2",
         "select idPrichina, Prichina from Prichina order by Prichina", "and sd.idPrichina2 in (", nullptr},
        {"Район", "District", "idDistrict", "", "District", nullptr,
         "and exists (select * from Region where idRegion=c.idRegion and idDistrict in (", nullptr},
        {"Страна", "Country", "idCountry", "", "Country", nullptr, "and c.idCountry in (", nullptr},
        {"Регион", "Region", "idRegion", "idCountry", "Region",
         "select idCountry, Country from Country order by Country", "and c.idRegion in (", nullptr},
        {"Тип сделки", "SdelkaType", "idSdelkaType", "", "SdelkaType", nullptr, "and sd.idSdelkaType in (", nullptr},
        {"Общая группа", "GrKlient", "idGrKlient", "", "GrKlient", nullptr,
         "and exists (select * from Gr_Kl where idCust=c.idCust and idGrKlient in (", nullptr},
        {"Личная группа", "LocGrKl where idUser=" + QString::number(CurrentUser.IdUser), "idLocGrKl", "", "LocGrKl",
         nullptr, "and exists (select * from Loc_Kl where idCust=c.idCust and idLocGrKl in (", nullptr},
    };
    const auto suffix = [](const QString& prefix) { return prefix.contains("exists (") ? "))" : ")"; };
    OgrRecs.clear();
    OgrRecs.resize(size_t(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        TOgrRec& r = OgrRecs[size_t(i)];
        r.Caption = row.caption;
        r.TableName = row.table;
        r.IdField = row.id;
        r.ParentField = row.parent;
        r.NameField = row.name;
        r.FilterSQL = row.filterSql ? row.filterSql : "";
        r.FilterIndex = row.filterSql ? -1 : -2;
        r.PrefixOplata = row.prefixOplata;
        r.PrefixSdelka = row.prefixSdelka ? row.prefixSdelka : row.prefixOplata;
        r.SuffixOplata = suffix(r.PrefixOplata);
        r.SuffixSdelka = suffix(r.PrefixSdelka);
    }
}

void TfmReport::fillDetalLabels()
{
    const QString v1 = settingText("VALUTA1");
    const QString v2 = settingText("VALUTA2");
    DetalLabels = QStringList{
        "cidCust=Код компании",
        "cCompany=Компания",
        "cUser=Куратор компании",
        "cDistrict=Район",
        "cCountry=Страна",
        "cRegion=Регион",
        "cReklama=Источник",
        "cReklama2=Источник2",
        "cSegment=Сегмент",
        "cSegment2=Сегмент2",
        "sdidSdelka=Код сделки",
        "sdUser=Куратор сделки",
        "sdDateBegin=Дата начала сделки",
        "sdDateEnd=Дата завершения сделки",
        "sdName=Название сделки",
        "sdSdelka_St=Статус сделки",
        "sdSummaDP=Сумма сделки " + v2 + "(план)",
        "sdSummaDF=Сумма сделки " + v2 + "(факт)",
        "sdSummaRP=Сумма сделки " + v1 + "(план)",
        "sdSummaRF=Сумма сделки " + v1 + "(факт)",
        "sdOtkaz=Причина отказа",
        "sdEtap=Этап Отказа",
        "NoSchet=Счет №",
        "NoNakl=Накладная №",
        "NoSchetF=Счет-ф №",
        "DateSchet=Дата счета",
        "DateNakl=Дата накладной",
        "DateSchetF=Дата счета-ф",
        "sdPrichina=Причина сделки",
        "sdPrichina2=Причина сделки2",
        "sdSdelkaType=Тип сделки",
        "sdDogNumber=Договор №",
        "sdNote=Комментарий к сделке",
        "slidSale=Код продажи",
        "slCompany=Место покупки",
        "slKolvo=Количество",
        "slGrTovar=Группа товара",
        "slTovar=Товар",
        "slBack=Возврат",
        "slPriznak1=" + settingText("PRIZNAK1"),
        "slPriznak2=" + settingText("PRIZNAK2"),
        "slSummaDP=Стоимость товара " + v2 + "(план)",
        "slSummaDF=Стоимость товара " + v2 + "(факт)",
        "slSummaRP=Стоимость товара " + v1 + "(план)",
        "slSummaRF=Стоимость товара " + v1 + "(факт)",
        "slKurs=Курс счета",
        "slSerNum=Номер товара",
        "slSerNumInt=Номер отгрузки",
        "slNote=Комментарий к продаже товара",
        "oUser=Куратор суммы",
        "oDateOpl=Дата оплаты",
        "oSummaD=Сумма оплаты " + v2,
        "oSummaR=Сумма оплаты " + v1,
        "oKurs=Курс оплаты",
    };
}

void TfmReport::FormShow()
{
    cbRazrez->setCurrentIndex(0);
}

void TfmReport::FormDestroy()
{
    for (TOgrRec& r : OgrRecs) {
        if (!r.Loaded) continue;
        r.AllItems.clear();
        r.FromItems.clear();
        r.ToItems.clear();
        r.FilterItems.clear();
        r.Objects.clear();
        r.Loaded = false;
    }
    if (dbgDetal) dbgDetal->setDataSource(nullptr);
    if (dmRep && dmRep->parent() == this) delete dmRep;
    if (fmReport == this) fmReport = nullptr;
}

void TfmReport::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

bool TfmReport::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* w = qobject_cast<QWidget*>(watched);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && w
            && pcMain->currentWidget() == tsParams && (w == tsParams || tsParams->isAncestorOf(w))
            && NoDropDownActive(this)) {
            fw::runGuarded([this] { tbZaprosClick(); });
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && (watched == cbInterval || watched == cbFilter)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            fw::runGuarded([&] { ClearOnEsc(static_cast<QWidget*>(watched), key->key()); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfmReport::rgTypeClick()
{
    rgMoney->setEnabled(rgType->itemIndex() == 0);
}

// ---------------------------------------------------------------- restrictions

TOgrRec* TfmReport::currentOgr()
{
    const int i = tcOgr->currentIndex();
    return i >= 0 && size_t(i) < OgrRecs.size() ? &OgrRecs[size_t(i)] : nullptr;
}

void TfmReport::tsOgrShow()
{
    if (!ogrTabsAdded_) {
        ogrTabsAdded_ = true;
        const QSignalBlocker block(tcOgr);
        for (size_t i = 1; i < OgrRecs.size(); ++i) tcOgr->addTab(OgrRecs[i].Caption);
    }
    tcOgrChange();
}

void TfmReport::tcOgrChange()
{
    TOgrRec* r = currentOgr();
    if (!r) return;
    if (!r->Loaded) {
        r->AllItems.clear();
        r->FromItems.clear();
        r->ToItems.clear();
        r->FilterItems.clear();
        r->Objects.clear();
        fw::Query& q = dmRep->qryList;
        q.close();
        QStringList sql{"select " + r->IdField + ", " + r->NameField};
        if (!r->ParentField.isEmpty()) sql << ", " + r->ParentField;
        sql << "from " + r->TableName;
        q.setSql(sql);
        q.open();
        for (; !q.eof(); q.next()) {
            auto obj = std::make_unique<TIdGr>();
            obj->Id = q.field(0).asInteger();
            if (q.fieldCount() == 3) obj->GroupId = q.field(2).asInteger();
            r->AllItems.append({q.field(1).asString(), obj.get()});
            r->Objects.push_back(std::move(obj));
        }
        q.close();
        r->FromItems = r->AllItems;
        if (r->FilterIndex != -2) {
            q.setSql({r->FilterSQL});
            q.open();
            for (; !q.eof(); q.next()) r->FilterItems.append({q.field(1).asString(), q.field(0).asInteger()});
            q.close();
        }
        r->Loaded = true;
    }
    showList(lbFrom, r->FromItems);
    showList(lbTo, r->ToItems);
    const QSignalBlocker block(cbFilter);
    cbFilter->clear();
    if (r->FilterIndex == -2) {
        cbFilter->setEnabled(false);
    } else {
        for (const auto& f : r->FilterItems) cbFilter->addItem(f.first);
        cbFilter->setCurrentIndex(r->FilterIndex);
        cbFilter->setEnabled(true);
    }
}

void TfmReport::showList(QListWidget* list, const TOgrItems& items)
{
    list->clear();
    for (const TOgrItem& i : items) {
        auto* item = new QListWidgetItem(i.Name);
        item->setData(ObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(i.Object)));
        list->addItem(item);
    }
}

void TfmReport::cbFilterClick()
{
    TOgrRec* r = currentOgr();
    if (!r || r->FilterIndex == -2) return;
    const int index = cbFilter->currentIndex();
    r->FilterIndex = index;
    if (index < 0 || index >= r->FilterItems.size()) {
        r->FilterIndex = -1;
        r->FromItems = r->AllItems;
    } else {
        const int parent = r->FilterItems[index].second;
        r->FromItems.clear();
        for (const TOgrItem& i : r->AllItems)
            if (i.Object->GroupId == parent) r->FromItems.append(i);
    }
    showList(lbFrom, r->FromItems);
}

void TfmReport::MoveToSelected(int i)
{
    TOgrRec* r = currentOgr();
    QListWidgetItem* item = lbFrom->item(i);
    if (!r || !item) return;
    TIdGr* obj = objectOf(item);
    auto* copy = new QListWidgetItem(item->text());
    copy->setData(ObjectRole, item->data(ObjectRole));
    lbTo->addItem(copy);
    r->ToItems.append({item->text(), obj});
    removeObject(r->AllItems, obj);
    removeObject(r->FromItems, obj);
    delete lbFrom->takeItem(i);
}

void TfmReport::MoveToAvailable(int i)
{
    TOgrRec* r = currentOgr();
    QListWidgetItem* item = lbTo->item(i);
    if (!r || !item) return;
    TIdGr* obj = objectOf(item);
    auto* copy = new QListWidgetItem(item->text());
    copy->setData(ObjectRole, item->data(ObjectRole));
    lbFrom->addItem(copy);
    r->AllItems.append({item->text(), obj});
    r->FromItems.append({item->text(), obj});
    removeObject(r->ToItems, obj);
    delete lbTo->takeItem(i);
}

void TfmReport::btnAddClick()
{
    for (int i = lbFrom->count() - 1; i >= 0; --i)
        if (lbFrom->item(i)->isSelected()) MoveToSelected(i);
}

void TfmReport::btnAddAllClick()
{
    for (int i = lbFrom->count() - 1; i >= 0; --i) MoveToSelected(i);
}

void TfmReport::btnDelClick()
{
    for (int i = lbTo->count() - 1; i >= 0; --i)
        if (lbTo->item(i)->isSelected()) MoveToAvailable(i);
}

void TfmReport::btnDelAllClick()
{
    for (int i = lbTo->count() - 1; i >= 0; --i) MoveToAvailable(i);
}

void TfmReport::ToolButton2Click()
{
    for (TOgrRec& r : OgrRecs) {
        if (!r.Loaded || r.ToItems.isEmpty()) continue;
        r.AllItems += r.ToItems;
        r.FromItems += r.ToItems;
        r.ToItems.clear();
    }
    tcOgrChange();
}

// ---------------------------------------------------------------- the run

TRepParams TfmReport::Params() const
{
    TRepParams p;
    const int razrez = std::max(0, cbRazrez->currentIndex());
    if (razrez < RazrezRecs.size()) p.Razrez = RazrezRecs[razrez];
    p.Money = rgType->itemIndex() != 1;
    p.Valuta = rgMoney->itemIndex() == 0 ? 0 : 1;
    p.SortByTotal = rgSort->itemIndex() == 1;
    p.From = deFrom->Date();
    p.To = deTo->Date();
    for (const TOgrRec& r : OgrRecs)
        if (r.Loaded && !r.ToItems.isEmpty()) p.OgrLines << r.Condition(p.Money);
    p.RecFilter = GetRecFilter();
    return p;
}

void TfmReport::tbZaprosClick()
{
    const QDate from = deFrom->Date();
    const QDate to = deTo->Date();
    // An empty date is no period either.
    if (!from.isValid() || !to.isValid() || to < from) {
        fw::dialogs().warning("Неверно указан период!");
        deFrom->setFocus();
        return;
    }
    TRepParams p = Params();
    p.RecFilter = ListedRecFilter(dm->db, p.RecFilter);
    const QList<TIntervalRec> intervals = MakeIntervals(from, to, cbInterval->currentIndex());
    const TRepTable table = dmRep->Run(p, intervals);

    dmRep->qryDetal.close();
    dmRep->qryDetal.setSql(DetalSql(p));

    ReportChart->SetTitle(p.Razrez.Caption);
    fillTable(p, intervals, table);
    afterRun();
}

void TfmReport::fillTable(const TRepParams& p, const QList<TIntervalRec>& intervals, const TRepTable& table)
{
    const int n = int(table.Rows.size());
    const int last = int(intervals.size()) + 1;
    const QFontMetrics gridMetrics = sgRazrez->fontMetrics();
    const QFontMetrics formMetrics = fontMetrics();

    const auto setCell = [this](int row, int col, const QString& text) {
        auto* item = new QTableWidgetItem(text);
        const bool fixed = row == 0 || col == 0;
        item->setFlags(fixed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        sgRazrez->setItem(row, col, item);
    };

    sgRazrez->clearContents();
    sgRazrez->setRowCount(n + 2);
    sgRazrez->setColumnCount(last + 1);
    setCell(0, 0, p.Razrez.Caption);
    RowIds.clear();
    int nameWidth = gridMetrics.horizontalAdvance(p.Razrez.Caption);
    int totalWidth = 0;
    for (int r = 1; r <= n; ++r) {
        const TRepRow& row = table.Rows[r - 1];
        setCell(r, 0, row.Name);
        setCell(r, last, cellText(row.Total));
        RowIds << row.Id;
        nameWidth = std::max(nameWidth, gridMetrics.horizontalAdvance(row.Name));
        totalWidth = std::max(totalWidth, gridMetrics.horizontalAdvance(cellText(row.Total)));
    }
    setCell(n + 1, 0, "Итого:");
    setCell(n + 1, last, cellText(table.Total));
    setCell(0, last, "Итого:");
    totalWidth = std::max(totalWidth, gridMetrics.horizontalAdvance(cellText(table.Total)));
    const QScreen* screen = this->screen();
    const int screenWidth = screen ? screen->geometry().width() : 1024;
    sgRazrez->setColumnWidth(0, std::min(nameWidth + 10, int(screenWidth * 0.6)));
    // Numbers wider than a column's title would be cut off: the columns grow to fit them.
    sgRazrez->setColumnWidth(last, std::max(100, totalWidth + 8));

    for (int i = 0; i < intervals.size(); ++i) {
        const int col = i + 1;
        setCell(0, col, intervals[i].Caption);
        int width = formMetrics.horizontalAdvance(intervals[i].Caption);
        for (int row = 1; row <= n; ++row) {
            const QString text = cellText(table.Rows[row - 1].Sums[i]);
            setCell(row, col, text);
            width = std::max(width, gridMetrics.horizontalAdvance(text));
        }
        const QString total = cellText(table.ColumnTotals[i]);
        setCell(n + 1, col, total);
        width = std::max(width, gridMetrics.horizontalAdvance(total));
        sgRazrez->setColumnWidth(col, width + 5);
    }
}

void TfmReport::afterRun()
{
    const bool intervals = sgRazrez->columnCount() > 3;
    ReportChart->tbLine->setEnabled(intervals);
    ReportChart->tbArea->setEnabled(intervals);
    if (!intervals && (ReportChart->Kind == 2 || ReportChart->Kind == 3)) ReportChart->Kind = 0;
    ReportChart->DrawChart();

    if (pcResult->currentWidget() == tsDetal) pcResult->setCurrentWidget(tsSvod);
    pcMain->setCurrentWidget(tsResult);
}

void TfmReport::sgRazrezDrawCell(QPainter& painter, const QRect& rect, int col, int row)
{
    const QTableWidgetItem* item = sgRazrez->item(row, col);
    if (!item) return;
    const QString text = item->text();
    const QFontMetrics fm = painter.fontMetrics();
    const int top = rect.top() + 2;
    const QRect textRect(rect.left(), top, rect.width(), rect.bottom() - top);
    painter.save();
    painter.setClipRect(rect);
    if (row == 0 || col == 0) {
        painter.drawText(textRect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
    } else {
        const int left = rect.right() + 1 - fm.horizontalAdvance(text) - 3;
        painter.drawText(QRect(left, top, rect.right() + 1 - left, textRect.height()), Qt::AlignLeft | Qt::AlignTop,
                         text);
    }
    painter.restore();
}

// ---------------------------------------------------------------- detail and card

void TfmReport::tsDetalShow()
{
    if (!dmRep->qryItogo.active() || dmRep->qryDetal.active()) return;
    fw::Query& q = dmRep->qryDetal;
    q.open();
    for (fw::Field* f : q.fields()) {
        for (const QString& pair : DetalLabels) {
            const qsizetype eq = pair.indexOf('=');
            if (pair.left(eq).compare(f->fieldName(), Qt::CaseInsensitive) == 0) {
                f->setDisplayLabel(pair.mid(eq + 1));
                break;
            }
        }
        if (f->displayWidth() > 50) f->setDisplayWidth(50);
        if (f->type() == fw::FieldType::Currency) f->setDisplayFormat("# ### ### ##0.00");
    }
    // The columns take the labels and widths just set.
    dbgDetal->useDefaultColumns();
}

void TfmReport::tbGoToKarClick()
{
    fw::Query& q = dmRep->qryDetal;
    if (!q.active() || q.isEmpty())
        throw fw::UserError(QString("На вкладке \"%1\" нет информации!").arg(pcResult->tabText(pcResult->indexOf(tsDetal))));
    GoToKarFromList(q.fieldByName("cidCust").asInteger(), q.fieldByName("sdidSdelka").asInteger(), 0, "tsSdelka");
}

void TfmReport::tbExportClick()
{
    if (pcResult->currentWidget() == tsSvod)
        ExportStringGrid(sgRazrez);
    else if (pcResult->currentWidget() == tsDetal)
        ExportDBGrid(dbgDetal, "Детальная");
}
