#include "fmImport.h"

#include "controls/DrawGrid.h"
#include "core/Users.h"
#include "core/dm.h"
#include "core/fmMain.h"

#include "db/Query.h"
#include "os/TsvFile.h"
#include "widgets/DBGrid.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

QPointer<TfmImport> fmImport;

namespace {

const char* const kLinksLost = "Внимание!\rУстановленные связи будут потеряны\rПродолжить?";

QLabel* Text(QWidget* parent, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

TBrDrawGrid* LinkGrid(QWidget* parent, const char* name)
{
    auto* g = new TBrDrawGrid(parent);
    g->setObjectName(name);
    g->SetColCount(2);
    g->SetRowCount(2);
    g->SetFixedCols(1);
    g->SetFixedRows(1);
    g->SetDefaultColWidth(250);
    g->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected | goColSizing
                  | goEditing | goAlwaysShowEditor);
    g->OnGetEditStyle = [](TBrDrawGrid*, int c, int, TInplaceEditStyle& s) {
        if (c == 1) s = iePickList;
    };
    return g;
}

} // namespace

TfmImport::TfmImport(QWidget* owner, const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts) : QWidget(owner)
{
    fmImport = this;
    setObjectName("fmImport");
    setWindowTitle("Импорт клиентов");
    resize(620, 460);

    auto* layout = new QVBoxLayout(this);
    pc = new QStackedWidget(this);
    pc->setObjectName("pc");
    layout->addWidget(pc, 1);

    // The file.
    tsFile = new QWidget(pc);
    tsFile->setObjectName("tsFile");
    auto* fileLayout = new QVBoxLayout(tsFile);
    fileLayout->addWidget(Text(tsFile, "Укажите путь к файлу. Файл должен быть текстового типа с разделителями "
                                       "табуляции. Первой строкой должны быть названия полей. Укажите количество "
                                       "контактных лиц, которые вы собираетесь импортировать."));
    auto* fileRow = new QHBoxLayout;
    edFile = new QLineEdit(tsFile);
    edFile->setObjectName("edFile");
    btnFile = Button(tsFile, "btnFile", "Обзор...");
    fileRow->addWidget(edFile, 1);
    fileRow->addWidget(btnFile);
    fileLayout->addLayout(fileRow);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(new QLabel("Количество контактных лиц", tsFile));
    seContactCount = new QSpinBox(tsFile);
    seContactCount->setObjectName("seContactCount");
    seContactCount->setRange(1, 20);
    seContactCount->setValue(3);
    countRow->addWidget(seContactCount);
    countRow->addStretch(1);
    fileLayout->addLayout(countRow);
    fileLayout->addStretch(1);
    pc->addWidget(tsFile);
    odFile.filter = "Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*";

    // The field links.
    tsFields = new QWidget(pc);
    tsFields->setObjectName("tsFields");
    auto* fieldsLayout = new QVBoxLayout(tsFields);
    fieldsLayout->addWidget(Text(tsFields, "Установите связи между полями системы и файла."));
    auto* fieldButtons = new QHBoxLayout;
    btnSetFieldLinks = Button(tsFields, "btnSetFieldLinks", "Авто");
    btnClearFieldLinks = Button(tsFields, "btnClearFieldLinks", "Очистить");
    fieldButtons->addWidget(btnSetFieldLinks);
    fieldButtons->addWidget(btnClearFieldLinks);
    fieldButtons->addStretch(1);
    fieldsLayout->addLayout(fieldButtons);
    dgFields = LinkGrid(tsFields, "dgFields");
    fieldsLayout->addWidget(dgFields, 1);
    pc->addWidget(tsFields);

    // The value links of the references.
    tsValues = new QWidget(pc);
    tsValues->setObjectName("tsValues");
    auto* valuesLayout = new QVBoxLayout(tsValues);
    valuesLayout->addWidget(Text(tsValues, "Установите связи между значениями справочников системы и файла."));
    auto* valueButtons = new QHBoxLayout;
    valueButtons->addWidget(new QLabel("Справочник", tsValues));
    cbSprav = new QComboBox(tsValues);
    cbSprav->setObjectName("cbSprav");
    cbSprav->setMinimumWidth(200);
    valueButtons->addWidget(cbSprav);
    btnSetValueLinks = Button(tsValues, "btnSetValueLinks", "Авто");
    btnClearValueLinks = Button(tsValues, "btnClearValueLinks", "Очистить");
    valueButtons->addWidget(btnSetValueLinks);
    valueButtons->addWidget(btnClearValueLinks);
    valueButtons->addStretch(1);
    valuesLayout->addLayout(valueButtons);
    dgValues = LinkGrid(tsValues, "dgValues");
    valuesLayout->addWidget(dgValues, 1);
    pc->addWidget(tsValues);

    // The import.
    tsImport = new QWidget(pc);
    tsImport->setObjectName("tsImport");
    auto* importLayout = new QVBoxLayout(tsImport);
    importLayout->addWidget(Text(tsImport, "Для начала импорта нажмите кнопку Импорт."));
    auto* allRow = new QHBoxLayout;
    allRow->addWidget(new QLabel("Все записей:", tsImport));
    lblAllCount = new QLabel("____", tsImport);
    lblAllCount->setObjectName("lblAllCount");
    allRow->addWidget(lblAllCount, 1);
    importLayout->addLayout(allRow);
    gbProcess = new QGroupBox("Процесс импорта", tsImport);
    gbProcess->setObjectName("gbProcess");
    auto* processLayout = new QVBoxLayout(gbProcess);
    auto* countLine = new QHBoxLayout;
    countLine->addWidget(new QLabel("Обрабатывается запись:", gbProcess));
    lblCount = new QLabel("_", gbProcess);
    lblCount->setObjectName("lblCount");
    countLine->addWidget(lblCount, 1);
    processLayout->addLayout(countLine);
    pb = new QProgressBar(gbProcess);
    pb->setObjectName("pb");
    pb->setValue(0);
    processLayout->addWidget(pb);
    importLayout->addWidget(gbProcess);
    importLayout->addStretch(1);
    pc->addWidget(tsImport);

    auto* buttons = new QHBoxLayout;
    btnCancel = Button(this, "btnCancel", "Отмена");
    btnBack = Button(this, "btnBack", "< Назад");
    btnNext = Button(this, "btnNext", "Далее >");
    btnImport = Button(this, "btnImport", "Импорт");
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addSpacing(12);
    buttons->addWidget(btnImport);
    layout->addLayout(buttons);

    // The field grid: system field, linked file column.
    dgFields->OnDrawCell = [this](int c, int r, const QRect& rect, TGridDrawState) {
        QString text;
        if (r == 0) text = c == 0 ? "Поля системы" : "Поля файла";
        else if (r - 1 < Fields.size()) text = c == 0 ? Fields[r - 1].Caption : Fields[r - 1].FileField;
        dgFields->DrawCellStr(rect, text, Qt::AlignLeft);
    };
    dgFields->OnGetEditText = [this](int, int r, QString& text) {
        if (r >= 1 && r - 1 < Fields.size()) text = Fields[r - 1].FileField;
    };
    dgFields->OnSetEditText = [this](int, int r, const QString& text) {
        if (r < 1 || r - 1 >= Fields.size()) return;
        TImportField& f = Fields[r - 1];
        if (text.isEmpty()) ClearFieldLink(f);
        else if (const int i = int(Header.indexOf(text)); i >= 0) {
            f.FileIndex = i;
            f.FileField = text;
        }
        dgFields->InvalidateCell(1, r);
    };
    dgFields->OnGetPicklist = [this](TBrDrawGrid*, int, int, QStringList& list) { list = QStringList{""} + Header; };

    // The value grid: file value, linked system name.
    dgValues->OnDrawCell = [this](int c, int r, const QRect& rect, TGridDrawState) {
        QString text;
        const TImportField* f = ShownSprav();
        if (r == 0) text = c == 0 ? "Значение справочника файла" : "Значение справочника системы";
        else if (f && r - 1 < f->FileValues.Count()) {
            const TImportValue& v = f->FileValues[r - 1];
            text = c == 0 ? v.Value : f->SysNames.value(v.SysIndex);
        }
        dgValues->DrawCellStr(rect, text, Qt::AlignLeft);
    };
    dgValues->OnGetEditText = [this](int, int r, QString& text) {
        const TImportField* f = ShownSprav();
        if (f && r >= 1 && r - 1 < f->FileValues.Count()) text = f->SysNames.value(f->FileValues[r - 1].SysIndex);
    };
    dgValues->OnSetEditText = [this](int, int r, const QString& text) {
        TImportField* f = ShownSprav();
        if (!f || r < 1 || r - 1 >= f->FileValues.Count()) return;
        TImportValue& v = f->FileValues[r - 1];
        if (text.isEmpty()) v.SysIndex = -1;
        else if (const int i = int(f->SysNames.indexOf(text)); i >= 0) v.SysIndex = i;
        else
            for (int k = 0; k < f->SysNames.size(); ++k)
                if (f->SysNames[k].compare(text, Qt::CaseInsensitive) == 0) {
                    v.SysIndex = k;
                    break;
                }
        dgValues->InvalidateCell(1, r);
    };
    dgValues->OnGetPicklist = [this](TBrDrawGrid*, int, int, QStringList& list) {
        list = QStringList{""};
        if (const TImportField* f = ShownSprav()) list += f->SysNames;
    };

    connect(btnFile, &QPushButton::clicked, this, fw::guarded([this] { btnFileClick(); }));
    connect(btnBack, &QPushButton::clicked, this, fw::guarded([this] { btnBackClick(); }));
    connect(btnNext, &QPushButton::clicked, this, fw::guarded([this] { btnNextClick(); }));
    connect(btnImport, &QPushButton::clicked, this, fw::guarded([this] { btnImportClick(); }));
    connect(btnCancel, &QPushButton::clicked, this, fw::guarded([this] { CloseWindow(); }));
    connect(btnSetFieldLinks, &QPushButton::clicked, this, fw::guarded([this] { btnSetFieldLinksClick(); }));
    connect(btnClearFieldLinks, &QPushButton::clicked, this, fw::guarded([this] { btnClearFieldLinksClick(); }));
    connect(btnSetValueLinks, &QPushButton::clicked, this, fw::guarded([this] { btnSetValueLinksClick(); }));
    connect(btnClearValueLinks, &QPushButton::clicked, this, fw::guarded([this] { btnClearValueLinksClick(); }));
    connect(cbSprav, &QComboBox::currentIndexChanged, this, fw::guarded([this] { cbSpravChange(); }));

    // The linked column takes the width the grid has left.
    dgFields->viewport()->installEventFilter(this);
    dgValues->viewport()->installEventFilter(this);

    // FormCreate.
    BuildSystemFields(dbgCust, dbgContacts, Fields, ContactFields);
    ShowPage(tsFile);
}

