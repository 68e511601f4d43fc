#include "ReferenceListsFixture.h"

#include "core/SpravTableFrame.h"
#include "core/fmSelectItem.h"

#include "widgets/DBGrid.h"

#include <QImage>
#include <QPainter>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

TEST_F(ReferenceLists, EveryListShowsItsLevelsAndTheirDetails)
{
    EXPECT_EQ(fmSetupList->cbSprav->count(), 10);
    EXPECT_EQ(fmSetupList->cbSprav->currentIndex(), -1);   // nothing shown until one is chosen
    const int levels[] = {3, 2, 2, 2, 2, 2, 2, 2, 1, 1};
    for (int n = 0; n < SpravCount; ++n) {
        SCOPED_TRACE(SpravList[size_t(n)].Name.toStdString());
        TSprav* s = select(n);
        ASSERT_TRUE(s->Built);
        EXPECT_TRUE(s->Panel->isVisible());
        EXPECT_EQ(s->Rec.Count, levels[n]);
        EXPECT_EQ(fmSetupList->tbImport->isEnabled(), n == 1);
        for (int l = 0; l < s->Rec.Count; ++l) {
            const TSpravTable& t = s->Rec.Tables[size_t(l)];
            fw::DBGrid* grid = s->Grids[size_t(l)]->Grid;
            EXPECT_EQ(grid->columnTitle(0), t.Caption1);
            EXPECT_EQ(grid->columnCount(), t.Field2.isEmpty() ? 1 : 2);
            EXPECT_TRUE(s->Queries[size_t(l)]->active());
            EXPECT_EQ(s->Queries[size_t(l)]->sql().size(), l == 0 ? 1 : 2);
        }
        for (int l = s->Rec.Count; l < 3; ++l) EXPECT_EQ(s->Queries[size_t(l)], nullptr);
    }
    // Going back shows the kept editor, not a second one.
    TSprav* goods = select(1);
    EXPECT_TRUE(goods->Panel->isVisible());
    EXPECT_FALSE(fmSetupList->SpravMan->GetSprav(9)->Panel->isVisible());
}

TEST_F(ReferenceLists, TheNoneRowCanBeNeitherEditedNorDeleted)
{
    for (int n = 0; n < SpravCount; ++n) {
        SCOPED_TRACE(SpravList[size_t(n)].Name.toStdString());
        TSprav* s = select(n);
        fw::Query& q = *s->Queries[0];
        ASSERT_TRUE(q.locate(s->Rec.Tables[0].KeyField, 0));
        EXPECT_THROW(q.edit(), fw::Abort);
        EXPECT_EQ(q.state(), fw::DataSetState::Browse);
        EXPECT_THROW(q.remove(), fw::Abort);   // no confirmation is asked
        EXPECT_TRUE(q.locate(s->Rec.Tables[0].KeyField, 0));
        EXPECT_THROW(s->DelClick(0), fw::Abort);   // the button shows nothing either
        EXPECT_TRUE(q.locate(s->Rec.Tables[0].KeyField, 0));
    }
}

TEST_F(ReferenceLists, DeleteAsksFirst)
{
    TSprav* s = select(9);
    fw::Query& q = *s->Queries[0];
    q.append();
    q.fieldByName("Etap").setAsString("Переговоры");
    q.post();
    const int id = q.fieldByName("idEtap").asInteger();
    dialogs.expectConfirm(false, "Удалить?").expectConfirm(true, "Удалить?");
    EXPECT_THROW(s->DelClick(0), fw::Abort);
    EXPECT_EQ(count(QString("select count(*) from Etap where idEtap = %1").arg(id)), 1);
    s->DelClick(0);
    EXPECT_EQ(count(QString("select count(*) from Etap where idEtap = %1").arg(id)), 0);
}

