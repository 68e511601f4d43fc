#include "core/SharedProcs.h"

#include "core/ModifySQLForm.h"
#include "core/Users.h"
#include "core/dm.h"
#include "core/fmSelectItem.h"
#include "core/Users.h"

#include "controls/CalcEdit.h"
#include "controls/DateEdit.h"
#include "db/Database.h"
#include "db/Query.h"
#include "db/StoredProc.h"
#include "os/Shell.h"
#include "os/Version.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <memory>

bool ShiftPressed = false;
bool SqlEditArmed = false;

namespace {

QWidget* mainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w)) return w;
    return nullptr;
}

bool isEnterOrEsc(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool lookupListOpen(QWidget* w)
{
    auto* lookup = qobject_cast<fw::DBLookupCombo*>(w);
    return lookup && lookup->listVisible();
}

bool calendarOpen(QWidget* w)
{
    auto* date = qobject_cast<TCustomDateEdit*>(w);
    return date && date->PopupVisible();
}

bool calculatorOpen(QWidget* w)
{
    auto* calc = qobject_cast<TBrCustomCalcEdit*>(w);
    return calc && calc->PopupVisible();
}

// The grid itself or its in-place editor.
bool inDataGrid(QWidget* w, QWidget* form)
{
    for (; w && w != form; w = w->parentWidget())
        if (qobject_cast<fw::DBGrid*>(w)) return true;
    return false;
}

bool comboBoxListOpen(QWidget* w)
{
    auto* cb = qobject_cast<QComboBox*>(w);
    return cb && cb->view() && cb->view()->isVisible();
}

} // namespace

QString EditSQL(const QString& sql)
{
    if (!(ShiftPressed && SqlEditArmed)) return sql;
    // The editor runs any select with the database's own rights, past every
    // visibility clause: a tool for the administrator alone.
    if (CurrentUser.IdUser != 0) return sql;
    SqlEditArmed = false;   // one edit per Shift press
    if (!ModifySQLForm) ModifySQLForm = new TModifySQLForm(mainWindow());
    QString result = sql;
    ModifySQLForm->memo->setPlainText(sql);
    if (ModifySQLForm->exec() == QDialog::Accepted) {
        const QString text = ModifySQLForm->memo->toPlainText();
        if (text.left(6).toUpper() != "SELECT")
            fw::dialogs().error("Error. Select only.");
        else
            result = text;
        if (ModifySQLForm->cbCopyToClipboard->isChecked()) fw::shell().setClipboardText(text);
    }
    return result;
}

void DialogKeyDown(QDialog* form, int key)
{
    if (!form || !isEnterOrEsc(key)) return;
    QWidget* active = form->focusWidget();
    if (lookupListOpen(active) || calendarOpen(active) || calculatorOpen(active)) return;
    form->done(key == Qt::Key_Escape ? QDialog::Rejected : QDialog::Accepted);
}

bool NoDropDownActive(QWidget* form)
{
    QWidget* active = form ? form->focusWidget() : nullptr;
    if (!active) return true;
    if (lookupListOpen(active) || calendarOpen(active) || calculatorOpen(active) || comboBoxListOpen(active))
        return false;
    return !inDataGrid(active, form);
}

void UncheckAll(QListWidget* list)
{
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->flags() & Qt::ItemIsUserCheckable) list->item(i)->setCheckState(Qt::Unchecked);
}

void ClearOnEsc(QWidget* control, int key)
{
    if (key != Qt::Key_Escape || !control) return;
    if (auto* lookup = qobject_cast<fw::DBLookupCombo*>(control)) {
        lookup->setKeyValue(fw::Value());
        lookup->click();
    } else if (auto* cb = qobject_cast<QComboBox*>(control)) {
        cb->setCurrentIndex(-1);
        emit cb->activated(-1);
    } else if (auto* list = qobject_cast<QListWidget*>(control)) {
        UncheckAll(list);
    }
}

