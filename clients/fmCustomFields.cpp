#include "clients/fmCustomFields.h"

#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/SqlText.h"
#include "core/dm.h"

#include "db/Database.h"
#include "db/DbError.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

QPointer<TfmCustomFieldsEdit> fmCustomFieldsEdit;
QPointer<TfmCustomFields> fmCustomFields;

namespace {

constexpr int SizeColumn = 1;
constexpr int KeyRole = Qt::UserRole;

QString Quoted(const QString& text)
{
    return "\"" + DoubleQuotes(text) + "\"";
}

// The arrows keep the length within its limits, while a typed length stays as
// typed: OK refuses one outside them with a message instead of the spin box
// putting back the last good value unseen.
class LengthSpinBox : public QSpinBox {
public:
    explicit LengthSpinBox(QWidget* parent) : QSpinBox(parent) { setRange(0, 9999); }

protected:
    void stepBy(int steps) override
    {
        setValue(qBound(CustomFieldSizeMin, value() + steps, CustomFieldSizeMax));
        selectAll();
    }
    StepEnabled stepEnabled() const override
    {
        StepEnabled e = StepNone;
        if (isReadOnly()) return e;
        if (value() < CustomFieldSizeMax) e |= StepUpEnabled;
        if (value() > CustomFieldSizeMin) e |= StepDownEnabled;
        return e;
    }
};

} // namespace

void CheckCustomFieldCaption(const QString& caption)
{
    if (caption.trimmed().isEmpty()) throw fw::UserError("Укажите название поля!");
    if (caption.size() > CustomFieldCaptionMax)
        throw fw::UserError(QString("Название поля не может быть длиннее %1 символов!").arg(CustomFieldCaptionMax));
    fw::checkCodePage(caption, "Название");
}

void CheckCustomFieldSize(int size)
{
    if (size < CustomFieldSizeMin || size > CustomFieldSizeMax)
        throw fw::UserError(
            QString("Длина поля должна быть от %1 до %2 символов!").arg(CustomFieldSizeMin).arg(CustomFieldSizeMax));
}

QString CustomFieldName(int id)
{
    return "field" + QString::number(id);
}

QString CustomFieldAddColumnSql(int id, int size)
{
    return "alter table customer add " + CustomFieldName(id) + " varchar(" + QString::number(size)
        + ") character set win1251 collate pxw_cyrl";
}

QStringList CustomFieldInsertSql(int id, const QString& caption, int size)
{
    const QString key = QString::number(id);
    return {"insert into CustomFields (IDCUSTOMFIELDS, POS, FIELDNAME, CAPTION, ENTITY, FIELDTYPE, FIELDSIZE)",
            "values (" + key + ", " + key + ", " + Quoted(CustomFieldName(id)) + ", " + Quoted(caption)
                + ", \"kar\", \"string\", " + QString::number(size) + ")"};
}

// --- the caption and length dialog

TfmCustomFieldsEdit::TfmCustomFieldsEdit(QWidget* owner) : QDialog(owner)
{
    fmCustomFieldsEdit = this;
    setObjectName("fmCustomFieldsEdit");
    setWindowTitle("Новое поле");

    edCaption = new QLineEdit(this);
    edCaption->setObjectName("edCaption");
    edCaption->setMaxLength(CustomFieldCaptionMax);
    lblCaption = Caption(this, "Название (до 20 символов)", "lblCaption");
    lblCaption->setBuddy(edCaption);

    seLength = new LengthSpinBox(this);
    seLength->setObjectName("seLength");
    seLength->setValue(CustomFieldSizeDefault);
    lblLength = Caption(this, "Длина поля (до 255 символов)", "lblLength");
    lblLength->setBuddy(seLength);

    lblWarning = Caption(this, "Длину поля изменить будет нельзя!", "lblWarning");

    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel, "ОК");
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(edCaption);
    layout->addSpacing(4);
    layout->addWidget(lblLength);
    auto* length = new QHBoxLayout;
    length->addWidget(seLength);
    length->addStretch(1);
    layout->addLayout(length);
    layout->addWidget(lblWarning);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(300, sizeHint().height());
}

