#include "WidgetFixture.h"

#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/ExceptionHandler.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QScopeGuard>
#include <QTextCursor>
#include <QThread>
#include <random>
#include <QDir>
#include <QFormLayout>
#include <QToolButton>
#include <QPushButton>

using namespace fw;

namespace {

// A card dialog as the windows build them: OK posts the record.
class Controls : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        otdel.open();
        qry.open();
        auto* form = new QFormLayout(&dialog);
        name = new DBEdit(&dialog);
        name->setDataSource(&src);
        name->setDataField("NAME");
        qty = new DBEdit(&dialog);
        qty->setDataSource(&src);
        qty->setDataField("QTY");
        flag = new DBCheckBox("Платил", &dialog);
        flag->setDataSource(&src);
        flag->setDataField("FLAG");
        dep = new DBLookupCombo(&dialog);
        dep->setDataSource(&src);
        dep->setDataField("IDOTDEL");
        dep->setListSource(&otdelSrc);
        dep->setKeyField("IDOTDEL");
        dep->setListField("OTDEL");
        ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        form->addRow("Название", name);
        form->addRow("Количество", qty);
        form->addRow("", flag);
        form->addRow("Отдел", dep);
        form->addRow(ok);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        QObject::connect(&dialog, &QDialog::accepted, &dialog, guarded([this] { qry.post(); }));
        showActive(dialog);
    }

    void focusAll(QLineEdit* e)
    {
        e->setFocus(Qt::TabFocusReason);
        e->selectAll();
        ASSERT_EQ(QApplication::focusWidget(), e);
    }

    QDialog dialog;
    DBEdit* name = nullptr;
    DBEdit* qty = nullptr;
    DBCheckBox* flag = nullptr;
    DBLookupCombo* dep = nullptr;
    QPushButton* ok = nullptr;
};

TEST_F(Controls, TypingEditsTheRecordAndTextReachesTheFieldAtOnce)
{
    EXPECT_EQ(name->text(), "Альфа");
    EXPECT_EQ(name->maxLength(), 50);
    focusAll(name);
    type(name, "Омега");
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Омега");   // no post, no leaving needed
    qry.cancel();
    EXPECT_EQ(name->text(), "Альфа");

    qry.beforeEdit = [](DataSet&) { throw UserError("Вы не можете изменять чужую запись!"); };
    ScriptedDialogs d;
    d.expectError("Вы не можете изменять чужую запись!");
    focusAll(name);
    type(name, "x");
    EXPECT_EQ(name->text(), "Альфа");
    EXPECT_EQ(qry.state(), DataSetState::Browse);

    // A read-only data set: the edit shows the field and takes no typing.
    qry.close();
    qry.setUpdateObject(nullptr);
    qry.open();
    EXPECT_TRUE(name->QLineEdit::isReadOnly());
    EXPECT_EQ(name->text(), "Альфа");
}

TEST_F(Controls, EnterInTheDialogWritesTheFocusedControlBeforeThePost)
{
    focusAll(name);
    type(name, "Омега");
    focusAll(qty);
    type(qty, "42");
    // The number is still in the control: it goes into the field when the data set posts.
    EXPECT_EQ(qry.fieldByName("QTY").asInteger(), 10);
    int seenInBeforePost = 0;
    qry.beforePost = [&](DataSet& ds) { seenInBeforePost = ds.fieldByName("QTY").asInteger(); };
    key(Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(seenInBeforePost, 42);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(stored(1, "QTY"), "42");
    EXPECT_EQ(stored(1, "NAME"), "Омега");
}

TEST_F(Controls, ValueTheFieldRejectsKeepsTheFocusAndLeavesTheField)
{
    ScriptedDialogs d;
    d.expectError("'abc' is not a valid integer value").expectError("'abc' is not a valid integer value");
    focusAll(qty);
    type(qty, "abc");
    name->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), qty);
    EXPECT_EQ(qty->text(), "abc");
    EXPECT_EQ(qry.fieldByName("QTY").asInteger(), 10);

    // The post is refused the same way and the row stays in edit mode.
    EXPECT_FALSE(runGuarded([&] { qry.post(); }));
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(stored(1, "QTY"), "10");

    // Esc puts the field's value back.
    key(Qt::Key_Escape);
    EXPECT_EQ(qty->text(), "10");
    name->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(QApplication::focusWidget(), name);
}

