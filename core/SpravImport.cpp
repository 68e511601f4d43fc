#include "SpravImport.h"

#include "core/Sprav.h"
#include "core/ModuleWindows.h"
#include "core/fmMain.h"
#include "core/fmSetupList.h"

#include "db/Currency.h"
#include "db/Query.h"
#include "os/TsvFile.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kInstruction =
    "Укажите путь к файлу. Файл должен быть в формате TXT с разделителем табуляции. "
    "Справочник, если он многоуровневый, должен быть в этом файле виде плоской таблицы. "
    "Данные должны быть отсортированы. Первой строкой должны быть названия столбцов.\n"
    "Например:\n"
    "Группа\tНазвание\n"
    "Группа 1\tНазвание 1\n"
    "Группа 1\tНазвание 2\n"
    "Группа 2\tНазвание 3\n"
    "Группа 2\tНазвание 4\n";

TSpravImport* running = nullptr;

QLabel* bold(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

// --- the form

TSpravImportForm::TSpravImportForm(QWidget* owner) : QDialog(owner)
{
    setObjectName("SpravImportForm");
    setModal(true);
    resize(520, 380);

    auto* layout = new QVBoxLayout(this);
    pc = new QStackedWidget(this);
    pc->setObjectName("pc");
    layout->addWidget(pc, 1);

    tsFile = new QWidget(pc);
    tsFile->setObjectName("tsFile");
    auto* fileLayout = new QVBoxLayout(tsFile);
    mmHelp = new QPlainTextEdit(tsFile);
    mmHelp->setObjectName("mmHelp");
    mmHelp->setReadOnly(true);
    mmHelp->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    mmHelp->setPlainText(kInstruction);
    mmHelp->setTabStopDistance(90);
    fileLayout->addWidget(mmHelp, 1);
    auto* fileRow = new QHBoxLayout;
    auto* lblFile = new QLabel("Файл", tsFile);
    lblFile->setObjectName("lblFile");
    edFile = new QLineEdit(tsFile);
    edFile->setObjectName("edFile");
    btnBrowse = new QPushButton("Обзор...", tsFile);
    btnBrowse->setObjectName("btnBrowse");
    fileRow->addWidget(lblFile);
    fileRow->addWidget(edFile, 1);
    fileRow->addWidget(btnBrowse);
    fileLayout->addLayout(fileRow);
    pc->addWidget(tsFile);
    odFile.filter = "Текстовые файлы|*.txt|Все файлы|*.*";
    odFile.defaultExt = "txt";
    connect(btnBrowse, &QPushButton::clicked, this, fw::guarded([this] { btnBrowseClick(); }));

    tsFields = new QWidget(pc);
    tsFields->setObjectName("tsFields");
    auto* fieldsLayout = new QVBoxLayout(tsFields);
    // At most two fields a level and three levels: no scrolling is needed.
    auto* fieldsBox = new QWidget(tsFields);
    auto* boxLayout = new QVBoxLayout(fieldsBox);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    glFields = new QGridLayout;
    glFields->setColumnStretch(1, 1);
    glFields->setHorizontalSpacing(16);
    boxLayout->addLayout(glFields);
    boxLayout->addStretch(1);
    glFields->addWidget(new QLabel("Поля справочника системы", fieldsBox), 0, 0);
    glFields->addWidget(new QLabel("Поля файла", fieldsBox), 0, 1);
    fieldsLayout->addWidget(fieldsBox);
    pc->addWidget(tsFields);

    tsImport = new QWidget(pc);
    tsImport->setObjectName("tsImport");
    auto* importLayout = new QVBoxLayout(tsImport);
    auto* ready = new QLabel("Все готово к импорту справочника. Нажмите кнопку \"Импорт\".", tsImport);
    ready->setWordWrap(true);
    importLayout->addWidget(ready);
    auto* group = new QGroupBox("Процесс выполнения импорта", tsImport);
    group->setObjectName("gbProcess");
    auto* groupLayout = new QGridLayout(group);
    groupLayout->addWidget(new QLabel("Обработано строк:", group), 0, 0);
    lblCount = new QLabel("0", group);
    lblCount->setObjectName("lblCount");
    groupLayout->addWidget(lblCount, 0, 1);
    groupLayout->setColumnStretch(1, 1);
    pb = new QProgressBar(group);
    pb->setObjectName("pb");
    pb->setValue(0);
    groupLayout->addWidget(pb, 1, 0, 1, 2);
    importLayout->addWidget(group);
    importLayout->addStretch(1);
    pc->addWidget(tsImport);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnBack = new QPushButton("< Назад", this);
    btnBack->setObjectName("btnBack");
    btnNext = new QPushButton("Дальше >", this);
    btnNext->setObjectName("btnNext");
    btnNext->setDefault(true);
    btnCancel = new QPushButton("Отмена", this);
    btnCancel->setObjectName("btnCancel");
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addSpacing(12);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TSpravImportForm::btnBrowseClick()
{
    odFile.fileName = edFile->text();
    if (fw::dialogs().openFile(odFile)) edFile->setText(odFile.fileName);
}

void TSpravImportForm::done(int result)
{
    if (CloseQuery && !CloseQuery(result)) return;
    QDialog::done(result);
}

// --- the import

TSpravImport::TSpravImport(TSprav* sprav) : Sprav(sprav) {}

TSpravImport::~TSpravImport() = default;

void TSpravImport::Execute()
{
    QWidget* owner = Sprav->Panel ? Sprav->Panel->window() : nullptr;
    if (fmSetupList) owner = fmSetupList;
    std::unique_ptr<TSpravImportForm> form(new TSpravImportForm(owner));
    Form = form.get();
    Form->setWindowTitle(Sprav->Rec.Name + " - " + "Импорт справочника");
    QObject::connect(Form->btnNext, &QPushButton::clicked, Form, fw::guarded([this] { NextClick(); }));
    QObject::connect(Form->btnBack, &QPushButton::clicked, Form, fw::guarded([this] { BackClick(); }));
    Form->CloseQuery = [this](int result) { return FormCloseQuery(result); };
    ShowPage(0);
    Form->exec();
    File.reset();
    Links.clear();
    Form = nullptr;
}

void TSpravImport::ShowPage(int page)
{
    Page = page;
    Form->pc->setCurrentIndex(page);
    Form->btnBack->setEnabled(page > 0);
    Form->btnNext->setText(page == 2 ? "Импорт!" : "Дальше >");
}

void TSpravImport::NextClick()
{
    switch (Page) {
    case 0: {
        const QString name = Form->edFile->text();
        if (name.isEmpty() || !QFileInfo(name).isFile()) throw fw::UserError("Файл не найен.");
        auto file = std::make_unique<fw::TsvReader>(name);
        const QStringList columns = file->readHeader();
        File = std::move(file);
        ClearLinks();
        BuildLinks(columns);
        ShowPage(1);
        break;
    }
    case 1:
        for (const TFieldLink& link : Links)
            if (link.LinkCombo->currentIndex() < 0) throw fw::UserError("Установлены не все связи.");
        for (TFieldLink& link : Links) link.ColumnIndex = link.LinkCombo->currentIndex();
        ShowPage(2);
        break;
    default:
        Import();
        break;
    }
}

void TSpravImport::BackClick()
{
    if (Page == 1) File.reset();
    if (Page > 0) ShowPage(Page - 1);
}

bool TSpravImport::FormCloseQuery(int result)
{
    if (Importing) return AskStop();
    if (result == QDialog::Accepted || Page == 0) return true;
    return fw::dialogs().confirm("Закрыть импорт справочника?");
}

bool TSpravImport::AskStop()
{
    if (!Importing) return true;
    if (!StopRequested && fw::dialogs().confirm("Закрыть импорт справочника?")) {
        StopRequested = true;
        // Asked by the program's close: the program ends once the import has stopped.
        if (fmMain && fmMain->Closing()) ExitAfterImport = true;
    }
    return false;
}

TSpravImport* RunningSpravImport()
{
    return running;
}

void TSpravImport::ClearLinks()
{
    for (TFieldLink& link : Links) {
        delete link.LinkLabel;
        delete link.LinkCombo;
    }
    Links.clear();
}

void TSpravImport::BuildLinks(const QStringList& columns)
{
    QWidget* box = Form->glFields->parentWidget();
    int row = 1;
    const auto add = [&](const TSpravTable& t, const QString& field, const QString& caption) {
        TFieldLink link;
        link.TableName = t.TableName;
        link.FieldName = field;
        link.LinkLabel = bold(caption, box);
        link.LinkLabel->setObjectName("lbl" + field);
        link.LinkCombo = new QComboBox(box);
        link.LinkCombo->setObjectName("cb" + field);
        link.LinkCombo->addItems(columns);
        link.LinkCombo->setCurrentIndex(-1);
        Form->glFields->addWidget(link.LinkLabel, row, 0);
        Form->glFields->addWidget(link.LinkCombo, row, 1);
        ++row;
        Links << link;
    };
    for (int l = 0; l < Sprav->Rec.Count; ++l) {
        const TSpravTable& t = Sprav->Rec.Tables[size_t(l)];
        add(t, t.Field1, t.Caption1);
        if (!t.Field2.isEmpty()) add(t, t.Field2, t.Caption2);
    }
}

QString TSpravImport::GetFieldValue(const QString& fieldName, const QStringList& values) const
{
    for (const TFieldLink& link : Links) {
        if (link.FieldName != fieldName) continue;
        const QString value = link.ColumnIndex >= 0 ? values.value(link.ColumnIndex) : QString();
        if (fieldName == "Price" && !fw::Currency::parse(value)) return "0";
        return value;
    }
    throw fw::Error("Внутренняя ошибка. Поле не найдено.");
}

void TSpravImport::Import()
{
    if (Importing) return;
    // Every line is read once before anything is written: a file that cannot
    // be stored whole is refused with nothing changed.
    const int total = File->scanDataLines({});
    // Every run reads the file from its first data line: rows already written
    // are found again and left alone, so a retry after a failure is safe.
    File->readHeader();
    QStringList values;
    int count = 0;
    int lines = 0;
    CutValues = TCutValues();
    Form->lblCount->setText("0");
    Form->pb->setRange(0, total);
    Form->pb->setValue(0);
    Importing = true;
    StopRequested = false;
    running = this;
    Form->btnBack->setEnabled(false);
    Form->btnNext->setEnabled(false);
    struct Running {
        TSpravImport* import;
        ~Running()
        {
            import->Importing = false;
            running = nullptr;
            import->ShowPage(import->Page);
            import->Form->btnNext->setEnabled(true);
        }
    } guard{this};
    QElapsedTimer shown;
    shown.start();
    while (!StopRequested && File->readLine(values)) {
        Form->pb->setValue(++lines);
        bool blank = true;
        for (const QString& v : values) blank = blank && v.trimmed().isEmpty();
        if (!blank) {
            try {
                if (ImportLine(values)) {
                    ++count;
                    Form->lblCount->setText(QString::number(count));
                }
            } catch (const fw::Abort&) {
                CancelPending();
                throw;
            } catch (const fw::Error& e) {
                CancelPending();
                const auto* db = dynamic_cast<const fw::DbError*>(&e);
                throw fw::UserError(QString("Ошибка в строке %1 файла: %2")
                                        .arg(File->lineNumber())
                                        .arg(db ? db->shownText() : e.message()));
            } catch (const std::exception& e) {
                CancelPending();
                throw fw::UserError(QString("Ошибка в строке %1 файла: %2")
                                        .arg(File->lineNumber())
                                        .arg(QString::fromLocal8Bit(e.what())));
            }
        }
        // Between lines every row is written and committed: the window can take
        // its events (repaints, a close that stops the import) without touching it.
        if (shown.elapsed() >= 40) {
            QApplication::processEvents();
            shown.restart();
        }
    }
    const bool stopped = StopRequested;
    const QString cut = CutValues.Text();
    if (stopped) {
        fw::dialogs().information(QString("Импорт справочника остановлен. Обработано строк: %1.").arg(count)
                                  + (cut.isEmpty() ? QString() : "\r" + cut));
    } else {
        if (count == 0) throw fw::NoDataLinesError(File->fileName());
        QApplication::beep();
        if (cut.isEmpty()) fw::dialogs().information("Импорт справочника успешно завершен.");
        else fw::dialogs().information(QString("Импорт справочника завершен. Обработано строк: %1.\r").arg(count) + cut);
    }
    Importing = false;
    Form->accept();
    if (ExitAfterImport && fmMain) {
        QPointer<TfmMain> main = fmMain.data();
        QTimer::singleShot(0, main, [main] {
            if (main) main->close();
        });
    }
}

QString TSpravImport::Cut(const QString& value, const fw::Field& field, const QString& caption)
{
    if (field.type() != fw::FieldType::String || field.size() <= 0) return value;
    CutValues.Count(caption, value.size(), field.size());
    return value.left(field.size());
}

void TSpravImport::CancelPending()
{
    for (int l = Sprav->Rec.Count - 1; l >= 0; --l) {
        fw::Query* q = Sprav->Queries[size_t(l)];
        if (q && (q->state() == fw::DataSetState::Edit || q->state() == fw::DataSetState::Insert)) q->cancel();
    }
}

bool TSpravImport::ImportLine(const QStringList& values)
{
    // The names of every level first: a line without one is skipped whole.
    QStringList names;
    for (int l = 0; l < Sprav->Rec.Count; ++l) {
        const TSpravTable& t = Sprav->Rec.Tables[size_t(l)];
        const fw::Field& f1 = Sprav->Queries[size_t(l)]->fieldByName(t.Field1);
        const QString k = GetFieldValue(t.Field1, values);
        const bool cut = f1.type() == fw::FieldType::String && f1.size() > 0;
        if ((cut ? k.left(f1.size()) : k).trimmed().isEmpty()) return false;
        names << k;
    }
    // Cut to their columns, and counted, once the line is known to be taken.
    for (int l = 0; l < Sprav->Rec.Count; ++l) {
        const TSpravTable& t = Sprav->Rec.Tables[size_t(l)];
        names[l] = Cut(names[l], Sprav->Queries[size_t(l)]->fieldByName(t.Field1), t.Caption1);
    }

    for (int l = 0; l < Sprav->Rec.Count; ++l) {
        const TSpravTable& t = Sprav->Rec.Tables[size_t(l)];
        fw::Query& q = *Sprav->Queries[size_t(l)];
        const QString& k = names[l];
        const bool found = (!q.isEmpty() && q.fieldByName(t.Field1).asString() == k) || q.locate(t.Field1, k);

        const bool hasField2 = !t.Field2.isEmpty();
        fw::Value value2;
        if (hasField2) {
            fw::Field& f2 = q.fieldByName(t.Field2);
            const QString text = GetFieldValue(t.Field2, values);
            if (f2.isNumeric()) {
                fw::Currency c = fw::Currency::parse(text).value_or(fw::Currency());
                if (f2.size() > 0 && f2.size() < 4) c = c.rounded(f2.size());
                value2 = c;
            } else {
                value2 = Cut(text, f2, t.Caption2);
            }
        }

        if (found) {
            if (!hasField2) continue;
            const fw::Field& f2 = q.fieldByName(t.Field2);
            const bool same = f2.isNumeric() ? !f2.isNull() && f2.asCurrency() == value2.asCurrency()
                                             : f2.asString() == value2.asString();
            // The "none" row is never changed.
            const fw::Value key = q.field(0).value();
            if (same || (!key.isNull() && key.asInt() == 0)) continue;
            q.edit();
        } else {
            q.append();
        }
        q.fieldByName(t.Field1).setAsString(k);
        if (hasField2) q.fieldByName(t.Field2).setValue(value2);
        q.post();
    }
    return true;
}

void RunSpravImport(TSprav* sprav)
{
    TSpravImport import(sprav);
    import.Execute();
}
