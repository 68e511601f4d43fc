#include "clients/GrOper.h"

#include "clients/dmKl.h"
#include "clients/fmKlient.h"
#include "clients/fmPlan.h"
#include "core/SharedProcs.h"
#include "core/FormParts.h"
#include "core/Users.h"
#include "core/dm.h"
#include "db/DbError.h"
#include "deals/dmKlSd.h"
#include "os/Shell.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

QPointer<TfmGrOperProc> fmGrOperProc;

namespace {

fw::Value keyOfCurrentRow(fw::DataSet& ds, const char* field)
{
    if (!ds.active()) ds.open();
    return ds.isEmpty() ? fw::Value(0) : ds.fieldByName(field).value();
}

// A detail set of the current client: reopened when it shows another client's rows.
void ShowCurrentClient(fw::Query& ds)
{
    const int idCust = dmKl->qryCust.fieldByName("idCust").asInteger();
    fw::Param* p = ds.findParam("idCust");
    if (ds.active() && (!p || (p->bound() && !p->isNull() && p->asInteger() == idCust))) return;
    ds.close();
    ds.open();
}

} // namespace

// ---------------------------------------------------------------------------

bool TGrOper::GetParams()
{
    FieldValues.Clear();
    switch (OperType) {
    case Hist:
    case Plan: {
        const bool plan = OperType == Plan;
        std::unique_ptr<TfmPlan> form(new TfmPlan(nullptr));
        form->setWindowTitle(plan ? "Добавление плана в выборку клиентов"
                                  : "Добавление записи в историю в выборку клиентов");
        form->SetDateTime(plan ? TdmKl::DefaultPlanDate() : GetServerDate());
        if (!dm->qryHiType.active()) dm->qryHiType.open();
        form->dblcHistType->setKeyValue(0);
        form->dblcUser->setKeyValue(CurrentUser.IdUser);
        form->cbBudil->setChecked(false);
        form->cbPrior->setChecked(false);
        form->cbBudil->setEnabled(plan);
        form->cbPrior->setEnabled(plan);
        if (form->exec() != QDialog::Accepted) return false;
        FieldValues.Add("idUser", form->dblcUser->keyValue());
        FieldValues.Add("DateCr", form->DateTime());
        FieldValues.Add("Note", form->edNote->text());
        FieldValues.Add("FILEPATH", form->edLink->text());
        FieldValues.Add("idHistType", form->dblcHistType->keyValue());
        FieldValues.Add("idContacts", fw::Value());
        if (plan) {
            FieldValues.Add("Budil", form->cbBudil->isChecked() ? "+" : "-");
            FieldValues.Add("Prior", form->cbPrior->isChecked() ? "+" : "-");
        }
        return true;
    }
    case GlGroup:
    case LocGroup: {
        const bool local = OperType == LocGroup;
        int id = -1;
        QString text;
        if (!SelectValue(local ? 4 : 3, id, text,
                         local ? "where idUser=" + QString::number(CurrentUser.IdUser) : QString(),
                         local ? "Выбор личной группы" : "Выбор общей группы"))
            return false;
        FieldValues.Add(local ? "idLocGrKl" : "idGrKlient", id);
        return true;
    }
    case Sdelka: {
        if (!dmKlSd) new TdmKlSd(nullptr);
        if (!dm->qrySdType.active()) dm->qrySdType.open();
        if (!dmKlSd->qryPrichina.active()) dmKlSd->qryPrichina.open();
        if (!dmKlSd->qryPrichina2.active()) dmKlSd->qryPrichina2.open();
        // The second-level list is filtered only while the dialog is open.
        const QString keptFilter = dmKlSd->qryPrichina2.filter();
        const bool keptFiltered = dmKlSd->qryPrichina2.filtered();
        struct Restore {
            QString filter;
            bool filtered;
            ~Restore()
            {
                if (!dmKlSd) return;
                dmKlSd->qryPrichina2.setFilter(filter);
                dmKlSd->qryPrichina2.setFiltered(filtered);
            }
        } restore{keptFilter, keptFiltered};

        std::unique_ptr<TfmSdelkaGroup> form(new TfmSdelkaGroup(nullptr));
        form->dblcType->setKeyValue(keyOfCurrentRow(dm->qrySdType, "IDSDELKATYPE"));
        // The user's own deals by default: the shared users list may stand on anybody.
        form->dblcUser->setKeyValue(CurrentUser.IdUser);
        form->dblcPrichina->setKeyValue(0);
        form->dblcPrichinaClick();
        form->dblcPrichina2->setKeyValue(0);
        form->edName->setText("Новая сделка");
        if (form->exec() != QDialog::Accepted) return false;
        FieldValues.Add("Name", form->edName->text());
        FieldValues.Add("IDSDELKATYPE", form->dblcType->keyValue());
        FieldValues.Add("IDUSER", form->dblcUser->keyValue());
        FieldValues.Add("IDPRICHINA", form->dblcPrichina->keyValue());
        FieldValues.Add("IDPRICHINA2", form->dblcPrichina2->keyValue());
        return true;
    }
    case Email: {
        std::unique_ptr<TfmGroupEmail> form(new TfmGroupEmail(nullptr));
        if (form->exec() != QDialog::Accepted) return false;
        FieldValues.Add("Separator", form->edSeparator->text());
        FieldValues.Add("AllContacts", form->AllContacts());
        return true;
    }
    default:
        return false;
    }
}