TEST_F(Controls, TriggerErrorOnPostKeepsTheTypedValuesAndIsShown)
{
    ScriptedDialogs d;
    d.expectError();
    focusAll(name);
    type(name, "ОШИБКА");
    key(Qt::Key_Return);
    ASSERT_EQ(d.shown().size(), 1);
    EXPECT_TRUE(d.shown()[0].text.contains("Недопустимое название клиента"));
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(name->text(), "ОШИБКА");
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "ОШИБКА");
    EXPECT_EQ(stored(1, "NAME"), "Альфа");
}

TEST_F(Controls, CheckBoxStoresPlusAndMinus)
{
    EXPECT_TRUE(flag->isChecked());                  // "+"
    qry.next();
    EXPECT_FALSE(flag->isChecked());                 // "-"
    qry.locate("ID", 4);
    EXPECT_FALSE(flag->isChecked());                 // NULL
    QTest::mouseClick(flag, Qt::LeftButton, {}, flag->rect().center());
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("FLAG").asString(), "+");
    QTest::mouseClick(flag, Qt::LeftButton, {}, flag->rect().center());
    EXPECT_EQ(qry.fieldByName("FLAG").asString(), "-");
    qry.post();
    EXPECT_EQ(stored(4, "FLAG"), "-");

    int clicks = 0;
    QObject::connect(flag, &QCheckBox::clicked, flag, [&] { ++clicks; });
    qry.beforeEdit = [](DataSet&) { throw UserError("Запрещено"); };
    ScriptedDialogs d;
    d.expectError("Запрещено");
    QTest::mouseClick(flag, Qt::LeftButton, {}, flag->rect().center());
    EXPECT_FALSE(flag->isChecked());
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(qry.state(), DataSetState::Browse);

    flag->setValueChecked("Y");
    flag->setValueUnchecked("N");
    qry.beforeEdit = nullptr;
    flag->click();
    EXPECT_EQ(qry.fieldByName("FLAG").asString(), "Y");
}

TEST_F(Controls, LookupComboShowsOnlyKeysTheListHolds)
{
    EXPECT_EQ(dep->text(), "Продажи");
    qry.locate("ID", 2);
    EXPECT_EQ(dep->text(), "Склад");
    EXPECT_EQ(otdel.fieldByName("OTDEL").asString(), "Склад");   // the list follows the key
    qry.locate("ID", 4);
    EXPECT_TRUE(dep->keyValue().isNull());
    EXPECT_EQ(dep->text(), "");

    // A key the filtered list does not hold shows nothing.
    otdel.setFilter("IDOTDEL=1");
    otdel.setFiltered(true);
    qry.locate("ID", 2);
    EXPECT_EQ(dep->keyValue().asInt(), 2);
    EXPECT_EQ(dep->text(), "");
    otdel.setFiltered(false);
    EXPECT_EQ(dep->text(), "Склад");

    // Unbound, as the login uses it.
    DBLookupCombo user(&dialog);
    user.setListSource(&otdelSrc);
    user.setKeyField("IDOTDEL");
    user.setListField("OTDEL");
    EXPECT_EQ(user.text(), "");
    user.setKeyValue(3);
    EXPECT_EQ(user.text(), "Бухгалтерия");
    user.setKeyValue(-1);
    EXPECT_EQ(user.text(), "");
    EXPECT_EQ(user.keyValue().asInt(), -1);
}