TfmImport::~TfmImport()
{
    if (fmImport == this) fmImport = nullptr;
}

// --- pages

void TfmImport::ShowPage(QWidget* page)
{
    pc->setCurrentWidget(page);
    UpdateButtons();
}

void TfmImport::UpdateButtons()
{
    QWidget* page = pc->currentWidget();
    btnBack->setEnabled(page != tsFile && !importing_);
    btnNext->setEnabled(page != tsImport && !importing_);
    btnImport->setEnabled(page == tsImport && !importing_ && !imported_);
}

void TfmImport::btnBackClick()
{
    GoPage(false);
}

void TfmImport::btnNextClick()
{
    GoPage(true);
}

void TfmImport::GoPage(bool forward)
{
    if (importing_) return;
    QWidget* page = pc->currentWidget();
    if (page == tsFile) {
        if (!forward) return;
        const QString name = edFile->text();
        if (name.isEmpty() || !QFileInfo(name).isFile()) throw fw::UserError("Файл не найден!");
        checked_ = false;
        checkedDates_.clear();
        RecordCount = 0;
        imported_ = false;
        auto file = std::make_unique<fw::TsvReader>(name);
        Header = file->readHeader();
        File = std::move(file);
        AddContactFields(Fields, ContactFields, seContactCount->value());
        RefreshGrid(dgFields, int(Fields.size()));
        ShowPage(tsFields);
        dgFields->ShowEditor();
    } else if (page == tsFields) {
        PostGridEdit(dgFields);
        if (forward) {
            if (!HasFieldLinks()) throw fw::UserError("Связи не установлены!");
            if (HasLookupLinks()) {
                fw::dialogs().information("Были установлены связи со справочниками системы.\r"
                                          "Сейчас будут считаны соответствующие справочники из файла.\r"
                                          "Это может занять некоторое время.");
                ReadLookupValues();
                ShowPage(tsValues);
                cbSprav->setCurrentIndex(0);
                cbSpravChange();
            } else {
                CheckFileStructure();
                ShowPage(tsImport);
            }
        } else {
            if (HasFieldLinks() && !fw::dialogs().confirm(kLinksLost)) return;
            dgFields->HideEditor();
            RemoveContactFields(Fields);
            ShowPage(tsFile);
            File.reset();
        }
    } else if (page == tsValues) {
        PostGridEdit(dgValues);
        if (forward) {
            CheckFileStructure();
            ShowPage(tsImport);
        } else {
            if (HasValueLinks() && !fw::dialogs().confirm(kLinksLost)) return;
            dgValues->HideEditor();
            FreeLookupValues();
            ShowPage(tsFields);
            dgFields->ShowEditor();
        }
    } else if (page == tsImport && !forward) {
        if (HasLookupLinks()) {
            ShowPage(tsValues);
            dgValues->ShowEditor();
        } else {
            ShowPage(tsFields);
            dgFields->ShowEditor();
        }
    }
}