fw::DataSet& TGrOper::TargetDataSet() const
{
    switch (OperType) {
    case Hist: return dmKl->qryHist;
    case Plan: return dmKl->qryPlan;
    case GlGroup: return dmKl->qryGrGl_;
    case LocGroup: return dmKl->qryGrLoc_;
    case Sdelka: return dmKlSd->qrySdelka;
    default: return dmKl->qryContacts;
    }
}

void TGrOper::ShowTargetPages() const
{
    if (!fmKlient) return;
    fmKlient->pcMain->setCurrentWidget(fmKlient->tsKar);
    switch (OperType) {
    case Hist: fmKlient->pcDown->setCurrentWidget(fmKlient->tsHist); break;
    case Plan: fmKlient->pcDown->setCurrentWidget(fmKlient->tsPlan); break;
    case GlGroup:
    case LocGroup: fmKlient->pcDown->setCurrentWidget(fmKlient->tsGroup); break;
    case Sdelka: fmKlient->pcMain->setCurrentWidget(fmKlient->tsKlList); break;
    default: fmKlient->pcDown->setCurrentWidget(fmKlient->tsContacts); break;
    }
}

void TGrOper::ProcessClient(fw::DataSet& ds, const QString& separator, int allContacts)
{
    if (OperType != Sdelka) ShowCurrentClient(static_cast<fw::Query&>(ds));

    if (OperType == Email) {
        if (ds.isEmpty()) return;
        ds.first();
        do {
            const QString email = ds.fieldByName("CONTACT_EMAIL").asString().trimmed();
            if (!email.isEmpty()) EmailText += email + separator;
            if (allContacts != 0) break;
            ds.next();
        } while (!ds.eof());
        return;
    }

    if (OperType == GlGroup || OperType == LocGroup) {
        const TFieldValueItem& group = FieldValues.Items.at(0);
        if (ds.locate(group.FieldName, group.Value)) return;   // already a member
    }
    ds.append();
    for (const TFieldValueItem& item : FieldValues.Items) ds.fieldByName(item.FieldName).setValue(item.Value);
    ds.post();
}

