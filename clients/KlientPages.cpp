#include "clients/KlientPages.h"

#include "clients/KlientCalendar.h"
#include "clients/dmKl.h"
#include "clients/fmDog.h"
#include "clients/fmPlan.h"
#include "clients/fmReg.h"
#include "clients/fmSegmentFind.h"
#include "controls/DBDateEdit.h"
#include "controls/DateEdit.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdelka.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>

namespace {

using Nav = fw::DBNavigator::Button;

// The row of the card's jump, or the message that it is not there (or not to be seen).
void Locate(fw::Query& q, const char* key, int id, const QString& missing)
{
    if (!q.active()) q.open();
    if (!q.locate(key, id)) fw::dialogs().information(missing + "\rили у Вас не хватает прав доступа!");
}

template <class F>
void OnClick(QToolButton* button, QObject* context, F f)
{
    QObject::connect(button, &QToolButton::clicked, context, fw::guarded(f));
}

// "Добавить ссылку" of history, plans and contracts: a file chosen becomes the row's link.
void AddLink(fw::DataSet& ds, fw::DBGrid* grid)
{
    if (grid->editorMode()) grid->commitEditor();
    if (!HasRows(ds)) return;
    fw::FileDialog odLink;
    odLink.caption = "Ссылка";
    odLink.filter = "Все файлы|*.*";
    if (!fw::dialogs().openFile(odLink)) return;
    ds.edit();
    EditAndPost(ds, [&] {
        ds.fieldByName("FILEPATH").setAsString(odLink.fileName);
        return true;
    });
}

// "Открыть ссылку".
void OpenRecordLink(QWidget* window, fw::DataSet& ds, fw::DBGrid* grid)
{
    if (grid->editorMode()) grid->commitEditor();
    if (!HasRows(ds)) return;
    const QString link = ds.fieldByName("FILEPATH").asString();
    if (!link.isEmpty()) OpenLink(window, link);
}

} // namespace

TKlientPage::TKlientPage(QTabWidget* pages, const char* name, const QString& caption)
    : QWidget(pages), pages_(pages)
{
    setObjectName(name);
    pages->addTab(this, caption);
}

void TKlientPage::LocateRecord(int, int) {}

void TKlientPage::ShowPage(const QString& name)
{
    if (QWidget* page = PageByName(pages_, name)) pages_->setCurrentWidget(page);
}

void TKlientPage::JumpTo(fw::Query& list, const char* key, const fw::Value& id, const QString& page,
                         const QString& missing)
{
    if (!list.active()) list.open();
    if (!id.isNull() && list.locate(key, id)) ShowPage(page);
    else fw::dialogs().warning(missing);
}

// --- history and plans

THistPage::THistPage(QTabWidget* pages, bool plans)
    : TKlientPage(pages, plans ? "tsPlan" : "tsHist", plans ? "Планы" : "История"), plans_(plans)
{
    const QString kind = plans ? "Plan" : "Hist";
    const auto name = [&](const char* part) { return QString(part).arg(kind).toLatin1(); };
    fw::DataSource* source = plans ? &dmKl->dsPlan : &dmKl->dsHist;
    auto* layout = PageLayout(this);
    tbr = ToolBar(this, name("tbr%1"));
    dbn = Navigator(tbr, name("dbn%1"), source, {Nav::Post, Nav::Cancel});
    tbr->addWidget(dbn);
    tbr->addSeparator();
    if (!plans) tbAdd = AddToolButton(tbr, "tbHistAdd", "Заметка", 0);
    tbDel = AddToolButton(tbr, name("tb%1Del"), "Удалить", 2);
    if (plans) {
        tbComplit = AddToolButton(tbr, "tbPlanComplit", "Выполнено", 18);
        tbEdit = AddToolButton(tbr, "tbPlanEdit", "Изменить", 1);
    }
    tbAddLink = AddToolButton(tbr, name("tb%1AddLink"), "Добавить ссылку");
    tbOpenLink = AddToolButton(tbr, name("tb%1OpenLink"), "Открыть ссылку");
    tbToContact = AddToolButton(tbr, name("tb%1ToContact"), "На контактное лицо", 7);
    layout->addWidget(tbr);
    dbg = Grid(this, name("dbg%1"), source,
               {{"HistType", "Тип", 110}, {"DATECR", "Дата", 120}, {"NOTE", plans ? "План" : "Заметка", 380},
                ReadOnlyColumn("User", "Фамилия", 120), {"FILEPATH", "Ссылка", 200}});
    dbg->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) { HistGridCellStyle(cell, style); });
    layout->addWidget(dbg, 1);

    if (tbAdd) OnClick(tbAdd, this, [this] { tbAddClick(); });
    OnClick(tbDel, this, [this] { RemoveCurrent(Data()); });
    if (tbComplit) OnClick(tbComplit, this, [this] { tbComplitClick(); });
    if (tbEdit) OnClick(tbEdit, this, [this] { tbEditClick(); });
    OnClick(tbAddLink, this, [this] { AddLink(Data(), dbg); });
    OnClick(tbOpenLink, this, [this] { OpenRecordLink(this, Data(), dbg); });
    OnClick(tbToContact, this, [this] { ToContact(); });
}