// A lookup combo's type-ahead, closed or open, keeps the program's one pace:
// letters 0.8 s apart (a real pause: Qt's own search would have started anew)
// look up together.
TEST_F(Controls, LookupComboTypeAheadKeepsTheProgramsPace)
{
    db.execute("insert into OTDEL values (4, 'Пакеты')");
    const auto cleanup = qScopeGuard([this] { db.execute("delete from OTDEL where IDOTDEL = 4"); });
    otdel.close();
    otdel.open();
    const auto typeInto = [](QWidget* target, QChar ch) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(target, &press);
    };
    dep->setFocus(Qt::TabFocusReason);
    typeInto(dep, QChar(0x041F));   // П
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 1);
    QThread::msleep(800);
    typeInto(dep, QChar(0x0430));   // а
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 4);

    // Open, the list moves and Enter takes the line.
    dep->showPopup();
    typeInto(dep->view(), QChar(0x0421));   // С
    QThread::msleep(800);
    typeInto(dep->view(), QChar(0x043A));   // к
    EXPECT_EQ(dep->view()->currentIndex().data().toString(), "Склад");
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 4);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dep->view(), &enter);
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
}

TEST_F(Controls, ChoosingInTheLookupComboWritesTheKey)
{
    QStringList chosen;
    QObject::connect(dep, &DBLookupCombo::activated, dep, [&] {
        chosen << dep->keyValue().asString() + ":" + otdel.fieldByName("OTDEL").asString();
    });
    dep->setFocus(Qt::TabFocusReason);
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("IDOTDEL").asInteger(), 2);
    EXPECT_EQ(dep->text(), "Склад");
    EXPECT_EQ(chosen, QStringList{"2:Склад"});

    EXPECT_FALSE(dep->listVisible());
    dep->showPopup();
    EXPECT_TRUE(dep->listVisible());
    dep->hidePopup();
    EXPECT_FALSE(dep->listVisible());

    qry.cancel();
    qry.beforeEdit = [](DataSet&) { throw UserError("Запрещено"); };
    ScriptedDialogs d;
    d.expectError("Запрещено");
    key(Qt::Key_Down);
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(dep->text(), "Продажи");
    EXPECT_EQ(chosen.size(), 1);
}

TEST_F(Controls, OtherControlsFollowTheRecord)
{
    DBRadioGroup rg("Платил", &dialog);
    rg.setItems({"Да", "Нет"});
    rg.setValues({"+", "-"});
    rg.setDataSource(&src);
    rg.setDataField("FLAG");
    DBText sum(&dialog);
    sum.setDataSource(&src);
    sum.setDataField("SUMMA");
    qry.fieldByName("SUMMA").setDisplayFormat("# ##0.00");
    DBListBox list(&dialog);
    list.setDataSource(&src);
    list.setListField("NAME");
    DBMemo memo(&dialog);
    memo.setDataSource(&src);
    memo.setDataField("NAME");

    qry.refresh();
    EXPECT_EQ(rg.itemIndex(), 0);
    EXPECT_EQ(sum.text(), "100.50");
    EXPECT_EQ(list.currentIndex().row(), 0);
    EXPECT_EQ(list.model()->index(4, 0).data().toString(), "Эпсилон");

    qry.next();
    EXPECT_EQ(rg.itemIndex(), 1);
    EXPECT_EQ(rg.value(), "-");
    EXPECT_EQ(sum.text(), "2 000.00");
    EXPECT_EQ(list.currentIndex().row(), 1);
    EXPECT_EQ(memo.toPlainText(), "Бета");

    list.setCurrentIndex(list.model()->index(3, 0));
    EXPECT_EQ(qry.fieldByName("ID").asInteger(), 4);
    EXPECT_EQ(rg.itemIndex(), -1);                   // NULL: no item
    rg.setItemIndex(0);
    EXPECT_EQ(qry.state(), DataSetState::Edit);
    EXPECT_EQ(qry.fieldByName("FLAG").asString(), "+");
    qry.cancel();

    memo.show();
    memo.setFocus(Qt::TabFocusReason);
    memo.selectAll();
    ASSERT_EQ(QApplication::focusWidget(), &memo);
    type(&memo, "Строка");
    QTest::keyClick(&memo, Qt::Key_Return);
    type(&memo, "ещё");
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Строка\r\nещё");
}


