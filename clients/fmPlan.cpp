#include "clients/fmPlan.h"

#include "controls/DateEdit.h"
#include "core/SharedProcs.h"
#include "core/FormParts.h"
#include "core/Users.h"
#include "core/dm.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/ExceptionHandler.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPointer>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

QPointer<TfmPlan> fmPlan;

namespace {

QLabel* buddyLabel(const QString& text, QWidget* buddy, const char* name)
{
    auto* label = new QLabel(text, buddy->parentWidget());
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

// The time picker the way a user types into it: a click selects the hours or the minutes
// under it, and digits typed over the whole time start at the hours, so that "12:53"
// typed over a selected time gives 12:53.
class TimeTyping : public QObject {
public:
    explicit TimeTyping(QTimeEdit* edit) : QObject(edit), edit_(edit)
    {
        edit->installEventFilter(this);
        if (auto* line = edit->findChild<QLineEdit*>()) line->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        // Only input events: others also come while the picker is being destroyed.
        if (e->type() == QEvent::MouseButtonRelease && o != edit_) {
            QPointer<QLineEdit> line(qobject_cast<QLineEdit*>(o));
            QPointer<QTimeEdit> edit(edit_);
            QTimer::singleShot(0, edit_, [edit, line] {
                if (edit && line && !line->hasSelectedText()) edit->setSelectedSection(edit->currentSection());
            });
        } else if (e->type() == QEvent::KeyPress && o == edit_) {
            const QString t = static_cast<QKeyEvent*>(e)->text();
            const auto* line = edit_->findChild<QLineEdit*>();
            if (line && t.size() == 1 && t[0].isDigit() && line->hasSelectedText()
                && line->selectedText() == line->text())
                edit_->setSelectedSection(QDateTimeEdit::HourSection);
        }
        return false;
    }

private:
    QTimeEdit* edit_;
};

} // namespace

QDateTime PlanDateTime(const QDate& date, const QTime& time)
{
    if (!date.isValid()) return {};
    const QTime t = time.isValid() ? QTime(time.hour(), time.minute()) : QTime(0, 0);
    return QDateTime(date, t);
}

TfmPlan::TfmPlan(QWidget* owner) : QDialog(owner)
{
    fmPlan = this;
    setObjectName("fmPlan");
    setWindowTitle("План");

    // The lists of the two combos are the shared ones; the caller may not have opened them.
    if (!dm->qryHiType.active()) dm->qryHiType.open();
    if (!dm->qryUser.active()) dm->qryUser.open();

    edNote = new QLineEdit(this);
    edNote->setObjectName("edNote");
    edNote->setMaxLength(255);
    lblNote = buddyLabel("План", edNote, "lblNote");

    deDate = new TDateEdit(this);
    deDate->setObjectName("deDate");
    SetupDateEdit(deDate);
    deDate->SetDirectInput(false);          // the picker only
    lblDate = buddyLabel("Дата", deDate, "lblDate");

    dtpTime = new QTimeEdit(this);
    dtpTime->setObjectName("dtpTime");
    dtpTime->setDisplayFormat("HH:mm");
    new TimeTyping(dtpTime);
    lblTime = buddyLabel("Время", dtpTime, "lblTime");

    dblcHistType = LookupCombo(this, "dblcHistType", &dm->dsHiType, "IDHISTTYPE", "HISTTYPE");
    lblHistType = buddyLabel("Тип", dblcHistType, "lblHistType");
    dblcUser = LookupCombo(this, "dblcUser", &dm->dsUser, "IDUSER", "NAME");
    lblUser = buddyLabel("Куратор", dblcUser, "lblUser");

    // The marks look as the rows they produce look in the history and plan grids.
    cbBudil = new QCheckBox("Будильник", this);
    cbBudil->setObjectName("cbBudil");
    QFont underlined = cbBudil->font();
    underlined.setUnderline(true);
    cbBudil->setFont(underlined);
    cbPrior = new QCheckBox("Приоритет", this);
    cbPrior->setObjectName("cbPrior");
    // Maroon while it can be used; disabled it keeps the greyed text of every disabled control.
    QPalette maroon = cbPrior->palette();
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive})
        for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::ButtonText})
            maroon.setColor(g, r, QColor(128, 0, 0));
    cbPrior->setPalette(maroon);

    edLink = new QLineEdit(this);
    edLink->setObjectName("edLink");
    edLink->setMaxLength(255);
    lblLink = buddyLabel("Ссылка", edLink, "lblLink");
    btnSetHistLink = new QPushButton("Добавить ссылку", this);
    btnSetHistLink->setObjectName("btnSetHistLink");
    btnSetHistLink->setAutoDefault(false);
    odLink.filter = "Все файлы (*.*)|*.*";

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setAutoDefault(false);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setAutoDefault(false);

    connect(btnSetHistLink, &QPushButton::clicked, this, fw::guarded([this] { btnSetHistLinkClick(); }));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout;
    grid->addWidget(lblDate, 0, 0);
    auto* when = new QHBoxLayout;
    when->addWidget(deDate, 1);
    when->addSpacing(12);
    when->addWidget(lblTime);
    when->addWidget(dtpTime);
    grid->addLayout(when, 0, 1);
    grid->addWidget(lblHistType, 1, 0);
    grid->addWidget(dblcHistType, 1, 1);
    grid->addWidget(lblUser, 2, 0);
    grid->addWidget(dblcUser, 2, 1);
    auto* marks = new QHBoxLayout;
    marks->addWidget(cbBudil);
    marks->addSpacing(16);
    marks->addWidget(cbPrior);
    marks->addStretch();
    grid->addLayout(marks, 3, 1);
    grid->addWidget(lblNote, 4, 0);
    grid->addWidget(edNote, 4, 1);
    grid->addWidget(lblLink, 5, 0);
    auto* link = new QHBoxLayout;
    link->addWidget(edLink, 1);
    link->addWidget(btnSetHistLink);
    grid->addLayout(link, 5, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(6);
    layout->addLayout(buttons);

    // The note comes first: it is what the user types most.
    setTabOrder(edNote, deDate);
    setTabOrder(deDate, dtpTime);
    setTabOrder(dtpTime, dblcHistType);
    setTabOrder(dblcHistType, dblcUser);
    setTabOrder(dblcUser, cbBudil);
    setTabOrder(cbBudil, cbPrior);
    setTabOrder(cbPrior, edLink);
    setTabOrder(edLink, btnSetHistLink);
    setTabOrder(btnSetHistLink, btnOK);
    setTabOrder(btnOK, btnCancel);
    edNote->setFocus();

    resize(520, sizeHint().height());
    FormCreate();
}