fw::Query& THistPage::Data() const
{
    return plans_ ? dmKl->qryPlan : dmKl->qryHist;
}

void THistPage::OpenDetails()
{
    Data().open();
}

void THistPage::LocateRecord(int idRecord, int idContacts)
{
    if (idContacts != 0) dmKl->qryContacts.locate("idContacts", idContacts);
    Locate(Data(), "idHist", idRecord, plans_ ? "Запись в Планах не найдена" : "Запись в Истории не найдена");
}

bool THistPage::EditHistRecord(QWidget* owner, fw::DataSet& ds)
{
    if (dm) {
        dm->qryHiType.open();
        dm->qryUser.open();
    }
    std::unique_ptr<TfmPlan> form(new TfmPlan(owner));
    form->dblcHistType->setKeyValue(ds.fieldByName("idHistType").value());
    form->dblcUser->setKeyValue(ds.fieldByName("idUser").value());
    form->SetDateTime(ds.fieldByName("DateCr").asDateTime());
    form->cbBudil->setChecked(ds.fieldByName("Budil").asString() == "+");
    form->cbPrior->setChecked(ds.fieldByName("Prior").asString() == "+");
    form->edNote->setText(ds.fieldByName("Note").asString());
    form->edLink->setText(ds.fieldByName("FILEPATH").asString());
    if (form->exec() != QDialog::Accepted) return false;
    ds.fieldByName("idHistType").setValue(form->dblcHistType->keyValue());
    ds.fieldByName("idUser").setValue(form->dblcUser->keyValue());
    ds.fieldByName("DateCr").setAsDateTime(PlanDateTime(form->deDate->Date(), form->dtpTime->time()));
    ds.fieldByName("Budil").setAsString(form->cbBudil->isChecked() ? "+" : "-");
    ds.fieldByName("Prior").setAsString(form->cbPrior->isChecked() ? "+" : "-");
    ds.fieldByName("Note").setAsString(form->edNote->text());
    ds.fieldByName("FILEPATH").setAsString(form->edLink->text());
    return true;
}

void THistPage::tbAddClick()
{
    fw::Query& hist = Data();
    if (!hist.active()) return;
    hist.first();
    hist.insert();
    dbg->setFocus();
    dbg->setSelectedField("NOTE");
}

void THistPage::NewPlan()
{
    if (!HasRows(dmKl->qryCust)) return;
    fw::Query& plan = Data();
    if (!plan.active()) plan.open();
    plan.first();
    plan.insert();
    if (plan.state() != fw::DataSetState::Insert) return;
    EditUntilPosted(plan, [&] { return EditHistRecord(this, plan); });
}

void THistPage::tbEditClick()
{
    fw::Query& plan = Data();
    if (!HasRows(plan)) return;
    plan.edit();
    EditUntilPosted(plan, [&] { return EditHistRecord(this, plan); });
}