// The colour a user sees behind the text of an edit, just inside its frame above the letters.
QColor Background(QWidget* w)
{
    return w->grab().toImage().pixelColor(w->width() / 2, 3);
}

// A name longer than its edit shows its beginning when its record comes into view.
// An edit that may not change its field looks so (the window's colour behind the text)
// and takes no typing; allowed again, it looks and works as before.
TEST_F(Controls, LongTextShowsItsBeginningAndAReadOnlyEditLooksReadOnly)
{
    const QString longName = "Начало " + QString(43, QChar(0x436));   // fills the 50 characters
    db.execute("update KLIENT set NAME = :n where ID = 2", {{"n", longName}});
    qry.refresh();
    DBNavigator nav(&dialog);
    nav.setDataSource(&src);
    nav.move(0, dialog.height() - nav.sizeHint().height());
    nav.show();
    name->setFixedWidth(90);
    ok->setFocus();
    QTest::mouseClick(nav.button(DBNavigator::Button::Next), Qt::LeftButton);
    ASSERT_EQ(name->text(), longName);
    // As a plain edit showing the text from its first letter.
    QLineEdit shown(longName, &dialog);
    shown.setGeometry(name->geometry().translated(0, 200));
    shown.setCursorPosition(0);
    shown.show();
    const QRect left(0, 0, name->width() - 10, name->height());
    EXPECT_EQ(name->grab(left).toImage(), shown.grab(left).toImage());

    const QColor base = dialog.palette().color(QPalette::Base);
    const QColor window = dialog.palette().color(QPalette::Window);
    ASSERT_NE(base, window);
    EXPECT_EQ(Background(name), base);
    name->setReadOnly(true);
    EXPECT_EQ(Background(name), window);
    const QString dir = qEnvironmentVariable("BRONTAL_SHOTS");
    if (!dir.isEmpty()) dialog.grab().save(QDir(dir).filePath("edit-read-only.png"));
    focusAll(name);
    type(name, "Х");
    EXPECT_EQ(qry.state(), DataSetState::Browse);
    EXPECT_EQ(qry.fieldByName("NAME").asString(), longName);

    name->setReadOnly(false);
    EXPECT_EQ(Background(name), base);
    focusAll(name);
    type(name, "Х");
    EXPECT_EQ(qry.fieldByName("NAME").asString(), "Х");
    qry.cancel();
}

} // namespace

namespace {

QLabel* lengthNotice(QWidget* w)
{
    return w->window()->findChild<QLabel*>("fwLengthNotice");
}

int storedLength(const QString& memoText)
{
    return int(memoText.size() + memoText.count('\n'));
}

} // namespace

// An edit stops at its field's length for typing and for a paste, which keeps what
// fits, and says so under the cursor.
TEST_F(Controls, EditStopsAtTheFieldsLengthAndSaysSo)
{
    focusAll(name);
    const QString long60 = QString("Очень длинное название ").repeated(3);
    QGuiApplication::clipboard()->setText(long60);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(name->text(), long60.left(50));
    EXPECT_EQ(qry.fieldByName("NAME").asString(), long60.left(50));
    ASSERT_NE(lengthNotice(name), nullptr);
    EXPECT_TRUE(lengthNotice(name)->isVisible());
    EXPECT_EQ(lengthNotice(name)->text(), "Поле вмещает не более 50 символов — лишнее не введено.");
    if (const QString dir = qEnvironmentVariable("BRONTAL_SHOTS"); !dir.isEmpty()) {
        dialog.grab().save(QDir(dir).filePath("length-edit.png"));
        lengthNotice(name)->grab().save(QDir(dir).filePath("length-notice.png"));
    }
    lengthNotice(name)->hide();
    type(name, "ж");
    EXPECT_TRUE(lengthNotice(name)->isVisible());
    EXPECT_EQ(name->text().size(), 50);
    lengthNotice(name)->hide();
    key(Qt::Key_Backspace);
    type(name, "ж");
    EXPECT_FALSE(lengthNotice(name)->isVisible()) << "a character that fits is no news";
    qry.cancel();

    // A date's mask refuses what is no digit: that is not about the length.
    QLineEdit date(&dialog);
    date.setInputMask("99.99.9999");
    noteLengthLimit(&date);
    date.show();
    focusAll(&date);
    type(&date, "x");
    EXPECT_FALSE(lengthNotice(name)->isVisible());
}