bool FilterPanelEvent(QObject* watched, QEvent* e)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w) return false;
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        if (auto* lookup = qobject_cast<fw::DBLookupCombo*>(w); lookup && lookup->listVisible()) return false;
        fw::runGuarded([w] { ClearOnEsc(w, Qt::Key_Escape); });
        return true;
    }
    if (e->type() == QEvent::MouseButtonRelease)
        if (auto* label = qobject_cast<QLabel*>(w))
            if (auto* combo = qobject_cast<fw::DBLookupCombo*>(label->buddy())) {
                combo->setKeyValue(CurrentUser.IdUser);
                return true;
            }
    return false;
}

namespace {

void clearChildren(QWidget* parent)
{
    for (QWidget* child : parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        ClearControl(child);
}

} // namespace

void ClearControl(QWidget* control)
{
    if (!control) return;
    if (auto* num = qobject_cast<TCustomNumEdit*>(control)) {
        num->SetValue(fw::Currency());
    } else if (auto* date = qobject_cast<TCustomDateEdit*>(control)) {
        date->SetDate(QDate());
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->clear();
    } else if (auto* lookup = qobject_cast<fw::DBLookupCombo*>(control)) {
        lookup->setKeyValue(fw::Value());
    } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
        check->setChecked(false);
    } else if (auto* radio = qobject_cast<fw::DBRadioGroup*>(control)) {   // the radio group
        radio->setItemIndex(0);
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        clearChildren(box);
    } else if (auto* scroll = qobject_cast<QScrollArea*>(control)) {
        if (scroll->widget()) clearChildren(scroll->widget());
    } else if (control->parentWidget() && qobject_cast<QTabWidget*>(control->parentWidget()->parentWidget())) {
        // A page of a tab widget lives in the widget's stack.
        clearChildren(control);
    }
}

QToolButton* AddToolButton(QToolBar* bar, const char* name, const QString& caption, int image)
{
    auto* b = new QToolButton(bar);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(caption);
    const bool icon = dm && image >= 0 && image < dm->il.size();
    if (icon) b->setIcon(dm->il[image]);
    b->setToolButtonStyle(icon ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextOnly);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
}

void ClearPageControl(QTabWidget* pages)
{
    for (int i = 0; i < pages->count(); ++i) ClearControl(pages->widget(i));
}

namespace {

struct LookupTable {
    const char* table;
    const char* key;
    const char* name;
};

constexpr LookupTable kLookupTables[] = {
    {"Users", "idUser", "Name"},
    {"Region", "idRegion", "Region"},
    {"Etap", "idEtap", "Etap"},
    {"GrKlient", "idGrKlient", "GrKlient"},
    {"LocGrKl", "idLocGrKl", "LocGrKl"},
};

} // namespace

bool SelectValue(int kind, int& id, QString& text, const QString& where, const QString& caption)
{
    if (kind < 0 || kind >= int(std::size(kLookupTables)))
        throw fw::Error(QString("SelectValue: unknown kind %1").arg(kind));
    const LookupTable& t = kLookupTables[kind];
    std::unique_ptr<TfmSelectItem> form(new TfmSelectItem(nullptr));
    form->setWindowTitle(caption);
    fw::Query& q = form->qry;
    q.setSql({QString("select %1, %2 from %3 %4 order by %5").arg(t.key, t.name, t.table, where, t.name)});
    q.open();
    int selected = -1;
    for (int row = 0; !q.eof(); q.next(), ++row) {
        const int key = q.field(0).asInteger();
        form->AddItem(q.field(1).asString(), key);
        if (key == id) selected = row;
    }
    q.close();
    if (selected >= 0) form->lb->setCurrentRow(selected);
    if (form->exec() != QDialog::Accepted) return false;
    QListWidgetItem* item = form->lb->selectedItems().first();
    id = item->data(Qt::UserRole).toInt();
    text = item->text();
    return true;
}

void ReselectGridColumn(fw::DBGrid* grid)
{
    grid->setSelectedIndex(grid->selectedIndex());
}

void PostIfInsert(fw::DataSet& qry)
{
    if (qry.state() == fw::DataSetState::Insert) qry.post();
}

bool HasRows(const fw::DataSet& ds)
{
    return ds.active() && !ds.isEmpty();
}

void RemoveCurrent(fw::DataSet& ds)
{
    if (HasRows(ds)) ds.remove();
}