bool TGrOper::Execute()
{
    Processed = 0;
    EmailText.clear();
    if (!dmKl) return false;
    fw::Query& cust = dmKl->qryCust;
    if (!cust.active() || cust.isEmpty()) return false;

    // What is pending belongs to the user's own edit, not to the run.
    cust.checkBrowseMode();
    if (dmKl->qryContacts.active()) dmKl->qryContacts.checkBrowseMode();
    const fw::Value currentClient = cust.fieldByName("idCust").value();

    ShowTargetPages();
    if (OperType == Sdelka && !dmKlSd) new TdmKlSd(nullptr);
    fw::Query& ds = static_cast<fw::Query&>(TargetDataSet());
    if (ds.active()) ds.checkBrowseMode();
    if (OperType == Sdelka) {
        // An empty deal set: the new deals are appended to it.
        ds.close();
        ds.paramByName("idSdelka").setValue(0);
        ds.open();
    }
    const bool wasOpen = ds.active();
    QString separator;
    int allContacts = 0;
    if (OperType == Email && FieldValues.Items.size() >= 2) {
        separator = FieldValues.Items.at(0).Value.asString();
        allContacts = FieldValues.Items.at(1).Value.asInt();
    }

    ds.disableControls();
    cust.disableControls();
    QWidget* mainWindow = fmKlient ? fmKlient->window() : QApplication::activeWindow();
    std::unique_ptr<TfmGrOperProc> proc(new TfmGrOperProc(mainWindow));
    proc->lblAllCount->setText(QString::number(cust.recordCount()));
    proc->pb->setMaximum(cust.recordCount());
    proc->show();
    proc->repaint();

    bool ok = true;
    QString failedAt;
    fw::Database& db = dm->db;
    try {
        // The whole selection is one unit of work: all clients or none.
        db.startTransaction();
        if (OperType == Sdelka) dmKl->CheckInsertRight();
        cust.first();
        while (!cust.eof()) {
            failedAt = cust.fieldByName("Company").asString();
            ProcessClient(ds, separator, allContacts);
            ++Processed;
            proc->SetCount(Processed);
            cust.next();
        }
        db.commit();
    } catch (...) {
        ok = false;
        const std::exception_ptr e = std::current_exception();
        if (ds.active()) ds.cancel();
        try {
            if (db.inTransaction()) db.rollback();
        } catch (...) {
            // The engine drops an unfinished transaction with the attachment anyway.
        }
        Processed = 0;
        EmailText.clear();
        proc.reset();
        // The failure with its own message, then what became of the run.
        fw::showException(e);
        fw::dialogs().warning(
            QString("Операция прервана на компании \"%1\" и отменена: ни одна запись не сохранена.").arg(failedAt));
    }

    proc.reset();
    // The rows the data set holds may be rolled back ones: read it again.
    try {
        ds.close();
        if (OperType == Sdelka) ds.open();
        if (!cust.locate("idCust", currentClient)) cust.first();
        if (wasOpen && OperType != Sdelka && !ds.active()) ds.open();
    } catch (...) {
        cust.enableControls();
        ds.enableControls();
        throw;
    }
    cust.enableControls();
    ds.enableControls();

    if (ok && OperType == Email) {
        EmailText.chop(separator.size());
        fw::shell().setClipboardText(EmailText);
        fw::dialogs().information("Список адресов скопирован в буфер обмена\nи готов для вставки в письмо.");
    }
    return ok;
}

// ---------------------------------------------------------------------------