void TfmImport::RefreshGrid(TBrDrawGrid* grid, int rows)
{
    grid->HideEditor();
    grid->SetRowCount(std::max(rows, 1) + 1);
    grid->MoveTo(1, 1);
    grid->viewport()->update();
}

void TfmImport::PostGridEdit(TBrDrawGrid* grid)
{
    if (grid->EditorMode() && grid->InplaceEditor())
        grid->SetEditText(grid->Col(), grid->Row(), grid->InplaceEditor()->text());
}

void TfmImport::btnFileClick()
{
    odFile.fileName = edFile->text();
    if (fw::dialogs().openFile(odFile)) edFile->setText(odFile.fileName);
}

// --- field links

bool TfmImport::HasFieldLinks() const
{
    return std::any_of(Fields.begin(), Fields.end(), [](const TImportField& f) { return f.Linked(); });
}

bool TfmImport::HasLookupLinks() const
{
    return std::any_of(Fields.begin(), Fields.end(), [](const TImportField& f) { return f.IsLookup && f.Linked(); });
}

bool TfmImport::HasValueLinks() const
{
    for (const TImportField& f : Fields)
        for (int i = 0; i < f.FileValues.Count(); ++i)
            if (f.FileValues[i].SysIndex >= 0) return true;
    return false;
}

