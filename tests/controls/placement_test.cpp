#include "ControlsTestUtil.h"
#include "controls/DrawGrid.h"
#include "controls/Placement.h"

#include <QDialog>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class TfmImport : public QDialog {
    Q_OBJECT
public:
    TfmImport()
    {
        dgFields = new TBrDrawGrid(this);
        dgFields->setObjectName("dgFields");
        dgFields->SetColCount(3);
    }
    TBrDrawGrid* dgFields;
};

TEST(Placement, DefaultSections)
{
    TfmImport fm;
    EXPECT_EQ(DefaultSectionOf(fm.dgFields), "TfmImportdgFields");
    EXPECT_EQ(DefaultSectionOf(&fm), "TfmImport");
    QObject comp(&fm);
    comp.setObjectName("fpMain");
    EXPECT_EQ(DefaultSectionOf(&comp), "TfmImport.fpMain");
    EXPECT_EQ(DefaultSectionOf(nullptr), "");
    EXPECT_TRUE(DefaultIniFileName().endsWith(".INI"));
    EXPECT_TRUE(DefaultRegistryKey().startsWith("Software\\"));
}

TEST(Placement, QuotedTextComesBackWithItsQuotes)
{
    QTemporaryDir dir;
    QSettings ini(dir.filePath("t.ini"), QSettings::IniFormat);
    IniPutText(&ini, "S", "A", "\"quoted\"");
    IniPutText(&ini, "S", "B", "'single'");
    IniPutText(&ini, "S", "C", "plain");
    ini.sync();
    QSettings again(dir.filePath("t.ini"), QSettings::IniFormat);
    EXPECT_EQ(IniGetText(&again, "S", "A", ""), "\"quoted\"");
    EXPECT_EQ(IniGetText(&again, "S", "B", ""), "'single'");
    EXPECT_EQ(IniGetText(&again, "S", "C", ""), "plain");
    EXPECT_EQ(IniGetText(nullptr, "S", "C", "def"), "def");
    EXPECT_EQ(IniGetInteger(&again, "S", "missing", 7), 7);
}

TEST(Placement, SavesAndRestoresPositionAndColumnWidths)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("place.ini");
    {
        TfmImport fm;
        auto* fp = new TFormPlacement(&fm);
        fp->IniFileName = file;
        fm.dgFields->SetIniStorage(fp);
        fm.setGeometry(110, 120, 300, 200);
        fm.show();
        QApplication::processEvents();
        fm.dgFields->SetColWidth(1, 123);
        fm.close();
    }
    {
        QSettings ini(file, QSettings::IniFormat);
        EXPECT_EQ(ini.value("TfmImport/FormVersion").toInt(), 0);
        EXPECT_EQ(ini.value("TfmImportdgFields/Item1").toInt(), 123);
        EXPECT_EQ(ini.value("TfmImport/NormPos").toString(), "110,120,410,320");
    }
    TfmImport fm;
    auto* fp = new TFormPlacement(&fm);
    fp->IniFileName = file;
    fm.dgFields->SetIniStorage(fp);
    fm.setGeometry(10, 10, 100, 100);
    fm.show();
    QApplication::processEvents();
    EXPECT_EQ(fm.geometry(), QRect(110, 120, 300, 200));
    EXPECT_EQ(fm.dgFields->ColWidth(1), 123);
}

TEST(Placement, OlderStoredVersionRestoresNothing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("v.ini");
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("TfmImport/FormVersion", 1);
        ini.setValue("TfmImport/NormPos", "50,60,250,260");
        ini.setValue("TfmImport/PixelsPerInch", 96);
    }
    TfmImport fm;
    auto* fp = new TFormPlacement(&fm);
    fp->IniFileName = file;
    fp->Version = 2;
    fm.setGeometry(10, 10, 100, 100);
    fp->LoadPlacement();
    EXPECT_EQ(fm.geometry(), QRect(10, 10, 100, 100));
    fp->StorePlacement();
    QSettings ini(file, QSettings::IniFormat);
    EXPECT_EQ(ini.value("TfmImport/FormVersion").toInt(), 2);
}

TEST(Placement, OtherPixelDensityIsIgnored)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("d.ini");
    {
        QSettings ini(file, QSettings::IniFormat);
        ini.setValue("TfmImport/NormPos", "50,60,250,260");
        ini.setValue("TfmImport/PixelsPerInch", 120);
    }
    TfmImport fm;
    auto* fp = new TFormPlacement(&fm);
    fp->IniFileName = file;
    fm.setGeometry(10, 10, 100, 100);
    fp->LoadPlacement();
    EXPECT_EQ(fm.geometry(), QRect(10, 10, 100, 100));
}

TEST(WindowHook, SeesEventsBeforeAndAfter)
{
    QWidget w;
    TBrWindowHook hook;
    QStringList seen;
    hook.BeforeMessage = [&](TBrWindowHook*, QEvent* e, bool& handled) {
        if (e->type() == QEvent::Resize) seen << "before";
        if (e->type() == QEvent::KeyPress) handled = true;
    };
    hook.AfterMessage = [&](TBrWindowHook*, QEvent* e, bool&) {
        if (e->type() == QEvent::Resize) seen << "after";
    };
    hook.SetWinControl(&w);
    w.resize(50, 50);
    w.show();
    QApplication::processEvents();
    ASSERT_GE(seen.size(), 2);
    EXPECT_EQ(seen[0], "before");
    EXPECT_EQ(seen[1], "after");
}

TEST(Placement, PreventResizeFixesTheSize)
{
    QWidget w;
    w.resize(200, 150);
    TFormPlacement fp(&w);
    fp.Active = false;
    fp.SetPreventResize(true);
    EXPECT_EQ(w.minimumSize(), QSize(200, 150));
    EXPECT_EQ(w.maximumSize(), QSize(200, 150));
}

#include "placement_test.moc"