void THistPage::tbComplitClick()
{
    fw::Query& plan = Data();
    if (!HasRows(plan)) return;
    plan.edit();
    bool ok = false;
    EditAndPost(plan, [&] {
        plan.fieldByName("DateCr").setAsDateTime(GetServerDate());
        plan.fieldByName("History").setAsString("+");
        plan.fieldByName("Budil").setAsString("-");
        plan.fieldByName("Prior").setAsString("-");
        ok = EditHistRecord(this, plan);
        return ok;
    });
    if (!ok) return;
    // The completed plan is history now.
    plan.close();
    plan.open();
    dmKl->qryHist.close();
}

void THistPage::ToContact()
{
    fw::Query& ds = Data();
    if (!HasRows(ds)) return;
    const fw::Value id = ds.fieldByName("idContacts").value();
    if (!dmKl->qryContacts.active()) dmKl->qryContacts.open();
    if (id.isNull() || !dmKl->qryContacts.locate("idContacts", id)) fw::dialogs().warning("Контактное лицо не найдено!");
}

void THistPage::LinkRecordToContact()
{
    fw::Query& ds = Data();
    if (!HasRows(ds)) return;
    fw::Query& contacts = dmKl->qryContacts;
    if (ds.fieldByName("idUser").value() != fw::Value(CurrentUser.IdUser))
        throw fw::Error("Вы не можете связывать чужую запись!");
    if (!HasRows(contacts)) throw fw::Error("Контактное лицо отсутствует!");
    PostIfInsert(contacts);
    if (ds.state() == fw::DataSetState::Edit) ds.post();
    ds.edit();
    EditAndPost(ds, [&] {
        ds.fieldByName("idContacts").setValue(contacts.fieldByName("idContacts").value());
        return true;
    });
}

// --- contacts

TContactsPage::TContactsPage(QTabWidget* pages) : TKlientPage(pages, "tsContacts", "Контактные лица")
{
    dbgContacts = Grid(this, "dbgContacts", &dmKl->dsContacts,
                       {{"CONTACT_NAME", "Контактное лицо", 180}, {"CONTACT_TITLE", "Должность", 120},
                        {"CONTACT_DEP", "Отдел", 110}, {"CONTACT_PHONE", "Телефон", 120},
                        {"CONTACT_EMAIL", "Email", 150}, ReadOnlyColumn("User", "Куратор контактного лица", 150),
                        ReadOnlyColumn("DATECR", "Дата регистрации"), {"CONTACT_NOTE", "Комментарий", 200}});
    PageLayout(this)->addWidget(dbgContacts);
}

// --- information

