#include "clients/fmReg.h"

#include "clients/dmKl.h"
#include "controls/DBDateEdit.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/Users.h"
#include "core/dm.h"

#include "db/DbError.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>
#include <tuple>

QPointer<TfmReg> fmReg;

namespace {

bool editing(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

fw::DBCheckBox* Check(QWidget* parent, const char* name, const QString& caption, fw::DataSource* source,
                      const char* field)
{
    auto* c = new fw::DBCheckBox(caption, parent);
    c->setObjectName(name);
    c->setDataSource(source);
    c->setDataField(field);
    return c;
}

} // namespace

TfmReg::TfmReg(QWidget* owner) : QDialog(owner)
{
    fmReg = this;
    setObjectName("fmReg");
    setWindowTitle("Регистрация товара");
    setProperty("HelpContext", HelpContext);
    resize(640, 400);

    fw::Database* sv = &dm->db;
    for (auto [q, ds, name] : {std::tuple{&qrySales, &dsSales, "qrySales"}, std::tuple{&qryGrTovar, &dsGrTovar, "qryGrTovar"},
                               std::tuple{&qryTovar, &dsTovar, "qryTovar"}}) {
        q->setParent(this);
        q->setObjectName(name);
        q->setDatabase(sv);
        ds->setParent(this);
        ds->setObjectName(QString(name).replace(0, 3, "ds"));
        ds->setDataSet(q);
    }
    qrySales.setSql({"select *", "from Sales", "where", "  idCust=:idCust", "order by idSale desc"});
    qryGrTovar.setSql({"select *", "from GrTovar", "order by GrTovar"});
    qryTovar.setSql({"select *", "from Tovar", "order by Tovar"});
    qryTovar.setFiltered(true);
    qrySales.addLookupField("Tovar", "IDTOVAR", &dm->qryTovar, "IDTOVAR", "TOVAR", 100);

    // Registered goods carry no money and no deal; an edit here keeps a deal's
    // goods line in its deal with its sums.
    const QStringList columns{"IDSALE", "IDCUST", "IDUSER", "SALESCOMPANY", "DATEREG", "KOLVO",
                              "IDTOVAR", "SERNUM", "UPGRADE", "UCHEB", "NOTE", "BACK"};
    QStringList set;
    for (int i = 0; i < columns.size(); ++i)
        set << "  " + columns[i] + " = :" + columns[i] + (i + 1 < columns.size() ? "," : "");
    usqlSales.setInsertSql({"insert into Sales",
                            "  (" + columns.join(", ") + ", SUMMADP, SUMMADF, SUMMARP, SUMMARF, KURS)", "values",
                            "  (:" + columns.join(", :") + ", 0, 0, 0, 0, 0)"});
    usqlSales.setModifySql(QStringList{"update Sales", "set"} + set + QStringList{"where", "  IDSALE = :OLD_IDSALE"});
    usqlSales.setDeleteSql({"delete from Sales", "where", "  IDSALE = :OLD_IDSALE"});
    qrySales.setUpdateObject(&usqlSales);
    spSales.setDatabase(sv);
    spSales.setStoredProcName("ID_SALE");

    qrySales.onNewRecord = [this](fw::DataSet& ds) { qrySalesNewRecord(ds); };
    qrySales.beforePost = [this](fw::DataSet& ds) { qrySalesBeforePost(ds); };
    qrySales.beforeDelete = [this](fw::DataSet& ds) { qrySalesBeforeDelete(ds); };
    qrySales.afterCancel = [this](fw::DataSet& ds) { qrySalesAfterCancel(ds); };
    qrySales.afterPost = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };
    qrySales.afterDelete = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };

    // Tool bar.
    auto* root = ToolBarColumn(this, ToolBar);
    using Nav = fw::DBNavigator::Button;
    dbnSales = Navigator(ToolBar, "dbnSales", &dsSales, {Nav::First, Nav::Prior, Nav::Next, Nav::Last, Nav::Post, Nav::Cancel});
    ToolBar->addWidget(dbnSales);
    ToolBar->addSeparator();
    tbAdd = AddToolButton(ToolBar, "tbAdd", "Добавить", 0);
    tbDel = AddToolButton(ToolBar, "tbDel", "Удалить", 2);

    pcReg = new QTabWidget(this);
    pcReg->setObjectName("pcReg");
    root->addWidget(pcReg, 1);

    // The current row.
    tsTovar = new QWidget(pcReg);
    tsTovar->setObjectName("tsTovar");
    pcReg->addTab(tsTovar, "Товар");
    dblcGrTovar = LookupCombo(tsTovar, "dblcGrTovar", &dsGrTovar, "IDGRTOVAR", "GRTOVAR");
    dblcTovar = LookupCombo(tsTovar, "dblcTovar", &dsTovar, "IDTOVAR", "TOVAR", &dsSales, "IDTOVAR");
    dbcbBack = Check(tsTovar, "dbcbBack", "Возврат", &dsSales, "BACK");
    dbcbPriznak1 = Check(tsTovar, "dbcbPriznak1", "Признак1", &dsSales, "UCHEB");
    dbcbPriznak2 = Check(tsTovar, "dbcbPriznak2", "Признак2", &dsSales, "UPGRADE");
    dbeSerNum = FieldEdit(tsTovar, "dbeSerNum", &dsSales, "SERNUM", 50);
    dbeSalesCompany = FieldEdit(tsTovar, "dbeSalesCompany", &dsSales, "SALESCOMPANY", 100);
    dbeNote = FieldEdit(tsTovar, "dbeNote", &dsSales, "NOTE", 100);
    dbdeDateReg = new TDBDateEdit(tsTovar);
    dbdeDateReg->setObjectName("dbdeDateReg");
    dbdeDateReg->SetDataSource(&dsSales);
    dbdeDateReg->SetDataField("DATEREG");
    dbeKolvo = FieldEdit(tsTovar, "dbeKolvo", &dsSales, "KOLVO");

    auto* card = new QGridLayout(tsTovar);
    card->addWidget(new QLabel("Группа", tsTovar), 0, 0);
    card->addWidget(dblcGrTovar, 0, 1, 1, 3);
    card->addWidget(new QLabel("Товар", tsTovar), 1, 0);
    card->addWidget(dblcTovar, 1, 1, 1, 3);
    auto* flags = new QHBoxLayout;
    flags->addWidget(dbcbBack);
    flags->addWidget(dbcbPriznak1);
    flags->addWidget(dbcbPriznak2);
    flags->addStretch();
    card->addLayout(flags, 2, 1, 1, 3);
    card->addWidget(new QLabel("Номер товара", tsTovar), 3, 0);
    card->addWidget(dbeSerNum, 3, 1, 1, 3);
    card->addWidget(new QLabel("Место покупки", tsTovar), 4, 0);
    card->addWidget(dbeSalesCompany, 4, 1, 1, 3);
    card->addWidget(new QLabel("Комментарий", tsTovar), 5, 0);
    card->addWidget(dbeNote, 5, 1, 1, 3);
    card->addWidget(new QLabel("Дата регистрации", tsTovar), 6, 0);
    card->addWidget(dbdeDateReg, 6, 1);
    card->addWidget(new QLabel("Количество", tsTovar), 6, 2, Qt::AlignRight);
    card->addWidget(dbeKolvo, 6, 3);
    card->setColumnStretch(1, 1);
    card->setColumnStretch(3, 1);
    card->setRowStretch(7, 1);

    // All the client's goods.
    tsList = new QWidget(pcReg);
    tsList->setObjectName("tsList");
    pcReg->addTab(tsList, "Список");
    dbgSales = Grid(tsList, "dbgSales", &dsSales,
                    {ReadOnlyColumn("Tovar", "Товар", 180), {"KOLVO", "Кол-во"}, {"DATEREG", "Дата регистрации"},
                     {"SERNUM", "Номер товара", 120}, ReadOnlyColumn("BACK", "Возврат"),
                     ReadOnlyColumn("UCHEB", "Признак1"), ReadOnlyColumn("UPGRADE", "Признак2"),
                     {"SALESCOMPANY", "Место покупки", 160}, {"NOTE", "Заметка", 200}});
    PageLayout(tsList)->addWidget(dbgSales);

    connect(tbAdd, &QToolButton::clicked, this, fw::guarded([this] { tbAddClick(); }));
    connect(tbDel, &QToolButton::clicked, this, fw::guarded([this] { tbDelClick(); }));
    connect(dblcGrTovar, &fw::DBLookupCombo::activated, this, fw::guarded([this] { dblcGrTovarClick(); }));

    FormCreate();
}

