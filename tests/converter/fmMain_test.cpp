#include "ConverterDatabase.h"

#include "converter/dm.h"
#include "converter/fmMain.h"

#include "os/Shell.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTest>
#include <gtest/gtest.h>

class Wizard : public ::testing::Test {
protected:
    void SetUp() override
    {
        fw::setApplicationTitle("Конвертер 17");
        dialogs.setFailureHandler([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        kestrup::dm = &d;
        fm = std::make_unique<kestrup::TfmMain>();
        fm->show();
    }
    void TearDown() override { kestrup::dm = nullptr; }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QString buttons() const
    {
        return QString("%1%2%3").arg(fm->btnBack->isEnabled()).arg(fm->btnNext->isEnabled()).arg(fm->btnConv->isEnabled());
    }
    // To the last page, naming BR.INI in lower case.
    void toConversion(const ConverterDatabase& db)
    {
        click(fm->btnNext);
        fm->edFileIni->setText(QFileInfo(db.iniPath).path() + "/br.ini");
        click(fm->btnNext);
    }

    fw::ScriptedDialogs dialogs;
    fw::RecordingShell shell;
    kestrup::Tdm d;
    std::unique_ptr<kestrup::TfmMain> fm;
    ConverterDatabase db = ConverterDatabase::embedded("wizard");
};

TEST_F(Wizard, PagesStepOnlyWithAnExistingSettingsFile)
{
    EXPECT_EQ(fm->focusWidget(), fm->btnNext);
    EXPECT_EQ(buttons(), "010");
    click(fm->btnNext);
    EXPECT_EQ(buttons(), "110");

    dialogs.expectError("Файл не найден!");
    click(fm->btnNext);
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsIni);
    EXPECT_EQ(dialogs.shown().value(0).title, "Конвертер 17");

    dialogs.expectOpenFile({db.iniPath});
    click(fm->btnBrowse);
    EXPECT_EQ(dialogs.shown().value(1).text, "br.ini");
    EXPECT_EQ(fm->edFileIni->text(), db.iniPath);
    click(fm->btnNext);
    EXPECT_EQ(fm->pcMain->currentWidget(), fm->tsConv);
    EXPECT_EQ(buttons(), "101");
    click(fm->btnBack);
    click(fm->btnBack);
    EXPECT_EQ(buttons(), "010");

    dialogs.expectConfirm(false, "Выйти из программы?").expectConfirm(true, "Выйти из программы?");
    click(fm->btnCancel);
    EXPECT_TRUE(fm->isVisible());
    click(fm->btnCancel);
    EXPECT_FALSE(fm->isVisible());
}

TEST_F(Wizard, ConversionReportsSuccessAndCloses)
{
    toConversion(db);
    dialogs.expectInformation("Процесс конвертации успешно завершен.").expectConfirm(true, "Выйти из программы?");
    click(fm->btnConv);
    EXPECT_EQ(db.ver(), 7);
    EXPECT_EQ(fm->pb->value(), 0);
    EXPECT_FALSE(fm->isVisible());
}

TEST_F(Wizard, FailedStatementIsShownAndCopied)
{
    db.execute("ALTER TABLE DOG ADD FILEPATH VAR255 COLLATE PXW_CYRL");
    toConversion(db);
    const QString statement = "ALTER TABLE DOG\nADD FILEPATH VAR255\nCOLLATE PXW_CYRL";
    dialogs.expectError("Ошибка при выполнении запроса:\n" + statement).expectError();
    click(fm->btnConv);
    EXPECT_EQ(shell.clipboard, statement);
    // Then the engine's own message, as every error reaches the user.
    EXPECT_TRUE(dialogs.shown().value(1).text.contains("FILEPATH"));
    EXPECT_TRUE(fm->isVisible());
    EXPECT_EQ(db.ver(), 6);
}

// Its window and its message boxes show the converter's own icon, not the toolkit's logo.
TEST_F(Wizard, ShowsTheConvertersIcon)
{
    const QImage own = kestrup::KestrupIcon().pixmap(32, 32).toImage();
    ASSERT_FALSE(own.isNull());
    EXPECT_NE(own, fm->style()->standardIcon(QStyle::SP_TitleBarMenuButton).pixmap(32, 32).toImage());
    EXPECT_EQ(fm->windowIcon().pixmap(32, 32).toImage(), own);
    EXPECT_EQ(QApplication::windowIcon().pixmap(32, 32).toImage(), own);
    EXPECT_TRUE(kestrup::KestrupIcon().pixmap(64, 64).save(QDir::temp().filePath("kestrup-icon.png")));
}