TEST_F(ReferenceLists, NewRowsTakeKeysAndTheirMastersLink)
{
    TSprav* s = select(1);
    fw::Query& groups = *s->Queries[0];
    fw::Query& goods = *s->Queries[1];
    s->AddClick(0);
    groups.fieldByName("GrTovar").setAsString("Станки");
    // A detail row started while its master is still being typed posts the master first.
    s->AddClick(1);
    EXPECT_EQ(groups.state(), fw::DataSetState::Browse);
    const int idGroup = groups.fieldByName("idGrTovar").asInteger();
    EXPECT_GT(idGroup, 0);
    EXPECT_EQ(count(QString("select count(*) from GrTovar where idGrTovar = %1 and GrTovar = 'Станки'").arg(idGroup)), 1);
    ASSERT_EQ(goods.state(), fw::DataSetState::Insert);
    EXPECT_EQ(goods.fieldByName("Price").asCurrency(), fw::Currency());
    goods.fieldByName("idTovar").setAsInteger(-5);   // whatever it held, the key procedure decides
    goods.fieldByName("Tovar").setAsString("Токарный");
    goods.fieldByName("Price").clear();
    goods.post();
    const int idTovar = goods.fieldByName("idTovar").asInteger();
    EXPECT_GT(idTovar, 0);
    EXPECT_EQ(count(QString("select count(*) from Tovar where idTovar = %1 and idGrTovar = %2 and Price = 0")
                        .arg(idTovar)
                        .arg(idGroup)),
              1);

    // Switching lists posts what is being typed.
    goods.edit();
    goods.fieldByName("Price").setAsCurrency(fw::Currency::fromInt(250));
    select(2);
    EXPECT_EQ(count(QString("select count(*) from Tovar where idTovar = %1 and Price = 250").arg(idTovar)), 1);
    EXPECT_FALSE(fmSetupList->tbImport->isEnabled());
}

