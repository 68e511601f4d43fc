#include "clients/KlientExport.h"

#include "clients/dmKl.h"
#include "clients/fmExpKlDetal.h"
#include "reports/Export.h"
#include "reports/fmExportConCount.h"

#include "widgets/DBGrid.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QCheckBox>
#include <QSpinBox>

#include <memory>

namespace {

// Display of the data sets suspended for the whole export, whatever ends it.
class ControlsDisabled {
public:
    explicit ControlsDisabled(std::initializer_list<fw::DataSet*> sets) : sets_(sets)
    {
        for (fw::DataSet* ds : sets_) ds->disableControls();
    }
    ~ControlsDisabled()
    {
        // The views redraw here; what that raises must not leave a destructor.
        for (fw::DataSet* ds : sets_) fw::runGuarded([ds] { ds->enableControls(); });
    }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    QList<fw::DataSet*> sets_;
};

bool editing(const fw::DataSet& ds)
{
    return ds.state() == fw::DataSetState::Edit || ds.state() == fw::DataSetState::Insert;
}

// A detail set of the card on the current client's rows, at its first row. The
// clients window reopens the visible details after every move in the list; a
// set still open for another client is reopened here.
void OpenForCurrentClient(fw::Query& details)
{
    const int idCust = dmKl->qryCust.fieldByName("idCust").asInteger();
    if (details.active()) {
        const fw::Param* p = details.findParam("idCust");
        if (p && p->value().asInt() != idCust) details.close();
    }
    if (!details.active()) details.open();
    details.first();
}

bool clientListEmpty()
{
    return !dmKl || !dmKl->qryCust.active() || dmKl->qryCust.isEmpty();
}

} // namespace

void ExportKlientList(fw::DBGrid* dbgCust, fw::DBGrid* dbgContacts, const std::function<void()>& showContacts)
{
    if (clientListEmpty()) return;
    if (!fw::dialogs().confirm("Включить в экспорт контактные лица?")) {
        ExportDBGrid(dbgCust, "Компания");
        return;
    }
    int groups = 0;
    {
        std::unique_ptr<TfmExportConCount> form(new TfmExportConCount(dbgCust->window()));
        if (form->exec() != QDialog::Accepted) return;
        groups = form->seCount->value();
    }
    QList<int> custColumns, contactColumns;
    SelectColumns(dbgCust, "Компания", custColumns);
    SelectColumns(dbgContacts, "Контактные лица", contactColumns);
    if (custColumns.isEmpty() && contactColumns.isEmpty()) return;

    fw::Query& cust = dmKl->qryCust;
    fw::Query& contacts = dmKl->qryContacts;
    if (editing(cust)) cust.post();
    TKeepRow keep(cust);
    cust.first();
    if (showContacts) showContacts();
    // Opened before the display is suspended, so that its grid knows its fields.
    OpenForCurrentClient(contacts);
    ControlsDisabled suspended{&cust, &contacts};

    TExportDBGrid exporter;
    if (!SetupExport(exporter)) return;
    exporter.SetCaption("Клиенты");
    exporter.BeginExport();
    exporter.WriteTitles(dbgCust, custColumns, QString());
    for (int g = 1; g <= groups; ++g) exporter.WriteTitles(dbgContacts, contactColumns, QString::number(g));
    exporter.NewLine();
    while (!cust.eof()) {
        exporter.WriteRecord(dbgCust, custColumns, false);
        for (int g = 0; g < groups; ++g) {
            const bool exhausted = contacts.isEmpty() || contacts.eof();
            exporter.WriteRecord(dbgContacts, contactColumns, exhausted);
            if (!exhausted) contacts.next();
        }
        exporter.NewLine();
        cust.next();
        if (!cust.eof()) OpenForCurrentClient(contacts);
    }
    FinishExport(exporter);
}

void ExportKlientCalendar(fw::DBGrid* dbgCal)
{
    ExportDBGrid(dbgCal, "Календарь");
}

void ExportKlientDetal(QWidget* owner, const TKlientDetalGrids& grids)
{
    if (clientListEmpty()) return;
    if (!fmExpKlDetal) new TfmExpKlDetal(owner);
    TfmExpKlDetal* form = fmExpKlDetal;
    form->cbClick();
    if (form->exec() != QDialog::Accepted) return;

    struct Section {
        QCheckBox* box;
        fw::DBGrid* grid;
        const char* choice;     // caption of the column choice
        const char* title;      // first cell of the section's title line
        fw::Query* details;     // nullptr for the company itself
        QList<int> columns;
    };
    Section sections[] = {
        {form->cbKar, grids.dbgCust, "Компания", "Компания", nullptr, {}},
        {form->cbHist, grids.dbgHist, "История", "История", &dmKl->qryHist, {}},
        {form->cbPlan, grids.dbgPlan, "Планы", "Планы", &dmKl->qryPlan, {}},
        {form->cbContacts, grids.dbgContacts, "Контактные лица", "Контактные лица", &dmKl->qryContacts, {}},
        {form->cbSales, grids.dbgSales, "Товары", "Товар", &dmKl->qrySales, {}},
        {form->cbSdelka, grids.dbgSdelka, "Сделки", "Сделки", &dmKl->qrySdelka, {}},
        {form->cbDog, grids.dbgDog, "Договора", "Договора", &dmKl->qryDog, {}},
    };
    const bool all = form->cbAll->isChecked();
    bool chosen = false;
    for (Section& s : sections) {
        if (!s.box->isChecked() || !s.grid) continue;
        SelectColumns(s.grid, s.choice, s.columns);
        chosen = chosen || !s.columns.isEmpty();
    }
    if (!chosen) return;

    TExportDBGrid exporter;
    if (!SetupExport(exporter)) return;
    exporter.SetCaption(all ? "Клиенты детально" : "Клиент детально");
    fw::Query& cust = dmKl->qryCust;
    if (editing(cust)) cust.post();
    // The user's row comes back afterwards, also after a failed export.
    TKeepRow keep(cust);
    // Only the list: a detail set opened for the first time while its display
    // is suspended would leave its grid without fields.
    ControlsDisabled suspended{&cust};
    exporter.BeginExport();
    // The whole selection from its first client; otherwise the current client,
    // also when the list stands at its end.
    if (all) cust.first();
    for (bool more = !cust.isEmpty(); more; more = all && !cust.eof()) {
        for (Section& s : sections) {
            if (s.columns.isEmpty()) continue;
            if (!s.details) {
                exporter.WriteValue(QString(s.title));
                exporter.WriteTitles(s.grid, s.columns, QString());
                exporter.NewLine();
                exporter.WriteValue(fw::Value());
                exporter.WriteRecord(s.grid, s.columns, false);
                exporter.NewLine();
                continue;
            }
            OpenForCurrentClient(*s.details);
            if (s.details->isEmpty()) continue;
            exporter.WriteValue(QString(s.title));
            exporter.WriteTitles(s.grid, s.columns, QString());
            exporter.NewLine();
            for (; !s.details->eof(); s.details->next()) {
                exporter.WriteValue(fw::Value());
                exporter.WriteRecord(s.grid, s.columns, false);
                exporter.NewLine();
            }
        }
        if (!all) break;
        exporter.WriteValue(QString("--"));
        exporter.NewLine();
        cust.next();
    }
    FinishExport(exporter);
}