TInfoPage::TInfoPage(QTabWidget* pages) : TKlientPage(pages, "tsInfo", "Информация")
{
    auto* info = new QGridLayout(this);
    info->setContentsMargins(6, 4, 6, 4);
    fw::DataSource* dsCust = &dmKl->dsCust;
    dblcReklama = Lookup(this, "dblcReklama", &dmKl->dsReklama, "IDREKLAMA", "REKLAMA", 150, dsCust);
    dblcReklama2 = Lookup(this, "dblcReklama2", &dmKl->dsReklama2, "IDREKLAMA2", "REKLAMA2", 150, dsCust);
    dblcSegment = Lookup(this, "dblcSegment", &dmKl->dsSegment, "IDSEGMENT", "SEGMENTT", 150, dsCust);
    dblcSegment2 = Lookup(this, "dblcSegment2", &dmKl->dsSegment2, "IDSEGMENT2", "SEGMENTT2", 150, dsCust);
    // Lookup cascades follow the user's choice only, never a list opened or moved.
    for (auto [combo, list] : {std::pair{dblcReklama, &dmKl->qryReklama}, {dblcSegment, &dmKl->qrySegment}})
        connect(combo, &fw::DBLookupCombo::activated, this, [list] { dmKl->FirstLevelChosen(*list); });
    tbSegmentFind = SideButton(this, "tbSegmentFind", "Контекстный поиск", "Контекстный поиск");
    dbmOther = new fw::DBMemo(this);
    dbmOther->setObjectName("dbmOther");
    dbmOther->setDataSource(dsCust);
    dbmOther->setDataField("OTHER");
    dbdeDateCr = FieldDateEdit(this, "dbdeDateCr", dsCust, "DATECR");
    dbdeDateCr->setFixedWidth(120);
    dbdeDateCr->SetReadOnly(CurrentUser.IdUser != 0);
    dblcUser = Lookup(this, "dblcUser", dm ? &dm->dsUser : nullptr, "IDUSER", "NAME", 150, dsCust);
    dblcUser->setEnabled(false);
    info->addWidget(new QLabel("Источник", this), 0, 0);
    info->addWidget(dblcReklama, 0, 1);
    info->addWidget(dblcReklama2, 0, 2);
    info->addWidget(new QLabel("Сегмент", this), 1, 0);
    info->addWidget(dblcSegment, 1, 1);
    info->addLayout(Pair(dblcSegment2, tbSegmentFind), 1, 2);
    info->addWidget(new QLabel("О компании", this), 2, 0, Qt::AlignTop);
    info->addWidget(dbmOther, 2, 1, 1, 2);
    auto* reg = new QHBoxLayout;
    reg->addWidget(dbdeDateCr);
    reg->addSpacing(12);
    reg->addWidget(new QLabel("Куратор", this));
    reg->addWidget(dblcUser, 1);
    info->addWidget(new QLabel("Регистрация", this), 3, 0);
    info->addLayout(reg, 3, 1, 1, 2);
    info->setColumnStretch(1, 1);
    info->setColumnStretch(2, 1);
    info->setRowStretch(2, 1);

    OnClick(tbSegmentFind, this, [this] { ShowSegmentFind(this, dblcSegment, dblcSegment2); });
}

void TInfoPage::OpenDetails()
{
    for (fw::Query* q : {&dmKl->qryReklama, &dmKl->qryReklama2, &dmKl->qrySegment, &dmKl->qrySegment2}) q->open();
}

// --- goods

TSalesPage::TSalesPage(QTabWidget* pages) : TKlientPage(pages, "tsSales", "Товар")
{
    auto* sales = PageLayout(this);
    tbrSales = ToolBar(this, "tbrSales");
    sbReg = AddToolButton(tbrSales, "sbReg", "Регистрация");
    tbSalesToSdelka = AddToolButton(tbrSales, "tbSalesToSdelka", "На сделку", 10);
    cbSalesFilter = new QCheckBox("(Оплаченные или регистрированные) и не возврат", tbrSales);
    cbSalesFilter->setObjectName("cbSalesFilter");
    cbSalesFilter->setChecked(true);
    tbrSales->addSeparator();
    tbrSales->addWidget(cbSalesFilter);
    sales->addWidget(tbrSales);
    dbgSales = Grid(this, "dbgSales", &dmKl->dsSales,
                    {{"Tovar", "Товар", 200}, {"KOLVO", "Кол-во"}, {"SERNUM", "Номер товара"},
                     {"SERNUMINT", "Номер отгрузки"}, {"DATEREG", "Дата регистрации"}, {"BACK", "Возврат"},
                     {"UCHEB", "Признак1"}, {"UPGRADE", "Признак2"}, {"SALESCOMPANY", "Место покупки", 160},
                     {"NOTE", "Комментарий", 200}});
    dbgSales->setReadOnly(true);
    dbgSales->setCellStyler([](const fw::GridCell& cell, fw::CellStyle& style) {
        const bool unpaid = cell.value("SummaDF").asCurrency() <= fw::Currency() && cell.value("SerNum").asString().isEmpty();
        if (unpaid || cell.value("Back").asString() == "+")
            style.text = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    });
    sales->addWidget(dbgSales, 1);

    OnClick(sbReg, this, [this] { SBRegClick(); });
    OnClick(tbSalesToSdelka, this, [this] { tbSalesToSdelkaClick(); });
    connect(cbSalesFilter, &QCheckBox::clicked, this,
            fw::guarded([this] { dmKl->qrySales.setFiltered(cbSalesFilter->isChecked()); }));
}