TfmCustomFieldsEdit::~TfmCustomFieldsEdit()
{
    if (fmCustomFieldsEdit == this) fmCustomFieldsEdit = nullptr;
}

void TfmCustomFieldsEdit::done(int result)
{
    // What cannot be written is refused here, so that what was typed stays.
    if (result == QDialog::Accepted) {
        QWidget* wrong = edCaption;
        const bool ok = fw::runGuarded([this, &wrong] {
            CheckCustomFieldCaption(edCaption->text());
            wrong = seLength;
            CheckCustomFieldSize(seLength->value());
        });
        if (!ok) {
            wrong->setFocus();
            if (wrong == seLength) seLength->selectAll();
            return;
        }
    }
    QDialog::done(result);
}

void TfmCustomFieldsEdit::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}

// --- the fields dialog

TfmCustomFields::TfmCustomFields(QWidget* owner)
    : QDialog(owner), qryCustomFields(&dm->db, this), qry(&dm->db, this), sp(&dm->db, "ID_CUSTOMFIELDS")
{
    fmCustomFields = this;
    setObjectName("fmCustomFields");
    setWindowTitle("Пользовательские поля");
    setProperty("HelpContext", HelpContext);

    qryCustomFields.setObjectName("qryCustomFields");
    qryCustomFields.setSql({"select *", "from CustomFields", "order by pos"});
    qry.setObjectName("qry");

    QVBoxLayout* layout = ToolBarColumn(this, ToolBar);
    tbAdd = AddToolButton(ToolBar, "tbAdd", "Добавить поле", 0);
    tbEdit = AddToolButton(ToolBar, "tbEdit", "Изменить название поля", 1);
    tbDel = AddToolButton(ToolBar, "tbDel", "Удалить поле", 2);
    ToolBar->addSeparator();
    tbMoveUp = AddToolButton(ToolBar, "tbMoveUp", "Сдвинуть вверх", 19);
    tbMoveDown = AddToolButton(ToolBar, "tbMoveDown", "Сдвинуть вниз", 20);
    // The captions are the buttons' hints.
    for (QToolButton* b : {tbAdd, tbEdit, tbDel, tbMoveUp, tbMoveDown}) b->setToolButtonStyle(Qt::ToolButtonIconOnly);

    lvCustomFields = new QTreeWidget(this);
    lvCustomFields->setObjectName("lvCustomFields");
    lvCustomFields->setColumnCount(2);
    lvCustomFields->setHeaderLabels({"Название", "Длина"});
    lvCustomFields->headerItem()->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    lvCustomFields->setRootIsDecorated(false);
    lvCustomFields->setItemsExpandable(false);
    lvCustomFields->setUniformRowHeights(true);
    lvCustomFields->setSelectionMode(QAbstractItemView::SingleSelection);
    lvCustomFields->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvCustomFields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvCustomFields->header()->setStretchLastSection(false);
    lvCustomFields->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lvCustomFields->header()->resizeSection(SizeColumn, 70);
    layout->addWidget(lvCustomFields, 1);

    connect(tbAdd, &QToolButton::clicked, this, fw::guarded([this] { tbAddClick(); }));
    connect(tbEdit, &QToolButton::clicked, this, fw::guarded([this] { tbEditClick(); }));
    connect(tbDel, &QToolButton::clicked, this, fw::guarded([this] { tbDelClick(); }));
    connect(tbMoveUp, &QToolButton::clicked, this, fw::guarded([this] { tbMoveUpClick(); }));
    connect(tbMoveDown, &QToolButton::clicked, this, fw::guarded([this] { tbMoveDownClick(); }));
    connect(lvCustomFields, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    connect(lvCustomFields, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(lvCustomFields, &QTreeWidget::itemDoubleClicked, this, fw::guarded([this] { lvCustomFieldsDblClick(); }));

    resize(360, 300);
    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }

    FormCreate();
}

TfmCustomFields::~TfmCustomFields()
{
    if (fmCustomFields == this) fmCustomFields = nullptr;
}

void TfmCustomFields::FormCreate()
{
    LoadFields();
}

void TfmCustomFields::LoadFields()
{
    qryCustomFields.close();
    qryCustomFields.open();
    const QSignalBlocker blocker(lvCustomFields);
    lvCustomFields->clear();
    for (qryCustomFields.first(); !qryCustomFields.eof(); qryCustomFields.next()) {
        auto* item = new QTreeWidgetItem(lvCustomFields);
        item->setText(0, qryCustomFields.fieldByName("CAPTION").asString());
        item->setText(SizeColumn, QString::number(qryCustomFields.fieldByName("FIELDSIZE").asInteger()));
        item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, KeyRole, qryCustomFields.fieldByName("IDCUSTOMFIELDS").asInteger());
    }
    UpdateButtons();
}