TfmReg::~TfmReg()
{
    try {
        FormClose();
    } catch (...) {
        // Nothing can be shown from a destructor.
    }
    if (fmReg == this) fmReg = nullptr;
    // The controls go before the data sets they show.
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete w;
}

void TfmReg::FormCreate()
{
    pcReg->setCurrentWidget(tsTovar);
    if (!dm->qryMain.active()) dm->qryMain.open();
    dbcbPriznak1->setText(dm->qryMain.fieldByName("PRIZNAK1").asString());
    dbcbPriznak2->setText(dm->qryMain.fieldByName("PRIZNAK2").asString());
    SetColumnTitles(dbgSales);
    if (!dm->qryTovar.active()) dm->qryTovar.open();
}

void TfmReg::OpenSales(int idCust, const fw::Value& idSale)
{
    qryGrTovar.open();
    qryTovar.open();
    qrySales.close();
    qrySales.paramByName("idCust").setAsInteger(idCust);
    qrySales.prepare();
    qrySales.open();
    if (!idSale.isNull()) qrySales.locate("idSale", idSale);
    if (fw::Field* kolvo = qrySales.findField("KOLVO")) kolvo->setDisplayFormat(",0.###");
}

void TfmReg::qrySalesNewRecord(fw::DataSet& ds)
{
    ds.fieldByName("DATEREG").setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
    ds.fieldByName("IDUSER").setAsInteger(CurrentUser.IdUser);
    ds.fieldByName("KOLVO").setAsInteger(1);
    for (const char* flag : {"BACK", "UCHEB", "UPGRADE"}) ds.fieldByName(flag).setAsString("-");
    ds.fieldByName("IDCUST").setValue(qrySales.paramByName("idCust").value());
}