TEST_F(ReferenceLists, ClickingAnotherMasterRowWritesTheDetailRowBeingTyped)
{
    db.execute("insert into Segmentt (idSegment, Segmentt) values (701, 'Опт')");
    db.execute("insert into Segmentt (idSegment, Segmentt) values (702, 'Розница')");
    TSprav* s = select(4);
    fw::Query& segments = *s->Queries[0];
    fw::Query& seconds = *s->Queries[1];
    fw::DBGrid* masterGrid = s->Grids[0]->Grid;
    auto clickMaster = [&](int row) {
        const QRect cell = masterGrid->visualRect(masterGrid->model()->index(row, 0));
        QTest::mouseClick(masterGrid->viewport(), Qt::LeftButton, {}, cell.center());
    };
    ASSERT_TRUE(segments.locate("idSegment", 701));
    const int opt = segments.currentRow();
    const int other = opt == 0 ? 1 : 0;

    // A new row typed, then another master row clicked and the first clicked again.
    s->AddClick(1);
    seconds.fieldByName("Segmentt2").setAsString("Z1");
    clickMaster(other);
    EXPECT_NE(segments.fieldByName("idSegment").asInteger(), 701);
    EXPECT_EQ(count("select count(*) from Segmentt2 where idSegment = 701 and Segmentt2 = 'Z1'"), 1);
    clickMaster(opt);
    ASSERT_TRUE(seconds.locate("Segmentt2", fw::Value("Z1")));

    // An edit of an existing row is written the same way.
    seconds.edit();
    seconds.fieldByName("Segmentt2").setAsString("Z2");
    clickMaster(other);
    EXPECT_EQ(count("select count(*) from Segmentt2 where idSegment = 701 and Segmentt2 = 'Z2'"), 1);

    // New goods under a group are written when another group is clicked.
    TSprav* goods = select(1);
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (701, 'Прессы')");
    goods->Queries[0]->refresh();
    ASSERT_TRUE(goods->Queries[0]->locate("idGrTovar", 701));
    const int group = goods->Queries[0]->currentRow();
    goods->AddClick(1);
    goods->Queries[1]->fieldByName("Tovar").setAsString("Фрезерный");
    fw::DBGrid* groupGrid = goods->Grids[0]->Grid;
    const QRect cell = groupGrid->visualRect(groupGrid->model()->index(group == 0 ? 1 : 0, 0));
    QTest::mouseClick(groupGrid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(count("select count(*) from Tovar where idGrTovar = 701 and Tovar = 'Фрезерный'"), 1);
}

TEST_F(ReferenceLists, AnEditThatCannotBePostedKeepsTheWindowOpen)
{
    db.execute("insert into GrTovar (idGrTovar, GrTovar) values (77, 'Прессы')");
    TSprav* s = select(1);
    fw::Query& groups = *s->Queries[0];
    ASSERT_TRUE(groups.locate("idGrTovar", 77));
    groups.edit();
    groups.fieldByName("GrTovar").setAsString("Прессы гидравлические");
    db.execute("delete from GrTovar where idGrTovar = 77");   // another user removed the row
    dialogs.expectError();
    EXPECT_FALSE(fmSetupList->close());
    ASSERT_FALSE(fmSetupList.isNull());
    EXPECT_TRUE(fmSetupList->isVisible());
    EXPECT_EQ(groups.state(), fw::DataSetState::Edit);
    EXPECT_EQ(groups.fieldByName("GrTovar").asString(), "Прессы гидравлические");
    groups.cancel();
    EXPECT_TRUE(fmSetupList->close());
}

TEST_F(ReferenceLists, MailingFilesNeedAnItemAndComeFromTheFileDialog)
{
    TSprav* s = select(0);
    fw::Query& items = *s->Queries[1];
    fw::Query& paths = *s->Queries[2];
    // The "none" group has no items, so there is nothing to add files to.
    ASSERT_TRUE(s->Queries[0]->locate("idGrItem", 0));
    EXPECT_TRUE(items.isEmpty());
    dialogs.expectOpenFile({"/tmp/x.pdf"});
    EXPECT_THROW(s->AddClick(2), fw::Abort);
    EXPECT_TRUE(paths.isEmpty());
    EXPECT_EQ(count("select count(*) from ItemPath"), 0);

    s->AddClick(0);
    s->Queries[0]->fieldByName("GrItem").setAsString("Каталоги");
    s->AddClick(1);
    items.fieldByName("Item").setAsString("Прайс-лист");
    items.post();
    const int idItem = items.fieldByName("idItem").asInteger();
    dialogs.expectOpenFile({"/tmp/a.pdf", "/tmp/b.pdf", "/tmp/c.pdf"});
    s->AddClick(2);
    EXPECT_EQ(paths.recordCount(), 3);
    EXPECT_EQ(count(QString("select count(*) from ItemPath where idItem = %1").arg(idItem)), 3);
    EXPECT_EQ(count(QString("select count(distinct idPath) from ItemPath where idItem = %1").arg(idItem)), 3);
}

TEST_F(ReferenceLists, DistrictsTakeRegionsWithoutADistrict)
{
    db.execute("insert into District (idDistrict, District) values (501, 'Северный')");
    db.execute("insert into District (idDistrict, District) values (502, 'Южный')");
    db.execute("insert into Region (idRegion, idDistrict, Region) values (601, 0, 'Свободный')");
    db.execute("insert into Region (idRegion, idDistrict, Region) values (602, null, 'Без района')");
    db.execute("insert into Region (idRegion, idDistrict, Region) values (604, 502, 'Занятый')");
    TSprav* s = select(3);
    fw::Query& districts = *s->Queries[0];
    fw::Query& regions = *s->Queries[1];

    // The "none" district receives nothing.
    ASSERT_TRUE(districts.locate("idDistrict", 0));
    EXPECT_THROW(regions.insert(), fw::Abort);

    ASSERT_TRUE(districts.locate("idDistrict", 501));
    QStringList offered;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(fmSelectItem);
        EXPECT_EQ(fmSelectItem->windowTitle(), "Выбор региона");
        for (int i = 0; i < fmSelectItem->lb->count(); ++i) offered << fmSelectItem->lb->item(i)->text();
        const auto items = fmSelectItem->lb->findItems("Без района", Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        fmSelectItem->lb->setCurrentItem(items.first());
        fmSelectItem->btnOK->click();
    });
    s->AddClick(1);
    EXPECT_TRUE(offered.contains("Свободный"));
    EXPECT_TRUE(offered.contains("Без района"));
    EXPECT_FALSE(offered.contains("Занятый"));
    EXPECT_FALSE(offered.contains("-"));   // the region "none" stays where it is
    EXPECT_EQ(regions.state(), fw::DataSetState::Browse);
    EXPECT_EQ(db.selectValue("select idDistrict from Region where idRegion = 602").asInt(), 501);
    EXPECT_EQ(count("select count(*) from Region"), 4);   // no region was created

    // Cancel in the picker adds nothing.
    QTimer::singleShot(0, [] {
        ASSERT_TRUE(fmSelectItem);
        fmSelectItem->btnCancel->click();
    });
    EXPECT_THROW(s->AddClick(1), fw::Abort);
    EXPECT_EQ(regions.recordCount(), 1);
    EXPECT_EQ(regions.state(), fw::DataSetState::Browse);

    // The region level is not edited here, and removing leaves the region in place.
    ASSERT_TRUE(regions.locate("idRegion", 602));
    EXPECT_THROW(regions.edit(), fw::Abort);
    dialogs.expectConfirm(true, "Удалить?");
    s->DelClick(1);
    EXPECT_TRUE(regions.isEmpty());
    EXPECT_EQ(db.selectValue("select idDistrict from Region where idRegion = 602").asInt(), 0);

    // The region "none" attached to a district by an earlier version can be taken out again.
    db.execute("update Region set idDistrict = 501 where idRegion = 0");
    districts.refresh();
    ASSERT_TRUE(districts.locate("idDistrict", 501));
    ASSERT_TRUE(regions.locate("idRegion", 0));
    dialogs.expectConfirm(true, "Удалить?");
    s->DelClick(1);
    EXPECT_EQ(db.selectValue("select idDistrict from Region where idRegion = 0").asInt(), 0);
}