int TfmCustomFields::SelectedIndex() const
{
    const QList<QTreeWidgetItem*> selected = lvCustomFields->selectedItems();
    return selected.isEmpty() ? -1 : lvCustomFields->indexOfTopLevelItem(selected.first());
}

int TfmCustomFields::KeyAt(int index) const
{
    return lvCustomFields->topLevelItem(index)->data(0, KeyRole).toInt();
}

void TfmCustomFields::SelectIndex(int index)
{
    if (index < 0 || index >= lvCustomFields->topLevelItemCount()) return;
    QTreeWidgetItem* item = lvCustomFields->topLevelItem(index);
    lvCustomFields->setCurrentItem(item);
    item->setSelected(true);
    lvCustomFields->scrollToItem(item);
    UpdateButtons();
}

void TfmCustomFields::UpdateButtons()
{
    const int index = SelectedIndex();
    const bool selected = index >= 0;
    tbEdit->setEnabled(selected);
    tbDel->setEnabled(selected);
    tbMoveUp->setEnabled(selected && index > 0);
    tbMoveDown->setEnabled(selected && index < lvCustomFields->topLevelItemCount() - 1);
}

void TfmCustomFields::lvCustomFieldsDblClick()
{
    if (tbEdit->isEnabled()) tbEditClick();
}

void TfmCustomFields::Exec(const QStringList& sql)
{
    qry.setSql(sql);
    qry.execSql();
}

void TfmCustomFields::InTransaction(const std::function<void()>& body)
{
    fw::Database& db = dm->db;
    db.startTransaction();
    try {
        body();
        db.commit();
    } catch (...) {
        try {
            db.rollback();
        } catch (...) {
            // The engine's first error is the one worth showing.
        }
        throw;
    }
}

void TfmCustomFields::ExecInTransaction(const QList<QStringList>& statements)
{
    InTransaction([&] {
        for (const QStringList& sql : statements) Exec(sql);
    });
}

void TfmCustomFields::LocateField(int id)
{
    // Read again: another user may have removed the field since the list was read.
    qryCustomFields.close();
    qryCustomFields.open();
    if (!qryCustomFields.locate("idCustomFields", id)) FieldRemoved(id);
}

void TfmCustomFields::FieldRemoved(int id)
{
    QString caption;
    for (int i = 0; i < lvCustomFields->topLevelItemCount(); ++i)
        if (KeyAt(i) == id) caption = lvCustomFields->topLevelItem(i)->text(0);
    LoadFields();
    throw fw::UserError("Поле «" + caption + "» удалено другим пользователем.\nСписок полей обновлён.");
}

void TfmCustomFields::tbAddClick()
{
    std::unique_ptr<TfmCustomFieldsEdit> edit(new TfmCustomFieldsEdit(this));
    QPalette red = edit->lblWarning->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    edit->lblWarning->setPalette(red);
    if (edit->exec() != QDialog::Accepted) return;
    AddField(edit->edCaption->text(), edit->seLength->value());
}