void TSalesPage::OpenDetails()
{
    dmKl->qrySales.open();
}

void TSalesPage::SBRegClick()
{
    // Asked again here: a right revoked since the window opened must not be usable.
    if (!UserRights || !UserRights->IsGranted(CurrentUser.IdUser, 1028))
        throw fw::UserError("У Вас нет права регистрировать товар!");
    ShowReg(this);
}

void TSalesPage::tbSalesToSdelkaClick()
{
    fw::Query& sales = dmKl->qrySales;
    if (!HasRows(sales)) return;
    JumpTo(dmKl->qrySdelka, "idSdelka", sales.fieldByName("idSdelka").value(), "tsSdelka", "Сделка не найдена!");
}

// --- deals

TSdelkaPage::TSdelkaPage(QTabWidget* pages) : TKlientPage(pages, "tsSdelka", "Сделки")
{
    auto* sdelka = PageLayout(this);
    tbrSdelka = ToolBar(this, "tbrSdelka");
    tbSdelkaAdd = AddToolButton(tbrSdelka, "tbSdelkaAdd", "Новая", 0);
    tbSdelkaEdit = AddToolButton(tbrSdelka, "tbSdelkaEdit", "Изменить", 1);
    tbSdelkaDel = AddToolButton(tbrSdelka, "tbSdelkaDel", "Удалить", 2);
    tbSdelkaToDog = AddToolButton(tbrSdelka, "tbSdelkaToDog", "На договор");
    sdelka->addWidget(tbrSdelka);
    dbgSdelka = Grid(this, "dbgSdelka", &dmKl->dsSdelka,
                     {{"NAME", "Название", 180}, {"User", "Куратор", 120}, {"Sdelka_St", "Статус", 100},
                      {"SdelkaType", "Тип сделки", 120}, {"DATE_BEGIN", "Начало"}, {"DATE_END", "Окончание"},
                      {"Prichina", "Причина", 140}, {"Prichina2", "Причина2", 140}, {"NOTE", "Комментарий", 180},
                      {"NOSCHET", "Счет №"}, {"NONAKL", "Накладная №"}, {"NOSCHETF", "Счет-фактура №"},
                      {"DATESCHET", "Дата счета"}, {"DATENAKL", "Дата накладной"}, {"DATESCHETF", "Дата счета-ф."},
                      {"Etap", "Этап отказа", 140}, {"Otkaz", "Отказ", 140}});
    dbgSdelka->setReadOnly(true);
    if (dm)
        dbgSdelka->setCellDrawer([](QPainter& p, const QRect& r, const fw::GridCell& cell, fw::CellStyle& style) {
            dm->dbgSdelkaDrawColumnCell(p, r, cell, style);
        });
    sdelka->addWidget(dbgSdelka, 1);

    OnClick(tbSdelkaAdd, this, [this] { tbSdelkaAddClick(); });
    OnClick(tbSdelkaEdit, this, [this] { tbSdelkaEditClick(); });
    OnClick(tbSdelkaDel, this, [this] { tbSdelkaDelClick(); });
    OnClick(tbSdelkaToDog, this, [this] { tbSdelkaToDogClick(); });
    connect(dbgSdelka, &QAbstractItemView::doubleClicked, this, fw::guarded([this] { tbSdelkaEditClick(); }));
}

void TSdelkaPage::OpenDetails()
{
    dmKl->qrySdelka.open();
}

void TSdelkaPage::LocateRecord(int idRecord, int)
{
    Locate(dmKl->qrySdelka, "idSdelka", idRecord, "Сделка не найдена");
}