void TfmImport::ClearFieldLink(TImportField& field)
{
    field.FileIndex = -1;
    field.FileField.clear();
}

void TfmImport::btnSetFieldLinksClick()
{
    PostGridEdit(dgFields);
    if (!fw::dialogs().confirm("Установить связи автоматически?")) return;
    for (TImportField& f : Fields) {
        if (f.Linked()) continue;
        for (int i = 0; i < Header.size(); ++i)
            if (Header[i].trimmed().compare(f.Caption.trimmed(), Qt::CaseInsensitive) == 0) {
                f.FileIndex = i;
                f.FileField = Header[i];
                break;
            }
    }
    if (dgFields->EditorMode()) dgFields->InplaceEditor()->UpdateContents();
    dgFields->viewport()->update();
}

void TfmImport::btnClearFieldLinksClick()
{
    if (!fw::dialogs().confirm("Сбросить все связи?")) return;
    for (TImportField& f : Fields) ClearFieldLink(f);
    if (dgFields->EditorMode()) dgFields->InplaceEditor()->UpdateContents();
    dgFields->viewport()->update();
}

// --- reference values

TImportField* TfmImport::ShownSprav()
{
    return shownSprav_ >= 0 && shownSprav_ < Fields.size() ? &Fields[shownSprav_] : nullptr;
}

int TfmImport::ScanFile(const std::function<void(const QStringList& values)>& fn)
{
    return File->scanDataLines([&](const QStringList& values) {
        CheckImportLine(Fields, int(Header.size()), values, File->lineNumber());
        if (fn) fn(values);
    });
}

void TfmImport::ReadLookupValues()
{
    cbSprav->blockSignals(true);
    cbSprav->clear();
    cbSprav->blockSignals(false);
    try {
        for (TImportField& f : Fields) {
            if (!f.IsLookup || !f.Linked()) continue;
            f.SpravIndex = cbSprav->count();
            cbSprav->blockSignals(true);
            cbSprav->addItem(f.Caption);
            cbSprav->blockSignals(false);
            f.SysNames.clear();
            f.SysKeys.clear();
            for (const TLookupRow& row : LookupTable()) {
                if (row.KeyField.compare(f.FieldName, Qt::CaseInsensitive) != 0) continue;
                fw::Query q(&dm->db);
                q.setSql({row.Sql});
                q.open();
                for (q.first(); !q.eof(); q.next()) {
                    f.SysNames << q.field(1).asString();
                    f.SysKeys << q.field(0).asInteger();
                }
                break;
            }
            f.FileValues.Clear();
        }
        RecordCount = ScanFile([this](const QStringList& values) {
            for (TImportField& f : Fields)
                if (f.IsLookup && f.Linked()) f.FileValues.Add(values.value(f.FileIndex));
        });
    } catch (...) {
        RecordCount = 0;
        FreeLookupValues();
        throw;
    }
    checked_ = true;
    checkedDates_ = LinkedDateColumns(Fields);
}

