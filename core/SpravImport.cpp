#include "SpravImport.h"

#include "core/Sprav.h"
#include "core/ModuleWindows.h"
#include "core/fmSetupList.h"

#include "db/Currency.h"
#include "db/Query.h"
#include "os/TsvFile.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
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
    auto* groupLayout = new QHBoxLayout(group);
    groupLayout->addWidget(new QLabel("Обработано строк:", group));
    lblCount = new QLabel("0", group);
    lblCount->setObjectName("lblCount");
    groupLayout->addWidget(lblCount, 1);
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
    if (result == QDialog::Accepted || Page == 0) return true;
    return fw::dialogs().confirm("Закрыть импорт справочника?");
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
    // Every line is read once before anything is written: a file that cannot
    // be stored whole is refused with nothing changed.
    File->scanDataLines({});
    // Every run reads the file from its first data line: rows already written
    // are found again and left alone, so a retry after a failure is safe.
    File->readHeader();
    QStringList values;
    int count = 0;
    Form->lblCount->setText("0");
    while (File->readLine(values)) {
        bool blank = true;
        for (const QString& v : values) blank = blank && v.trimmed().isEmpty();
        if (blank) continue;
        try {
            if (!ImportLine(values)) continue;
        } catch (const fw::Abort&) {
            CancelPending();
            throw;
        } catch (const fw::Error& e) {
            CancelPending();
            throw fw::UserError(QString("Ошибка в строке %1 файла: %2").arg(File->lineNumber()).arg(e.message()));
        } catch (const std::exception& e) {
            CancelPending();
            throw fw::UserError(QString("Ошибка в строке %1 файла: %2")
                                    .arg(File->lineNumber())
                                    .arg(QString::fromLocal8Bit(e.what())));
        }
        ++count;
        Form->lblCount->setText(QString::number(count));
        Form->lblCount->repaint();
    }
    if (count == 0) throw fw::NoDataLinesError(File->fileName());
    QApplication::beep();
    fw::dialogs().information("Импорт справочника успешно завершен.");
    Form->accept();
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
        QString k = GetFieldValue(t.Field1, values);
        if (f1.type() == fw::FieldType::String && f1.size() > 0) k = k.left(f1.size());
        if (k.trimmed().isEmpty()) return false;
        names << k;
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
                value2 = f2.size() > 0 ? text.left(f2.size()) : text;
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