TfmPlan::~TfmPlan()
{
    if (fmPlan == this) fmPlan = nullptr;
}

void TfmPlan::FormCreate()
{
    const bool mayChangeCurator = UserRights && UserRights->IsGranted(CurrentUser.IdUser, 1030);
    dblcUser->setEnabled(mayChangeCurator);
    lblUser->setEnabled(mayChangeCurator);
}

QDateTime TfmPlan::DateTime() const
{
    return PlanDateTime(deDate->Date(), dtpTime->time());
}

void TfmPlan::SetDateTime(const QDateTime& value)
{
    deDate->SetDate(value.date());
    dtpTime->setTime(value.isValid() ? value.time() : QTime(0, 0));
}

void TfmPlan::btnSetHistLinkClick()
{
    odLink.fileName = edLink->text();
    if (fw::dialogs().openFile(odLink)) edLink->setText(odLink.fileName);
}

void TfmPlan::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}

namespace {

// What fill writes into the row being edited; false (the row cancelled) when it says no or throws.
bool Filled(fw::DataSet& ds, const std::function<bool()>& fill)
{
    bool ok = false;
    try {
        ok = fill();
    } catch (...) {
        if (ds.state() != fw::DataSetState::Browse) ds.cancel();
        throw;
    }
    if (!ok && ds.state() != fw::DataSetState::Browse) ds.cancel();
    return ok;
}

} // namespace

void EditAndPost(fw::DataSet& ds, const std::function<bool()>& edit)
{
    if (Filled(ds, edit)) ds.post();
}

bool EditUntilPosted(fw::DataSet& ds, const std::function<bool()>& dialog)
{
    for (;;) {
        if (!Filled(ds, dialog)) return false;
        if (fw::runGuarded([&] { ds.post(); })) return true;
        if (ds.state() == fw::DataSetState::Browse) return false;
    }
}