void TfmImport::FreeLookupValues()
{
    dgValues->HideEditor();
    shownSprav_ = -1;
    cbSprav->blockSignals(true);
    cbSprav->clear();
    cbSprav->blockSignals(false);
    for (TImportField& f : Fields) {
        f.SpravIndex = -1;
        f.FileValues.Clear();
        f.SysNames.clear();
        f.SysKeys.clear();
    }
}

void TfmImport::cbSpravChange()
{
    // The pending edit belongs to the reference shown until now.
    dgValues->HideEditor();
    shownSprav_ = -1;
    for (int i = 0; i < Fields.size(); ++i)
        if (Fields[i].SpravIndex >= 0 && Fields[i].SpravIndex == cbSprav->currentIndex()) shownSprav_ = i;
    const TImportField* f = ShownSprav();
    RefreshGrid(dgValues, f ? f->FileValues.Count() : 0);
    if (f && f->FileValues.Count() > 0) dgValues->ShowEditor();
}

void TfmImport::btnSetValueLinksClick()
{
    PostGridEdit(dgValues);
    TImportField* f = ShownSprav();
    if (!f || !fw::dialogs().confirm("Установить связи для данного справочника автоматически?")) return;
    for (int i = 0; i < f->FileValues.Count(); ++i) {
        TImportValue& v = f->FileValues[i];
        if (v.SysIndex >= 0) continue;
        for (int k = 0; k < f->SysNames.size(); ++k)
            if (f->SysNames[k].compare(v.Value, Qt::CaseInsensitive) == 0) {
                v.SysIndex = k;
                break;
            }
    }
    if (dgValues->EditorMode()) dgValues->InplaceEditor()->UpdateContents();
    dgValues->viewport()->update();
}

void TfmImport::btnClearValueLinksClick()
{
    TImportField* f = ShownSprav();
    if (!f || !fw::dialogs().confirm("Сбросить все связи для данного справочника?")) return;
    for (int i = 0; i < f->FileValues.Count(); ++i) f->FileValues[i].SysIndex = -1;
    if (dgValues->EditorMode()) dgValues->InplaceEditor()->UpdateContents();
    dgValues->viewport()->update();
}

// --- the structure check and the import

void TfmImport::CheckFileStructure()
{
    lblAllCount->setText("____");
    lblCount->setText("_");
    pb->setValue(0);
    // Dates are checked for the columns linked now; other links need another pass.
    if (!checked_ || checkedDates_ != LinkedDateColumns(Fields)) {
        fw::dialogs().information("Сейчас Brontal призведет проверку структуры файла.\r"
                                  "Это может занять некоторое время.");
        try {
            RecordCount = ScanFile({});
        } catch (...) {
            RecordCount = 0;
            throw;
        }
        checked_ = true;
        checkedDates_ = LinkedDateColumns(Fields);
    }
    pb->setMaximum(std::max(RecordCount, 1));
    lblAllCount->setText(QString::number(RecordCount));
}

namespace {

// The contact blocks a line had beyond the count asked for are not imported: say so.
QString LeftOutText(int leftOut, int contactCount)
{
    if (leftOut == 0) return {};
    return QString("\rНе импортировано контактных лиц сверх указанного количества (%1): %2.")
        .arg(contactCount)
        .arg(leftOut);
}

} // namespace