void TSdelkaPage::tbSdelkaAddClick()
{
    dmKl->CheckInsertRight();
    PostIfInsert(dmKl->qryCust);
    if (!dmKl->qrySdelka.active()) return;
    {
        std::unique_ptr<TfmSdelka> card(new TfmSdelka(this));
        fw::Query& sd = dmKlSd->qrySdelka;
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(0);
        sd.open();
        sd.append();
        sd.post();
        const int id = sd.fieldByName("idSdelka").asInteger();
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(id);
        sd.open();
        card->exec();
    }
    dmKl->qrySdelka.close();
    dmKl->qrySdelka.open();
    dmKl->qrySales.close();
}

void TSdelkaPage::tbSdelkaEditClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!HasRows(list)) return;
    dmKl->qryDownBeforeEdit(list);
    const int id = list.fieldByName("idSdelka").asInteger();
    {
        std::unique_ptr<TfmSdelka> card(new TfmSdelka(this));
        fw::Query& sd = dmKlSd->qrySdelka;
        sd.close();
        sd.paramByName("idSdelka").setAsInteger(id);
        sd.open();
        if (sd.isEmpty()) fw::dialogs().error("Сделка больше не доступна!");
        else card->exec();
    }
    list.close();
    list.open();
    list.locate("idSdelka", id);
    dmKl->qrySales.close();
}

void TSdelkaPage::tbSdelkaDelClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!HasRows(list)) return;
    list.remove();
    dmKl->qrySales.close();
}

void TSdelkaPage::tbSdelkaToDogClick()
{
    fw::Query& list = dmKl->qrySdelka;
    if (!HasRows(list)) return;
    JumpTo(dmKl->qryDog, "idDog", list.fieldByName("idDog").value(), "tsDog", "Договор не найден!");
}

// --- contracts

TDogPage::TDogPage(QTabWidget* pages) : TKlientPage(pages, "tsDog", "Договора")
{
    auto* dog = PageLayout(this);
    tbrDog = ToolBar(this, "tbrDog");
    tbDogAdd = AddToolButton(tbrDog, "tbDogAdd", "Новый", 0);
    tbDogEdit = AddToolButton(tbrDog, "tbDogEdit", "Изменить", 1);
    tbDogDel = AddToolButton(tbrDog, "tbDogDel", "Удалить", 2);
    tbDogAddLink = AddToolButton(tbrDog, "tbDogAddLink", "Добавить ссылку");
    tbDogOpenLink = AddToolButton(tbrDog, "tbDogOpenLink", "Открыть ссылку");
    dog->addWidget(tbrDog);
    dbgDog = Grid(this, "dbgDog", &dmKl->dsDog,
                  {{"DOGNUMBER", "Номер договора", 140}, {"DATEZAKL", "Дата заключения"},
                   {"DATEBEGIN", "Дата начала"}, {"DATEEND", "Дата завершения"}, {"User", "Куратор", 120},
                   {"NOTE", "Комментарий", 200}, {"SKIDKA", "Скидка"}, {"FILEPATH", "Ссылка", 200}});
    dbgDog->setReadOnly(true);
    dog->addWidget(dbgDog, 1);

    OnClick(tbDogAdd, this, [this] { tbDogAddClick(); });
    OnClick(tbDogEdit, this, [this] { tbDogEditClick(); });
    OnClick(tbDogDel, this, [] { RemoveCurrent(dmKl->qryDog); });
    OnClick(tbDogAddLink, this, [this] { AddLink(dmKl->qryDog, dbgDog); });
    OnClick(tbDogOpenLink, this, [this] { OpenRecordLink(this, dmKl->qryDog, dbgDog); });
}

void TDogPage::OpenDetails()
{
    dmKl->qryDog.open();
}

void TDogPage::tbDogAddClick()
{
    fw::Query& dog = dmKl->qryDog;
    if (!dog.active()) return;
    dog.first();
    dog.insert();
    if (dog.state() == fw::DataSetState::Insert) ShowDog(this);
}

void TDogPage::tbDogEditClick()
{
    fw::Query& dog = dmKl->qryDog;
    if (!HasRows(dog)) return;
    dog.edit();
    ShowDog(this);
}
