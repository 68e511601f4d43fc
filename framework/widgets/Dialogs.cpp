#include "Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

namespace fw {

namespace {

QString& title()
{
    static QString t = "Brontal";
    return t;
}

Dialogs*& installed()
{
    static Dialogs* d = nullptr;
    return d;
}

// The text of a message box. The box's own label breaks lines only between
// words, so a long document number or path made the box wider than the screen
// and cut the text off; this one also breaks inside such a word, and the text
// can be selected and copied as it is.
class MessageText : public QTextEdit {
public:
    MessageText(const QString& text, QWidget* parent) : QTextEdit(parent)
    {
        setObjectName("msgText");
        QString plain = text;
        plain.replace("\r\n", "\n").replace('\r', '\n');
        setPlainText(plain);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFrameShape(QFrame::NoFrame);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAutoFillBackground(false);
        document()->setDocumentMargin(0);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        std::unique_ptr<QTextDocument> d(document()->clone());
        d->setTextWidth(width - 2 * frameWidth());
        // A text taller than most of the screen scrolls instead.
        return std::min(int(std::ceil(d->size().height())) + 2 * frameWidth(), screenHeight() * 2 / 3);
    }
    // As wide as the text needs, up to the width at which a message box starts wrapping.
    QSize sizeHint() const override
    {
        std::unique_ptr<QTextDocument> d(document()->clone());
        d->setTextWidth(-1);
        const int ideal = int(std::ceil(d->idealWidth())) + 2 * frameWidth() + 1;
        const int width = std::min(ideal, std::min(screenWidth() / 2, 500));
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QRect available() const
    {
        const QScreen* s = screen();
        return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    }
    int screenWidth() const { return available().width(); }
    int screenHeight() const { return available().height(); }
};

// The box's own label gives its place to the text above.
void useMessageText(QMessageBox& box, const QString& text)
{
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const int index = label && grid ? grid->indexOf(label) : -1;
    if (index < 0) return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    label->hide();
    grid->addWidget(new MessageText(text, &box), row, column, rowSpan, columnSpan);
}

void messageBox(QMessageBox::Icon icon, const QString& text, const QString& caption)
{
    QMessageBox box(icon, caption.isEmpty() ? applicationTitle() : caption, text, QMessageBox::NoButton,
                    QtDialogs::parentWindow());
    useMessageText(box, text);
    QPushButton* ok = box.addButton("OK", QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

bool runFileDialog(FileDialog& d, bool save)
{
    QFileDialog dlg(QtDialogs::parentWindow(), d.caption, d.initialDir);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile
                         : (d.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
    if (save && !d.overwritePrompt)
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = qtNameFilters(d.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        if (d.filterIndex >= 1 && d.filterIndex <= filters.size())
            dlg.selectNameFilter(filters.at(d.filterIndex - 1));
    }
    dlg.setDefaultSuffix(d.defaultExt);
    if (!d.fileName.isEmpty())
        dlg.selectFile(d.fileName);
    dlg.setLabelText(QFileDialog::LookIn, "Папка:");
    dlg.setLabelText(QFileDialog::FileName, "Имя файла:");
    dlg.setLabelText(QFileDialog::FileType, "Тип файлов:");
    dlg.setLabelText(QFileDialog::Accept, save ? "Сохранить" : "Открыть");
    dlg.setLabelText(QFileDialog::Reject, "Отмена");
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    d.files = dlg.selectedFiles();
    d.fileName = d.files.first();
    const qsizetype chosen = filters.indexOf(dlg.selectedNameFilter());
    if (chosen >= 0)
        d.filterIndex = int(chosen) + 1;
    return true;
}

} // namespace

QString applicationTitle()
{
    return title();
}

void setApplicationTitle(const QString& t)
{
    title() = t;
}

QStringList qtNameFilters(const QString& filter)
{
    static const QRegularExpression trailingPatterns(R"(\s*\([^()]*\)\s*$)");
    QStringList result;
    const QStringList parts = filter.split('|');
    if (filter.trimmed().isEmpty())
        return result;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        QStringList patterns;
        for (const QString& p : (i + 1 < parts.size() ? parts.at(i + 1) : QString("*")).split(';')) {
            const QString pattern = p.trimmed() == "*.*" ? QString("*") : p.trimmed();
            if (!pattern.isEmpty())
                patterns.append(pattern);
        }
        if (patterns.isEmpty())
            patterns.append("*");
        description.remove(trailingPatterns);
        result.append(QString("%1 (%2)").arg(description, patterns.join(' ')).trimmed());
    }
    return result;
}

Dialogs& dialogs()
{
    static QtDialogs qt;
    return installed() ? *installed() : qt;
}

Dialogs* setDialogs(Dialogs* d)
{
    Dialogs* previous = installed();
    installed() = d;
    return previous;
}

QWidget* QtDialogs::parentWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void QtDialogs::information(const QString& text, const QString& caption)
{
    messageBox(QMessageBox::Information, text, caption);
}

void QtDialogs::warning(const QString& text, const QString& caption)
{
    messageBox(QMessageBox::Warning, text, caption);
}

void QtDialogs::error(const QString& text, const QString& caption)
{
    messageBox(QMessageBox::Critical, text, caption);
}

bool QtDialogs::confirm(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption.isEmpty() ? applicationTitle() : caption, text,
                    QMessageBox::NoButton, parentWindow());
    useMessageText(box, text);
    QPushButton* yes = box.addButton("Да", QMessageBox::YesRole);
    QPushButton* no = box.addButton("Нет", QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

bool QtDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    QInputDialog dlg(parentWindow());
    dlg.setWindowTitle(caption);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    dlg.setOkButtonText("OK");
    dlg.setCancelButtonText("Отмена");
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue();
    return true;
}

QString QtDialogs::inputBox(const QString& caption, const QString& prompt, const QString& defaultValue)
{
    QString value = defaultValue;
    return inputQuery(caption, prompt, value) ? value : defaultValue;
}

bool QtDialogs::openFile(FileDialog& dialog)
{
    return runFileDialog(dialog, false);
}

bool QtDialogs::saveFile(FileDialog& dialog)
{
    return runFileDialog(dialog, true);
}

bool QtDialogs::pickItem(const QString& caption, const QStringList& items, int& index)
{
    QDialog dlg(parentWindow());
    dlg.setWindowTitle(caption);
    auto* list = new QListWidget(&dlg);
    list->setObjectName("lb");
    list->addItems(items);
    if (index >= 0 && index < items.size())
        list->setCurrentRow(index);
    auto* buttons = new QDialogButtonBox(&dlg);
    QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Отмена", QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    ok->setEnabled(list->currentRow() >= 0);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(list);
    layout->addWidget(buttons);
    QObject::connect(list, &QListWidget::currentRowChanged, ok, [ok](int row) { ok->setEnabled(row >= 0); });
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted || list->currentRow() < 0)
        return false;
    index = list->currentRow();
    return true;
}

} // namespace fw