void TfmImport::btnImportClick()
{
    if (importing_ || imported_ || pc->currentWidget() != tsImport) return;
    pb->setValue(0);
    importing_ = true;
    stopRequested_ = false;
    UpdateButtons();
    int count = 0;
    int leftOut = 0;
    QString cut;
    bool stopped = false;
    try {
        TClientImport import(dm->db, Fields, ContactFields, seContactCount->value(), CurrentUser.IdUser);
        QElapsedTimer shown;
        shown.start();
        count = import.Run(*File, [&](int n) {
            pb->setValue(std::min(n, pb->maximum()));
            lblCount->setText(QString::number(n));
            // Between lines no transaction is open: the window can take its
            // events (a close request, repaints) without touching the import.
            if (shown.elapsed() >= 40) {
                QApplication::processEvents();
                shown.restart();
            }
            stopped = stopRequested_;
            return !stopped;
        });
        leftOut = import.LeftOutContacts();
        cut = import.CutValues().Text();
    } catch (const TImportLineError& e) {
        imported_ = e.Imported() > 0;   // the lines before it are in the database
        EndFailedImport();
        return;
    } catch (...) {
        EndFailedImport();
        return;
    }
    importing_ = false;
    imported_ = true;
    lblCount->setText(QString::number(count));
    lblCount->repaint();
    UpdateButtons();
    const QString left = LeftOutText(leftOut, seContactCount->value()) + (cut.isEmpty() ? QString() : "\r" + cut);
    if (stopped) {
        fw::dialogs().information(QString("Импорт остановлен. Импортировано записей: %1.").arg(count) + left);
        if (closeAfterImport_) CloseAfterImport();
        return;
    }
    QApplication::beep();
    if (left.isEmpty()) fw::dialogs().information("Импорт успешно завершен.");
    else fw::dialogs().information(QString("Импорт завершен. Импортировано записей: %1.").arg(count) + left);
    CloseWindow();
}

// Called while the import's exception is being handled.
void TfmImport::EndFailedImport()
{
    importing_ = false;
    UpdateButtons();
    if (!closeAfterImport_) throw;
    // The window was asked to close meanwhile: say why the import ended, then close.
    fw::showException(std::current_exception());
    CloseAfterImport();
}

void TfmImport::CloseAfterImport()
{
    closeAfterImport_ = false;
    closeConfirmed_ = true;
    const bool exit = exitAfterImport_;
    exitAfterImport_ = false;
    CloseWindow();
    // The program's close waited for the import; it goes on once this window is gone.
    if (exit && fmMain) {
        QPointer<TfmMain> main = fmMain.data();
        QTimer::singleShot(0, main, [main] {
            if (main) main->close();
        });
    }
}

bool TfmImport::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::Resize && (watched == dgFields->viewport() || watched == dgValues->viewport())) {
        TBrDrawGrid* g = watched == dgFields->viewport() ? dgFields : dgValues;
        g->SetColWidth(1, std::max(120, g->viewport()->width() - g->ColWidth(0) - 2 * g->GridLineWidth()));
    }
    return QWidget::eventFilter(watched, e);
}

// --- closing

void TfmImport::CloseWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
    else close();
}

bool TfmImport::FormCloseQuery()
{
    if (closeConfirmed_) return true;
    if (pc->currentWidget() == tsFile) return true;
    if (!fw::dialogs().confirm("Закрыть импорт?")) return false;
    if (importing_) {
        // The import stops after its current line and then closes the window.
        stopRequested_ = true;
        closeAfterImport_ = true;
        // Asked by the main window's close: the program ends after the import.
        if (fmMain && fmMain->Closing()) exitAfterImport_ = true;
        return false;
    }
    // The close that follows this answer (the work area's, then the window's
    // own) does not ask again; a close refused elsewhere asks next time.
    closeConfirmed_ = true;
    QTimer::singleShot(0, this, [this] { closeConfirmed_ = false; });
    return true;
}

void TfmImport::closeEvent(QCloseEvent* e)
{
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    closeConfirmed_ = false;
    File.reset();
    setAttribute(Qt::WA_DeleteOnClose);
    QWidget::closeEvent(e);
}

TfmImport* ShowImport(const fw::DBGrid& dbgCust, const fw::DBGrid& dbgContacts)
{
    if (!fmImport) {
        fmImport = new TfmImport(fmMain ? static_cast<QWidget*>(fmMain.data()) : nullptr, dbgCust, dbgContacts);
        if (!fmMain) fmImport->setWindowFlag(Qt::Window);
    }
    if (fmMain) {
        QMdiSubWindow* sub = fmMain->ShowMDIChild(fmImport);
        if (sub->isMinimized()) sub->showNormal();
        if (QMdiArea* area = sub->mdiArea()) area->setActiveSubWindow(sub);
        sub->raise();
    } else {
        fmImport->show();
        fmImport->raise();
    }
    return fmImport;
}
