#include "Sprav.h"

#include "core/SharedProcs.h"
#include "core/SqlText.h"
#include "core/SpravTableFrame.h"
#include "core/dm.h"
#include "core/fmSetupList.h"
#include "core/schema/References.h"

#include "db/DataSource.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "db/UpdateSql.h"
#include "widgets/DBGrid.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QComboBox>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

TSpravTable level(const char* table, const char* key, const char* proc, const char* field1,
                  const char* caption1, const char* field2 = "", const char* caption2 = "")
{
    return {table, key, proc, field1, caption1, field2, caption2};
}

QStringList statementLines(const QString& text)
{
    return TextToLines(text);
}

} // namespace

const std::array<TSpravRec, SpravCount> SpravList = {{
    {"Рассылка", 3,
     {level("GrItem", "idGrItem", "ID_GRITEM", "GrItem", "Группа"),
      level("Item", "idItem", "ID_ITEM", "Item", "Название"),
      level("ItemPath", "idPath", "ID_ITEM", "Path", "Файлы")}},
    {"Товары", 2,
     {level("GrTovar", "idGrTovar", "ID_GRTOVAR", "GrTovar", "Группа товара"),
      level("Tovar", "idTovar", "ID_TOVAR", "Tovar", "Товар", "Price", "Прайс"), TSpravTable{}}},
    {"Страны/Регионы", 2,
     {level("Country", "idCountry", "ID_COUNTRY", "Country", "Страна"),
      level("Region", "idRegion", "ID_REGION", "Region", "Регион"), TSpravTable{}}},
    {"Районы/Регионы", 2,
     {level("District", "idDistrict", "ID_DISTRICT", "District", "Район"),
      level("Region", "idRegion", "no key", "Region", "Регион"), TSpravTable{}}},
    {"Сегменты", 2,
     {level("Segmentt", "idSegment", "ID_SEGMENT", "Segmentt", "Сегмент"),
      level("Segmentt2", "idSegment2", "ID_SEGMENT2", "Segmentt2", "Сегмент2"), TSpravTable{}}},
    {"Источники", 2,
     {level("Reklama", "idReklama", "ID_REKLAMA", "Reklama", "Источник"),
      level("Reklama2", "idReklama2", "ID_REKLAMA2", "Reklama2", "Источник2"), TSpravTable{}}},
    {"Причины", 2,
     {level("Prichina", "idPrichina", "ID_PRICHINA", "Prichina", "Причина"),
      level("Prichina2", "idPrichina2", "ID_PRICHINA2", "Prichina2", "Причина2"), TSpravTable{}}},
    {"Тип сделки/Отказ", 2,
     {level("SdelkaType", "idSdelkaType", "ID_SDELKATYPE", "SdelkaType", "Тип сделки"),
      level("Otkaz", "idOtkaz", "ID_OTKAZ", "Otkaz", "Причина отказа"), TSpravTable{}}},
    {"Типы заметок", 1,
     {level("HistType", "idHistType", "ID_HITYPE", "HistType", "Тип заметки"), TSpravTable{}, TSpravTable{}}},
    {"Этапы сделок", 1,
     {level("Etap", "idEtap", "ID_ETAP", "Etap", "Этап"), TSpravTable{}, TSpravTable{}}},
}};

// --- TSprav

TSprav::TSprav(int index, TfmSetupList* form) : Index(index), Rec(SpravList[size_t(index)]), Form(form) {}

TSprav::~TSprav()
{
    // A failed post is shown; the window goes anyway.
    fw::runGuarded([this] { CheckBrowseModeAll(); });
    for (int l = Rec.Count - 1; l >= 0; --l) {
        if (Queries[size_t(l)]) Queries[size_t(l)]->close();
    }
    delete Panel;
    for (int l = Rec.Count - 1; l >= 0; --l) {
        delete DataSources[size_t(l)];
        delete Queries[size_t(l)];
    }
}

int TSprav::Level(const fw::DataSet& ds) const
{
    for (int l = 0; l < Rec.Count; ++l)
        if (Queries[size_t(l)] == &ds) return l;
    return -1;
}

void TSprav::CheckBrowseModeAll()
{
    // The deepest level first: posting a master reopens its details.
    for (int l = Rec.Count - 1; l >= 0; --l) {
        fw::Query* q = Queries[size_t(l)];
        if (q && q->active()) q->checkBrowseMode();
    }
}