void PrepareQuery(fw::DataSet& ds)
{
    if (auto* q = qobject_cast<fw::Query*>(&ds); q && !q->prepared()) q->prepare();
}

void CloseDataModule(QObject* module)
{
    const QList<fw::Query*> queries = module->findChildren<fw::Query*>(QString(), Qt::FindDirectChildrenOnly);
    for (fw::Query* q : queries)
        if (q->state() == fw::DataSetState::Edit || q->state() == fw::DataSetState::Insert) q->post();
    for (fw::Query* q : queries) {
        q->close();
        if (q->prepared()) q->unprepare();
    }
    if (auto* procs = dynamic_cast<TDataModuleProcs*>(module))
        for (fw::StoredProc* sp : procs->StoredProcs())
            if (sp->prepared()) sp->unprepare();
}

void SetColumnTitles(fw::DBGrid* grid)
{
    const auto setting = [](const char* name) { return dm->qryMain.fieldByName(name).asString(); };
    const QString v1 = setting("VALUTA1");
    const QString v2 = setting("VALUTA2");
    const QHash<QString, QString> titles{
        {"SUMMAR", v1},
        {"SUMMAD", v2},
        {"SUMMARP", "Товар " + v1 + " (план)"},
        {"SUMMADP", "Товар " + v2 + " (план)"},
        {"SUMMARF", "Товар " + v1 + " (факт)"},
        {"SUMMADF", "Товар " + v2 + " (факт)"},
        {"OPLATRP", "Сделка " + v1 + " (план)"},
        {"OPLATDP", "Сделка " + v2 + " (план)"},
        {"OPLATRF", "Сделка " + v1 + " (факт)"},
        {"OPLATDF", "Сделка " + v2 + " (факт)"},
        {"UCHEB", setting("PRIZNAK1")},
        {"UPGRADE", setting("PRIZNAK2")},
    };
    for (int i = 0; i < grid->columnCount(); ++i) {
        const auto it = titles.constFind(grid->column(i).fieldName);
        if (it != titles.constEnd()) grid->setColumnTitle(i, *it);
    }
}

bool OpenLink(QWidget* window, const QString& link)
{
    Q_UNUSED(window);   // the dialogs service parents its boxes to the active window
    // The desktop gives no reason; the link itself tells the user most.
    return fw::shell().openUrl(fw::linkUrl(link), [link] { fw::dialogs().error("Ошибка открытия ссылки:\n" + link); });
}

bool OpenThroughDesktop(const QUrl& url, const QString& what)
{
    const QString target = fw::urlDisplayText(url);
    return fw::shell().openUrl(url, [what, target] { fw::dialogs().error(what + ":\n" + target); });
}

bool OpenHelp()
{
    return OpenThroughDesktop(QUrl::fromLocalFile(fw::helpFileName()), "Не удалось открыть справку");
}

QString GetWindowsVersion()
{
    return fw::osVersionText();
}

QStringList AttachedUsers;

QStringList GetAttachedUserNames(fw::Database& db)
{
    AttachedUsers.clear();
    AttachedUsers = db.attachedUserNames();
    return AttachedUsers;
}

void TCutValues::Count(const QString& caption, qsizetype valueLength, int size)
{
    if (size <= 0 || valueLength <= size) return;
    ++total_;
    for (auto& c : counts_)
        if (c.first == caption) {
            ++c.second;
            return;
        }
    counts_.append({caption, 1});
}

void TCutValues::Add(const TCutValues& other)
{
    for (const auto& o : other.counts_) {
        total_ += o.second;
        auto it = std::find_if(counts_.begin(), counts_.end(), [&](const auto& c) { return c.first == o.first; });
        if (it != counts_.end()) it->second += o.second;
        else counts_.append(o);
    }
}

QString TCutValues::Text() const
{
    if (total_ == 0) return {};
    QStringList parts;
    for (const auto& c : counts_) parts << QString("%1: %2").arg(c.first).arg(c.second);
    return QString("Значений, обрезанных по длине поля: %1 (%2).").arg(total_).arg(parts.join(", "));
}