TEST_F(ReferenceLists, TheNoneRowIsGrey)
{
    TSprav* s = select(9);
    fw::Query& q = *s->Queries[0];
    q.append();
    q.fieldByName("Etap").setAsString("Договор");
    q.post();
    TSpravTableFrame* frame = s->Grids[0];
    fw::GridCell cell;
    cell.grid = frame->Grid;
    cell.column = 0;
    cell.field = &q.fieldByName("Etap");
    QImage image(50, 20, QImage::Format_ARGB32);
    QPainter painter(&image);
    const QColor normal(1, 2, 3);
    for (int row = 0; row < q.rowCount(); ++row) {
        cell.row = row;
        fw::CellStyle style;
        style.text = normal;
        frame->GridDrawColumnCell(painter, QRect(0, 0, 50, 20), cell, style);
        const bool none = q.valueAt(row, q.field(0)).asInt() == 0;
        EXPECT_EQ(style.text != normal, none) << row;
    }
}

TEST_F(ReferenceLists, TheMenuOpensOneWindow)
{
    delete fmSetupList.data();
    ModuleWindows().SetupList = ModuleWindow(fmSetupList);
    QWidget* w = ModuleWindows().SetupList.create(nullptr);
    EXPECT_EQ(w, fmSetupList.data());
    EXPECT_EQ(w->windowTitle(), "Настройка справочников");
    delete w;
    EXPECT_TRUE(fmSetupList.isNull());
    ModuleWindows().SetupList = {};
    fmSetupList = new TfmSetupList;
}
