#include "fmSetupList.h"

#include "core/ModuleWindows.h"
#include "core/SharedProcs.h"
#include "core/Sprav.h"
#include "core/SpravImport.h"
#include "core/FormParts.h"
#include "core/dm.h"

#include "widgets/ExceptionHandler.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfmSetupList::TfmSetupList(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmSetupList");
    setWindowTitle("Настройка справочников");
    resize(820, 500);

    QVBoxLayout* layout = ToolBarColumn(this, ToolBar);
    lblSprav = new QLabel("Справочник ", ToolBar);
    lblSprav->setObjectName("lblSprav");
    lblSprav->setContentsMargins(6, 0, 0, 0);
    ToolBar->addWidget(lblSprav);
    cbSprav = new QComboBox(ToolBar);
    cbSprav->setObjectName("cbSprav");
    cbSprav->setMaxVisibleItems(10);
    cbSprav->setMinimumWidth(200);
    ToolBar->addWidget(cbSprav);
    ToolBar->addSeparator();
    tbImport = AddToolButton(ToolBar, "tbImport", "Импорт справочника", 3);
    tbImport->setEnabled(false);

    pnlClient = new QWidget(this);
    pnlClient->setObjectName("pnlClient");
    pnlClientLayout = new QVBoxLayout(pnlClient);
    pnlClientLayout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(pnlClient, 1);

    od.caption = "Файлы";
    od.filter = "Все файлы|*.*";
    od.multiSelect = true;

    FormCreate();
    connect(cbSprav, &QComboBox::currentIndexChanged, this, fw::guarded([this] { cbSpravChange(); }));
    connect(tbImport, &QToolButton::clicked, this, fw::guarded([this] { tbImportClick(); }));
}

TfmSetupList::~TfmSetupList()
{
    SpravMan.reset();
    FormDestroy();
}

void TfmSetupList::FormCreate()
{
    SpravMan = std::make_unique<TSpravMan>(this);
    for (const TSpravRec& r : SpravList) cbSprav->addItem(r.Name);
    cbSprav->setCurrentIndex(-1);
}

void TfmSetupList::cbSpravChange()
{
    if (!SpravMan || cbSprav->currentIndex() < 0) return;
    SpravMan->SelectSprav(cbSprav->currentIndex());
}

void TfmSetupList::tbImportClick()
{
    if (!SpravMan) return;
    TSprav* sprav = SpravMan->GetSprav(SpravMan->Current);
    sprav->CheckBrowseModeAll();
    RunSpravImport(sprav);
}

bool TfmSetupList::FormCloseQuery()
{
    TSpravImport* import = RunningSpravImport();
    return !import || import->AskStop();
}

void TfmSetupList::FormClose()
{
    SpravMan.reset();
}

void TfmSetupList::FormDestroy()
{
    if (fmSetupList == this) fmSetupList = nullptr;
}

void TfmSetupList::closeEvent(QCloseEvent* e)
{
    // An edit that cannot be posted keeps the window open with the typed values.
    if (SpravMan && !fw::runGuarded([this] { SpravMan->PostAll(); })) {
        e->ignore();
        return;
    }
    FormClose();
    QWidget::closeEvent(e);
}