// A memo keeps what it is given: non-breaking spaces stay, also in a text another
// program wrote, and the text never passes the field's length (a line end is CR LF
// there) for typing, Enter or a paste; whatever does not fit is told. Generated
// over typing and pastes of every length at every place.
TEST_F(Controls, MemoKeepsNonBreakingSpacesAndStopsAtTheFieldsLength)
{
    const QChar nbsp(0x00A0);
    db.execute(QString("update KLIENT set NAME = 'ООО%1«Альфа»' where ID = 1").arg(nbsp));
    qry.refresh();
    auto* memo = new DBMemo(&dialog);
    memo->setDataSource(&src);
    memo->setDataField("NAME");
    memo->show();
    memo->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(memo->limit(), 50);
    memo->moveCursor(QTextCursor::End);
    type(memo, "!");
    EXPECT_EQ(qry.fieldByName("NAME").asString(), QString("ООО%1«Альфа»!").arg(nbsp));
    qry.post();
    EXPECT_EQ(stored(1, "NAME"), QString("ООО%1«Альфа»!").arg(nbsp));

    std::mt19937 random(23);
    const QString alphabet = QString("аб г") + nbsp + "\n";
    const auto text = [&](int n) {
        QString t;
        for (int i = 0; i < n; ++i) t += random() % 9 == 0 ? QString("\r\n") : QString(alphabet[int(random() % alphabet.size())]);
        return t;
    };
    for (int step = 0; step < 400; ++step) {
        if (QLabel* n = lengthNotice(memo)) n->hide();
        const QString before = memo->storedText();
        QTextCursor cursor = memo->textCursor();
        const int place = int(random() % unsigned(memo->document()->characterCount()));
        cursor.setPosition(place);
        if (random() % 4 == 0) cursor.setPosition(int(random() % unsigned(memo->document()->characterCount())), QTextCursor::KeepAnchor);
        memo->setTextCursor(cursor);
        const QString selected = cursor.selectedText().replace(QChar::ParagraphSeparator, '\n');
        QString offered;
        if (random() % 2) {
            offered = text(1);
            if (offered.contains('\n')) {
                key(Qt::Key_Return);
                offered = "\n";
            } else {
                type(memo, offered);
            }
        } else {
            offered = text(1 + int(random() % 40));
            QGuiApplication::clipboard()->setText(offered);
            key(Qt::Key_V, Qt::ControlModifier);
            offered.replace("\r\n", "\n");
        }
        SCOPED_TRACE(::testing::Message() << "step " << step << " offered " << offered.size());
        const QString now = memo->storedText();
        const int room = 50 - storedLength(QString(before).replace("\r\n", "\n")) + storedLength(selected);
        ASSERT_LE(now.size(), 50);
        EXPECT_EQ(qry.fieldByName("NAME").asString(), now);
        const bool fits = storedLength(offered) <= room;
        EXPECT_EQ(lengthNotice(memo) && lengthNotice(memo)->isVisible(), !fits);
        if (fits) {
            EXPECT_EQ(now.count(nbsp), before.count(nbsp) - selected.count(nbsp) + offered.count(nbsp));
        }
        if (random() % 10 == 0 && qry.state() != DataSetState::Browse) qry.post();
    }
    if (qry.state() != DataSetState::Browse) qry.post();
    EXPECT_EQ(stored(1, "NAME"), memo->storedText());
}