TfmSdelkaGroup::TfmSdelkaGroup(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmSdelkaGroup");
    setWindowTitle("Параметры сделки");
    if (!dm->qryUser.active()) dm->qryUser.open();
    if (!dm->qrySdType.active()) dm->qrySdType.open();

    edName = new QLineEdit(this);
    edName->setObjectName("edName");
    edName->setMaxLength(255);   // the deal name column holds 255 characters
    dblcType = LookupCombo(this, "dblcType", &dm->dsSdType, "IDSDELKATYPE", "SDELKATYPE");
    dblcUser = LookupCombo(this, "dblcUser", &dm->dsUser, "IDUSER", "NAME");
    gbPrichina = new QGroupBox("Причина", this);
    gbPrichina->setObjectName("gbPrichina");
    dblcPrichina = LookupCombo(gbPrichina, "dblcPrichina", &dmKlSd->dsPrichina, "IDPRICHINA", "PRICHINA");
    dblcPrichina2 = LookupCombo(gbPrichina, "dblcPrichina2", &dmKlSd->dsPrichina2, "IDPRICHINA2", "PRICHINA2");
    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel, "ОК");

    connect(dblcPrichina, &fw::DBLookupCombo::activated, this, [this] { dblcPrichinaClick(); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* form = new QFormLayout;
    form->addRow("Название", edName);
    form->addRow("Тип", dblcType);
    form->addRow("Куратор", dblcUser);
    auto* reasons = new QVBoxLayout(gbPrichina);
    reasons->addWidget(dblcPrichina);
    reasons->addWidget(dblcPrichina2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(gbPrichina);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());
}

void TfmSdelkaGroup::dblcPrichinaClick()
{
    const fw::Value key = dblcPrichina->keyValue();
    dmKlSd->qryPrichina2.setFilter("idPrichina=" + QString::number(key.isNull() ? 0 : key.asInt()));
    dmKlSd->qryPrichina2.setFiltered(true);
    dblcPrichina2->setKeyValue(0);
}

void TfmSdelkaGroup::keyPressEvent(QKeyEvent* e)
{
    if (!DialogKey(this, e)) QDialog::keyPressEvent(e);
}

// ---------------------------------------------------------------------------

TfmGroupEmail::TfmGroupEmail(QWidget* owner) : QDialog(owner)
{
    setObjectName("fmGroupEmail");
    setWindowTitle("Создать письмо");

    edSeparator = new QLineEdit(";", this);
    edSeparator->setObjectName("edSeparator");
    rgAllContacts = new QGroupBox("Контактные лица", this);
    rgAllContacts->setObjectName("rgAllContacts");
    rbAll = new QRadioButton("Все", rgAllContacts);
    rbAll->setObjectName("rbAll");
    rbFirst = new QRadioButton("Первые", rgAllContacts);
    rbFirst->setObjectName("rbFirst");
    bgAllContacts = new QButtonGroup(this);
    bgAllContacts->addButton(rbAll, 0);
    bgAllContacts->addButton(rbFirst, 1);
    rbAll->setChecked(true);
    auto* note = new QLabel("Электронные адреса будут скопированы в буфер обмена (clipboard)", this);
    note->setObjectName("lblNote");
    note->setWordWrap(true);
    QHBoxLayout* buttons = OkCancelRow(this, btnOK, btnCancel, "ОК");
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* form = new QFormLayout;
    form->addRow("Разделитель адресов", edSeparator);
    auto* radios = new QVBoxLayout(rgAllContacts);
    radios->addWidget(rbAll);
    radios->addWidget(rbFirst);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(rgAllContacts);
    layout->addWidget(note);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    resize(380, sizeHint().height());
}

int TfmGroupEmail::AllContacts() const
{
    return bgAllContacts->checkedId() == 1 ? 1 : 0;
}

void TfmGroupEmail::SetAllContacts(int index)
{
    (index == 1 ? rbFirst : rbAll)->setChecked(true);
}

// ---------------------------------------------------------------------------

TfmGrOperProc::TfmGrOperProc(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    fmGrOperProc = this;
    setObjectName("fmGrOperProc");
    setWindowTitle("Операция с выборкой");
    // Nothing else is used while the run lasts, and the reminder waits for it as for any dialog.
    setWindowModality(Qt::ApplicationModal);

    // Without a window border the frame shows where the window ends.
    auto* border = new QFrame(this);
    border->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(border);
    auto* frame = new QVBoxLayout(border);
    gbProgress = new QGroupBox("Ход выполнения задачи", border);
    gbProgress->setObjectName("gbProgress");
    frame->addWidget(gbProgress);
    lblCurCount = new QLabel("0", gbProgress);
    lblCurCount->setObjectName("lblCurCount");
    lblAllCount = new QLabel("0", gbProgress);
    lblAllCount->setObjectName("lblAllCount");
    pb = new QProgressBar(gbProgress);
    pb->setObjectName("pb");
    pb->setMinimum(0);
    pb->setValue(0);

    auto* counts = new QHBoxLayout;
    counts->addWidget(new QLabel("Обработано:", gbProgress));
    counts->addWidget(lblCurCount);
    counts->addWidget(new QLabel("из", gbProgress));
    counts->addWidget(lblAllCount);
    counts->addStretch();
    auto* inner = new QVBoxLayout(gbProgress);
    inner->addLayout(counts);
    inner->addWidget(pb);
    resize(340, sizeHint().height());

    // Centred on the main window (or the screen without one).
    const QRect area = owner ? owner->frameGeometry()
                             : (QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry()
                                                               : QRect());
    if (area.isValid()) move(area.center() - rect().center());
}

TfmGrOperProc::~TfmGrOperProc()
{
    if (fmGrOperProc == this) fmGrOperProc = nullptr;
}

void TfmGrOperProc::SetCount(int current)
{
    lblCurCount->setText(QString::number(current));
    pb->setValue(current);
    lblCurCount->repaint();
    pb->repaint();
}