void TfmReg::qrySalesBeforePost(fw::DataSet& ds)
{
    if (ds.fieldByName("IDTOVAR").isNull()) {
        fw::dialogs().error("Не указан товар!");
        throw fw::Abort();
    }
    // Any quantity below one is refused, a fraction included.
    const fw::Value kolvo = ds.fieldByName("KOLVO").value();
    if (kolvo.isNull() || kolvo.asCurrency() < fw::Currency::fromInt(1)) {
        fw::dialogs().error("Количество не может быть меньше 1!");
        throw fw::Abort();
    }
    fw::Field& key = ds.fieldByName("IDSALE");
    if (key.isNull()) {
        spSales.execProc();
        key.setValue(spSales.param(0).value());
    }
}

void TfmReg::qrySalesBeforeDelete(fw::DataSet& ds)
{
    // Deleting a deal's goods line would take its payments with it, unseen.
    if (!ds.fieldByName("IDSDELKA").isNull())
        throw fw::UserError("Этот товар входит в сделку и здесь не удаляется.\r"
                            "Удалите его на карточке сделки.");
    if (!fw::dialogs().confirm("Удалить товар?")) throw fw::Abort();
}

void TfmReg::qrySalesAfterCancel(fw::DataSet&)
{
    // All goods are offered again.
    dblcTovar->setListSource(nullptr);
    qryTovar.setFilter(QString());
    dblcGrTovar->setKeyValue(fw::Value());
    dblcTovar->setListSource(&dsTovar);
}

void TfmReg::dblcGrTovarClick()
{
    const fw::Value group = dblcGrTovar->keyValue();
    if (group.isNull()) return;
    dblcTovar->setListSource(nullptr);
    qryTovar.setFilter("idGrTovar=" + QString::number(group.asInt()));
    dblcTovar->setListSource(&dsTovar);
    if (!dblcTovar->text().isEmpty()) return;
    // The row's goods are not of that group (or there is no row): pick anew.
    if (qrySales.isEmpty()) qrySales.append();
    else if (!editing(qrySales)) qrySales.edit();
    qrySales.fieldByName("IDTOVAR").clear();
}

void TfmReg::tbAddClick()
{
    qrySales.append();
}

void TfmReg::tbDelClick()
{
    if (!qrySales.active() || qrySales.isEmpty()) return;
    qrySales.remove();
}

bool TfmReg::FormCloseQuery()
{
    return fw::runGuarded([this] {
        if (!editing(qrySales)) return;
        qrySales.updateRecord();
        qrySales.post();
    });
}

void TfmReg::FormClose()
{
    if (closed_) return;
    closed_ = true;
    if (editing(qrySales)) qrySales.cancel();
    qrySales.close();
    qrySales.unprepare();
    qryGrTovar.close();
    qryTovar.close();
}

void TfmReg::done(int result)
{
    if (!FormCloseQuery()) return;
    fw::runGuarded([this] { FormClose(); });
    QDialog::done(result);
}

void ShowReg(QWidget* owner)
{
    fw::Query& cardSales = dmKl->qrySales;
    if (!cardSales.active()) return;
    fw::Query& cust = dmKl->qryCust;
    PostIfInsert(cust);
    const fw::Value idSale = cardSales.isEmpty() ? fw::Value() : cardSales.fieldByName("idSale").value();
    {
        std::unique_ptr<TfmReg> form(new TfmReg(owner));
        form->OpenSales(cust.fieldByName("idCust").asInteger(), idSale);
        form->exec();
    }
    cardSales.close();
    cardSales.open();
}