void TSprav::Build()
{
    Panel = new QSplitter(Qt::Horizontal, Form->pnlClient);
    Panel->setObjectName(QString("Panel%1").arg(Index));
    Panel->setChildrenCollapsible(false);
    Form->pnlClientLayout->addWidget(Panel);

    QList<int> sizes;
    const int width = std::max(30, Form->pnlClient->width() / Rec.Count);
    for (int l = 0; l < Rec.Count; ++l) {
        const TSpravTable& t = Rec.Tables[size_t(l)];
        const TSpravTable* master = l > 0 ? &Rec.Tables[size_t(l - 1)] : nullptr;

        auto* frame = new TSpravTableFrame(Panel);
        frame->setObjectName(QString("Frame%1").arg(l));
        frame->setMinimumWidth(30);
        frame->Tag = l;
        frame->tbAdd->setProperty("Tag", l);
        frame->tbDel->setProperty("Tag", l);
        QObject::connect(frame->tbAdd, &QToolButton::clicked, frame, fw::guarded([this, l] { AddClick(l); }));
        QObject::connect(frame->tbDel, &QToolButton::clicked, frame, fw::guarded([this, l] { DelClick(l); }));
        Panel->addWidget(frame);
        Panel->setStretchFactor(l, l + 1 == Rec.Count ? 1 : 0);
        Grids[size_t(l)] = frame;
        sizes << width;

        QStringList fields{t.KeyField};
        if (master) fields << master->KeyField;
        fields << t.Field1;
        if (!t.Field2.isEmpty()) fields << t.Field2;
        auto usql = std::make_unique<fw::UpdateSql>();
        usql->setInsertSql(statementLines(MakeInsertSQL(t.TableName, fields)));
        usql->setModifySql(statementLines(MakeModifySQL(t.TableName, fields)));
        usql->setDeleteSql(statementLines(MakeDeleteSQL(t.TableName, fields)));

        auto* q = new fw::Query(&dm->db, Form);
        q->setObjectName(QString("qry%1_%2").arg(t.TableName).arg(l));
        QStringList sql{QString("select * from %1").arg(t.TableName)};
        if (master) sql << QString("where %1 = :%1").arg(master->KeyField);
        q->setSql(sql);
        if (master) q->setMasterSource(DataSources[size_t(l - 1)]);
        q->setUpdateObject(usql.get());
        q->beforePost = [this](fw::DataSet& ds) { DataSetBeforePost(ds); };
        q->beforeInsert = [this](fw::DataSet& ds) { DataSetBeforeInsert(ds); };
        q->beforeEdit = [this](fw::DataSet& ds) { DataSetBeforeEdit(ds); };
        q->beforeDelete = [this](fw::DataSet& ds) { DataSetBeforeDelete(ds); };
        q->afterPost = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };
        q->afterDelete = [](fw::DataSet& ds) { dm->qryAfterPostDelete(ds); };
        // A row that others use stays; the check runs in the deleting transaction.
        q->setWriteGuard([table = t.TableName, key = t.KeyField](fw::UpdateKind kind, fw::DataSet& ds,
                                                                  fw::Transaction& tr) {
            if (kind == fw::UpdateKind::Delete) schema::clearUses(tr, table, ds.fieldByName(key).asInteger());
        });
        q->setProperty("Tag", l);
        Queries[size_t(l)] = q;
        UpdateSQLs[size_t(l)] = std::move(usql);
        q->open();

        DataSources[size_t(l)] = new fw::DataSource(q, Form);
        StoredProcs[size_t(l)] = std::make_unique<fw::StoredProc>(&dm->db, t.IdProc);

        QList<fw::GridColumn> columns{fw::GridColumn{t.Field1, t.Caption1, 220}};
        if (!t.Field2.isEmpty()) columns << fw::GridColumn{t.Field2, t.Caption2, 90};
        frame->Grid->setColumns(columns);
        // A lone name column takes the grid's width.
        frame->Grid->horizontalHeader()->setStretchLastSection(t.Field2.isEmpty());
        frame->Grid->setDataSource(DataSources[size_t(l)]);
    }
    Panel->setSizes(sizes);
    Built = true;
}

void TSprav::Show()
{
    if (!Built) Build();
    if (Panel) Panel->show();
}

void TSprav::Hide()
{
    if (Panel) Panel->hide();
}

void TSprav::AddClick(int level)
{
    Queries[size_t(level)]->insert();
    Grids[size_t(level)]->Grid->setFocus();
}

void TSprav::DelClick(int level)
{
    fw::Query* q = Queries[size_t(level)];
    if (!q->isEmpty()) q->remove();
}

void TSprav::DataSetBeforePost(fw::DataSet& ds)
{
    const int l = Level(ds);
    if (l < 0) return;
    const TSpravTable& t = Rec.Tables[size_t(l)];
    if (ds.state() == fw::DataSetState::Insert) {
        fw::StoredProc& sp = *StoredProcs[size_t(l)];
        sp.execProc();
        ds.fieldByName(t.KeyField).setValue(sp.param(0).value());
    }
    if (l > 0) {
        const QString& link = Rec.Tables[size_t(l - 1)].KeyField;
        ds.fieldByName(link).setValue(Queries[size_t(l - 1)]->fieldByName(link).value());
    }
}

void TSprav::DataSetBeforeInsert(fw::DataSet& ds)
{
    const int l = Level(ds);
    if (l <= 0) return;
    fw::Query* master = Queries[size_t(l - 1)];
    if (master->state() == fw::DataSetState::Insert) master->post();
    else if (master->isEmpty()) throw fw::Abort();
}

void TSprav::DataSetBeforeEdit(fw::DataSet& ds)
{
    const fw::Value key = ds.field(0).value();
    if (!key.isNull() && key.asInt() == 0) throw fw::Abort();
}