int TfmCustomFields::AddField(const QString& caption, int size)
{
    CheckCustomFieldCaption(caption);
    CheckCustomFieldSize(size);
    sp.execProc();
    const int id = sp.param(0).value().asInt();
    // The column and its description are written together or not at all.
    ExecInTransaction({{CustomFieldAddColumnSql(id, size)}, CustomFieldInsertSql(id, caption, size)});
    LoadFields();
    SelectIndex(lvCustomFields->topLevelItemCount() - 1);
    return id;
}

void TfmCustomFields::tbEditClick()
{
    const int index = SelectedIndex();
    if (index < 0) return;
    const int id = KeyAt(index);
    LocateField(id);
    std::unique_ptr<TfmCustomFieldsEdit> edit(new TfmCustomFieldsEdit(this));
    edit->setWindowTitle("Изменение названия поля");
    edit->lblWarning->hide();
    edit->lblLength->setEnabled(false);
    edit->seLength->setEnabled(false);
    edit->seLength->setValue(qryCustomFields.fieldByName("FIELDSIZE").asInteger());
    edit->edCaption->setText(qryCustomFields.fieldByName("CAPTION").asString());
    edit->edCaption->selectAll();
    if (edit->exec() != QDialog::Accepted) return;
    RenameField(id, edit->edCaption->text());
    SelectIndex(index);
}

void TfmCustomFields::RenameField(int id, const QString& caption)
{
    CheckCustomFieldCaption(caption);
    Exec({"update CustomFields set Caption = " + Quoted(caption) + " where idCustomFields = " + QString::number(id)});
    if (qry.rowsAffected() == 0) FieldRemoved(id);
    LoadFields();
}

void TfmCustomFields::tbDelClick()
{
    const int index = SelectedIndex();
    if (index < 0) return;
    DeleteField(KeyAt(index));
}

void TfmCustomFields::DeleteField(int id)
{
    const int index = SelectedIndex();
    // Other users' windows hold the column in their statements.
    const int attachments = int(GetAttachedUserNames(dm->db).size());
    if (attachments > 1)
        throw fw::UserError("Обнаружено более одного подключение к базе.\rУдаление поля невозможно!\rВсего подключений: "
                            + QString::number(attachments));
    if (!fw::dialogs().confirm("Удалить поле?")) return;
    LocateField(id);
    const QString fieldName = qryCustomFields.fieldByName("FIELDNAME").asString().trimmed();
    // The row goes first: when another user has just removed the field, nothing
    // is dropped and the user is told so instead of the engine's complaint.
    bool removed = false;
    InTransaction([&] {
        Exec({"delete from CustomFields where idCustomFields=" + QString::number(id)});
        removed = qry.rowsAffected() == 0;
        if (!removed) Exec({"alter table customer drop " + fieldName});
    });
    if (removed) FieldRemoved(id);
    LoadFields();
    SelectIndex(qMin(index, lvCustomFields->topLevelItemCount() - 1));
}

void TfmCustomFields::MoveField(bool up)
{
    const int index = SelectedIndex();
    const int neighbour = up ? index - 1 : index + 1;
    if (index < 0 || neighbour < 0 || neighbour >= lvCustomFields->topLevelItemCount()) return;
    const int id = KeyAt(index), otherId = KeyAt(neighbour);
    LocateField(id);
    const fw::Value pos = qryCustomFields.fieldByName("POS").value();
    LocateField(otherId);
    const fw::Value otherPos = qryCustomFields.fieldByName("POS").value();
    // Both positions change together, so no two fields ever share one.
    ExecInTransaction({{"update CustomFields set pos=" + otherPos.asString() + " where idCustomFields=" + QString::number(id)},
                       {"update CustomFields set pos=" + pos.asString() + " where idCustomFields=" + QString::number(otherId)}});
    LoadFields();
    SelectIndex(neighbour);
}
