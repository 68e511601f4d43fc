#include "db/DbError.h"
#include "support/Printers.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"
#include "widgets/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTextBlock>
#include <QTextLayout>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace fw;
using Kind = Dialogs::Kind;

namespace {

// Every ScriptedDialogs of this program fails the running test on a surprise.
const bool handlerInstalled = [] {
    ScriptedDialogs::setDefaultFailureHandler([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    return true;
}();

// Runs act on the modal dialog of type T as soon as it is shown.
template <class T>
void whenShown(std::function<void(T*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(10);
}

QStringList buttonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts.append(b->text());
    return texts;
}

} // namespace

TEST(ScriptedDialogs, AnswersTheScriptInOrder)
{
    ScriptedDialogs d;
    d.expectConfirm(true, "Удалить?")
        .expectInputQuery(QString("Новая"), "Название")
        .expectInputBox(std::nullopt)
        .expectOpenFile({"/tmp/a.txt", "/tmp/b.txt"}, 2)
        .expectSaveFile({})
        .expectPickItem(1)
        .expectInformation();

    EXPECT_TRUE(dialogs().confirm("Удалить?"));
    QString name;
    EXPECT_TRUE(dialogs().inputQuery("Новая группа", "Название", name));
    EXPECT_EQ(name, "Новая");
    EXPECT_EQ(dialogs().inputBox("Изменение названия группы", "Название", "Старая"), "Старая");
    FileDialog open{"Файл", "Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*"};
    open.multiSelect = true;
    EXPECT_TRUE(dialogs().openFile(open));
    EXPECT_EQ(open.files, (QStringList{"/tmp/a.txt", "/tmp/b.txt"}));
    EXPECT_EQ(open.fileName, "/tmp/a.txt");
    EXPECT_EQ(open.filterIndex, 2);
    FileDialog save;
    save.fileName = "Table";
    EXPECT_FALSE(dialogs().saveFile(save));
    EXPECT_EQ(save.fileName, "Table");
    int index = -1;
    EXPECT_TRUE(dialogs().pickItem("Отдел", {"Продажи", "Склад"}, index));
    EXPECT_EQ(index, 1);
    dialogs().information("Экспорт успешно завершен.", "Экспорт");

    EXPECT_EQ(d.pending(), 0);
    ASSERT_EQ(d.shown().size(), 7);
    EXPECT_EQ(d.shown()[0].title, "Brontal");
    EXPECT_EQ(d.shown()[5].text, "Продажи\nСклад");
    EXPECT_EQ(d.shown()[6].kind, Kind::Information);
    EXPECT_EQ(d.shown()[6].title, "Экспорт");
}

TEST(ScriptedDialogs, UnexpectedDialogFailsAndAnswersNo)
{
    QStringList failures;
    {
        ScriptedDialogs d;
        d.setFailureHandler([&](const QString& m) { failures.append(m); });
        EXPECT_FALSE(dialogs().confirm("Войти под другим именем?"));
        QString v = "x";
        EXPECT_FALSE(dialogs().inputQuery("c", "p", v));
        EXPECT_EQ(v, "x");
        d.expectWarning("Договор не найден!");
        dialogs().warning("Сделка не найдена!");   // wrong text: the step stays
        d.expectConfirm(true);
        EXPECT_EQ(d.pending(), 2);
        EXPECT_EQ(d.shown().size(), 3);
    }   // two steps never shown
    ASSERT_EQ(failures.size(), 5);
    EXPECT_TRUE(failures[0].contains("Войти под другим именем?"));
    EXPECT_TRUE(failures[2].contains("Сделка не найдена!"));
    EXPECT_TRUE(failures[3].contains("Договор не найден!"));
}

TEST(ScriptedDialogs, InstallsItselfForItsLifetime)
{
    Dialogs* before = &dialogs();
    {
        ScriptedDialogs outer;
        {
            ScriptedDialogs inner;
            EXPECT_EQ(&dialogs(), &inner);
        }
        EXPECT_EQ(&dialogs(), &outer);
    }
    EXPECT_EQ(&dialogs(), before);
    EXPECT_NE(dynamic_cast<QtDialogs*>(before), nullptr);
}

TEST(ExceptionHandler, ShowsOurErrorsTitledWithTheApplicationAndNothingForAbort)
{
    ScriptedDialogs d;
    // Any other exception is the program's own fault, told as such with its text below.
    d.expectError("violation of PRIMARY or UNIQUE KEY constraint")
        .expectError("Внутренняя ошибка программы: действие не выполнено.\n\nПодробности: bad_alloc-like")
        .expectError();

    EXPECT_FALSE(runGuarded([] { throw DbError("violation of PRIMARY or UNIQUE KEY constraint", -803, 335544665); }));
    EXPECT_FALSE(runGuarded([] { throw Abort(); }));
    EXPECT_FALSE(runGuarded([] { throw std::runtime_error("bad_alloc-like"); }));
    EXPECT_TRUE(runGuarded([] {}));

    // Handlers connected to signals, with and without arguments.
    QObject o;
    QObject::connect(&o, &QObject::objectNameChanged, guarded([](const QString& n) { throw UserError(n); }));
    o.setObjectName("Вы не можете связывать чужую запись!");
    QTimer::singleShot(0, guarded([] { throw Abort(); }));
    QCoreApplication::processEvents();

    ASSERT_EQ(d.shown().size(), 3);
    for (const auto& s : d.shown()) {
        EXPECT_EQ(s.kind, Kind::Error);
        EXPECT_EQ(s.title, "Brontal");
    }
    EXPECT_EQ(d.shown()[2].text, "Вы не можете связывать чужую запись!");
}

TEST(QtDialogs, OldFiltersBecomeQtNameFilters)
{
    EXPECT_EQ(qtNameFilters("Text files|*.txt|All|*.*"), (QStringList{"Text files (*.txt)", "All (*)"}));
    EXPECT_EQ(qtNameFilters("Все файлы (*.*)|*.*|Текстовые файлы (*.txt)|*.txt"),
              (QStringList{"Все файлы (*)", "Текстовые файлы (*.txt)"}));
    EXPECT_EQ(qtNameFilters("Pictures|*.bmp;*.wmf|br.ini|br.ini"),
              (QStringList{"Pictures (*.bmp *.wmf)", "br.ini (br.ini)"}));
    EXPECT_TRUE(qtNameFilters("").isEmpty());
}

TEST(QtDialogs, RussianButtonsAndAnswers)
{
    QtDialogs qt;
    QStringList texts;
    QString title;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        texts = buttonTexts(box);
        title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_FALSE(qt.confirm("Удалить?"));
    EXPECT_EQ(texts, (QStringList{"Да", "Нет"}));
    EXPECT_EQ(title, "Brontal");

    whenShown<QMessageBox>([](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "Да")
                b->click();
    });
    EXPECT_TRUE(qt.confirm("Удалить?"));

    whenShown<QMessageBox>([&](QMessageBox* box) {
        texts = buttonTexts(box);
        title = box->windowTitle();
        box->defaultButton()->click();
    });
    qt.error("Ошибка идентификации!");
    EXPECT_EQ(texts, QStringList{"OK"});
    EXPECT_EQ(title, "Brontal");

    whenShown<QInputDialog>([](QInputDialog* dlg) {
        dlg->setTextValue("Новая группа");
        dlg->accept();
    });
    QString v;
    EXPECT_TRUE(qt.inputQuery("Новая группа", "Название", v));
    EXPECT_EQ(v, "Новая группа");

    whenShown<QInputDialog>([](QInputDialog* dlg) {
        dlg->setTextValue("changed");
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    EXPECT_EQ(qt.inputBox("Изменение", "Название", "Старая"), "Старая");
}

TEST(QtDialogs, ALongWordIsWrappedWithinTheScreenAndCanBeCopied)
{
    QtDialogs qt;
    const QString number = "СФ-" + QString(120, QChar('7')) + "X" + QString(131, QChar('1'));
    const QString text = "Номер \"" + number + "\" длиннее 20 знаков!\rЗапишите номер вручную.";
    int boxWidth = 0, screenWidth = 0, shownHeight = 0, textHeight = 0;
    QString shown, copied;
    bool selectable = false;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        QApplication::processEvents();
        boxWidth = box->frameGeometry().width();
        screenWidth = box->screen()->availableGeometry().width();
        EXPECT_TRUE(box->grab().save("/tmp/widgets-long-message.png"));
        if (auto* t = box->findChild<QTextEdit*>("msgText")) {
            shown = t->toPlainText();
            selectable = t->textInteractionFlags() & Qt::TextSelectableByMouse;
            shownHeight = t->viewport()->height();
            textHeight = int(t->document()->size().height());
            t->selectAll();
            t->copy();
            copied = QApplication::clipboard()->text();
        }
        box->defaultButton()->click();
    });
    qt.error(text);
    EXPECT_LE(boxWidth, screenWidth);
    // The whole text is there, line breaks as lines, the number unbroken, and nothing cut off below.
    EXPECT_EQ(shown, "Номер \"" + number + "\" длиннее 20 знаков!\nЗапишите номер вручную.");
    EXPECT_TRUE(selectable);
    EXPECT_TRUE(copied.contains(number));
    EXPECT_GE(shownHeight, textHeight);

    // A short message keeps a box of its own size.
    whenShown<QMessageBox>([&](QMessageBox* box) {
        QApplication::processEvents();
        boxWidth = box->width();
        box->defaultButton()->click();
    });
    EXPECT_TRUE(qt.confirm("Удалить?"));
    EXPECT_LT(boxWidth, screenWidth / 2);
}

// A title is never cut by the title bar, and a short text never wraps behind a
// scroll bar, whatever the font: the boxes and dialogs of the dialogs service,
// and every dialog shown once fitDialogTitles is in place.
TEST(QtDialogs, TitlesAndTextsAreShownWhole)
{
    fitDialogTitles();
    QtDialogs qt;
    const QFont kept = QApplication::font();
    for (int points : {8, 10, 13}) {
        QFont f = kept;
        f.setPointSize(points);
        QApplication::setFont(f);
        const QString done = "Процесс конвертации успешно завершен.";
        bool scrolls = true, grownScrolls = true, fitsOneLine = false;
        int shownHeight = 0, textHeight = 0, lines = 0, grownHeight = 0, grownText = 0;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            QApplication::processEvents();
            auto* t = box->findChild<QTextEdit*>("msgText");
            ASSERT_NE(t, nullptr);
            scrolls = t->verticalScrollBar()->isVisible();
            shownHeight = t->viewport()->height();
            textHeight = int(t->document()->size().height());
            lines = t->document()->firstBlock().layout()->lineCount();
            const int wraps = std::min(box->screen()->availableGeometry().width() / 2, 500);
            fitsOneLine = QFontMetrics(t->font(), t->viewport()).horizontalAdvance(done) < wraps - 20;
            box->grab().save(QString("/tmp/widgets-done-message-%1.png").arg(points));
            // Laid out larger than it was measured, as the desktop's fonts may do: the box grows.
            QFont larger = t->font();
            larger.setPointSize(larger.pointSize() * 2);
            t->setFont(larger);
            (void)QTest::qWaitFor([t] {
                return !t->verticalScrollBar()->isVisible()
                    && t->viewport()->height() >= int(t->document()->size().height());
            }, 2000);
            grownScrolls = t->verticalScrollBar()->isVisible();
            grownHeight = t->viewport()->height();
            grownText = int(t->document()->size().height());
            box->defaultButton()->click();
        });
        qt.information(done, "Конвертер 17");
        EXPECT_FALSE(scrolls) << points;
        EXPECT_GE(shownHeight, textHeight) << points;
        if (fitsOneLine) {
            EXPECT_EQ(lines, 1) << points;
        }
        EXPECT_FALSE(grownScrolls) << points;
        EXPECT_GE(grownHeight, grownText) << points;

        const QString user = "Пользователь \"Константинопольский-Преображенский Виктор\"";
        int width = 0;
        whenShown<QInputDialog>([&](QInputDialog* dlg) {
            QApplication::processEvents();
            width = dlg->width();
            dlg->reject();
        });
        QString pass;
        qt.inputQuery(user, "Новый пароль", pass);
        EXPECT_GE(width, std::min(windowTitleWidth(user), QApplication::primaryScreen()->availableGeometry().width()))
            << points;

        const QString otdel = "Отдел для польз. \"Константинопольский-Преображенский Виктор\"";
        whenShown<QDialog>([&](QDialog* dlg) {
            QApplication::processEvents();
            width = dlg->width();
            dlg->reject();
        });
        int index = 0;
        qt.pickItem(otdel, {"Администрация", "Отдел продаж"}, index);
        EXPECT_GE(width, std::min(windowTitleWidth(otdel), QApplication::primaryScreen()->availableGeometry().width()))
            << points;
    }
    QApplication::setFont(kept);
}