void TSprav::DataSetBeforeDelete(fw::DataSet& ds)
{
    const fw::Value key = ds.field(0).value();
    if (!key.isNull() && key.asInt() == 0) throw fw::Abort();
    if (!fw::dialogs().confirm("Удалить?")) throw fw::Abort();
}

// --- TSpravRassyl

void TSpravRassyl::AddClick(int level)
{
    if (level != 2) {
        TSprav::AddClick(level);
        return;
    }
    fw::FileDialog& od = Form->od;
    od.multiSelect = true;
    od.files.clear();
    if (!fw::dialogs().openFile(od)) return;
    fw::Query* q = Queries[2];
    for (const QString& file : od.files) {
        q->insert();
        q->fieldByName("Path").setAsString(file);
        q->post();
    }
}

// --- TSpravTovar

void TSpravTovar::Build()
{
    TSprav::Build();
    Queries[1]->onNewRecord = [this](fw::DataSet& ds) { TovarNewRecord(ds); };
}

void TSpravTovar::TovarNewRecord(fw::DataSet& ds)
{
    ds.fieldByName("Price").setAsCurrency(fw::Currency());
}

void TSpravTovar::DataSetBeforePost(fw::DataSet& ds)
{
    TSprav::DataSetBeforePost(ds);
    if (Level(ds) == 1 && ds.fieldByName("Price").isNull())
        ds.fieldByName("Price").setAsCurrency(fw::Currency());
}

// --- TSpravRR

void TSpravRR::Build()
{
    TSprav::Build();
    fw::UpdateSql& u = *UpdateSQLs[1];
    u.setInsertSql({"update Region set idDistrict = :idDistrict where idRegion = :idRegion"});
    u.setModifySql({});
    u.setDeleteSql({"update Region set idDistrict = 0 where idRegion = :OLD_idRegion"});
    // Taking a region out of a district deletes nothing.
    Queries[1]->setWriteGuard({});
    Queries[1]->onNewRecord = [this](fw::DataSet& ds) { RegionNewRecord(ds); };
}

void TSpravRR::RegionNewRecord(fw::DataSet& ds)
{
    int id = 0;
    QString text;
    // A region whose district is NULL has none either: "not NULL in (...)" is
    // unknown, so it is asked for separately. The region "-" stays where it is.
    if (!SelectValue(1, id, text,
                     "where idRegion <> 0 and ((idDistrict = 0) or (idDistrict is null)"
                     " or not idDistrict in (select idDistrict from District))",
                     "Выбор региона"))
        throw fw::Abort();
    ds.fieldByName("idDistrict").setValue(Queries[0]->fieldByName("idDistrict").value());
    ds.fieldByName("idRegion").setAsInteger(id);
    ds.fieldByName("Region").setAsString(text);
    ds.post();
}

void TSpravRR::DataSetBeforePost(fw::DataSet& ds)
{
    if (Level(ds) == 0) TSprav::DataSetBeforePost(ds);
}

void TSpravRR::DataSetBeforeInsert(fw::DataSet& ds)
{
    TSprav::DataSetBeforeInsert(ds);
    if (Level(ds) == 1 && Queries[0]->fieldByName("idDistrict").asInteger() == 0) throw fw::Abort();
}

void TSpravRR::DataSetBeforeEdit(fw::DataSet& ds)
{
    if (Level(ds) == 1) throw fw::Abort();
    TSprav::DataSetBeforeEdit(ds);
}

void TSpravRR::DataSetBeforeDelete(fw::DataSet& ds)
{
    if (Level(ds) != 1) {
        TSprav::DataSetBeforeDelete(ds);
        return;
    }
    if (Queries[0]->fieldByName("idDistrict").asInteger() == 0) throw fw::Abort();
    // The region "-" too: taking it out of a district puts it back where it belongs.
    if (!fw::dialogs().confirm("Удалить?")) throw fw::Abort();
}

// --- TSpravMan

TSpravMan::TSpravMan(TfmSetupList* form) : Form(form) {}

TSpravMan::~TSpravMan()
{
    for (auto& s : Sprav) s.reset();
}

void TSpravMan::PostAll()
{
    for (const auto& s : Sprav)
        if (s) s->CheckBrowseModeAll();
}

TSprav* TSpravMan::GetSprav(int n)
{
    auto& slot = Sprav[size_t(n)];
    if (!slot) {
        switch (n) {
        case 0: slot = std::make_unique<TSpravRassyl>(n, Form); break;
        case 1: slot = std::make_unique<TSpravTovar>(n, Form); break;
        case 3: slot = std::make_unique<TSpravRR>(n, Form); break;
        default: slot = std::make_unique<TSprav>(n, Form); break;
        }
    }
    return slot.get();
}

void TSpravMan::SelectSprav(int n)
{
    if (TSprav* current = Sprav[size_t(Current)].get()) {
        try {
            current->CheckBrowseModeAll();
        } catch (...) {
            const QSignalBlocker block(Form->cbSprav);
            Form->cbSprav->setCurrentIndex(Current);
            throw;
        }
        current->Hide();
    }
    GetSprav(n)->Show();
    Form->tbImport->setEnabled(n == 1);
    Current = n;
}
