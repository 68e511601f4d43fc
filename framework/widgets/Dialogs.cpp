#include "Dialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QFontMetrics>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpacerItem>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
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
    MessageText(const QString& text, int minWidth, QWidget* parent) : QTextEdit(parent), minWidth_(minWidth)
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
        connect(document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
                [this] { scheduleFit(); });
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        std::unique_ptr<QTextDocument> d(measured());
        d->setTextWidth(width - 2 * frameWidth());
        // A text taller than most of the screen scrolls instead.
        return std::min(int(std::ceil(d->size().height())) + 2 * frameWidth(), screenHeight() * 2 / 3);
    }
    // As wide as the text needs, up to the width at which a message box starts wrapping.
    QSize sizeHint() const override
    {
        std::unique_ptr<QTextDocument> d(measured());
        d->setTextWidth(-1);
        // A little room over the ideal: a line that just fits must not wrap at the last word.
        const int ideal = int(std::ceil(d->idealWidth())) + 2 * frameWidth() + fontMetrics().averageCharWidth();
        const int width = std::max(std::min(ideal, std::min(screenWidth() / 2, 500)), minWidth_);
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QTextEdit::resizeEvent(e);
        scheduleFit();
    }

private:
    // The text as laid out on the screen may still need more room than measured
    // (the desktop's fonts and resolution): the box grows to it rather than hide
    // lines behind a scroll bar, up to the height at which a text scrolls anyway.
    void scheduleFit()
    {
        if (fitPending_ || window() == this) return;
        fitPending_ = true;
        QTimer::singleShot(0, this, [this] {
            fitPending_ = false;
            const int need = std::min(int(std::ceil(document()->size().height())) + 2 * frameWidth(),
                                      screenHeight() * 2 / 3);
            const int more = need - viewport()->height() - 2 * frameWidth();
            if (more > 0) window()->setFixedHeight(window()->height() + more);
        });
    }

    // A copy of the text laid out as the edit lays it out: on the edit's own
    // device, whose resolution may not be the default one the copy would take.
    QTextDocument* measured() const
    {
        QTextDocument* d = document()->clone();
        d->documentLayout()->setPaintDevice(viewport());
        return d;
    }

    int minWidth_;
    bool fitPending_ = false;
    QRect available() const
    {
        const QScreen* s = screen();
        return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    }
    int screenWidth() const { return available().width(); }
    int screenHeight() const { return available().height(); }
};

// The box's own label gives its place to the text above, as wide as the box's
// title needs beside the icon.
void useMessageText(QMessageBox& box, const QString& text)
{
    const QLabel* icon = box.findChild<QLabel*>("qt_msgboxex_icon_label");
    const int titleWidth = windowTitleWidth(box.windowTitle()) - (icon ? icon->sizeHint().width() + 40 : 40);
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const int index = label && grid ? grid->indexOf(label) : -1;
    if (index < 0) return;
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    label->hide();
    grid->addWidget(new MessageText(text, titleWidth, &box), row, column, rowSpan, columnSpan);
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

// Widens every dialog that is shown, as fitWindowTitle does. A message box
// widens itself for its title from the text beside it (useMessageText).
class TitleFit : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && qobject_cast<QDialog*>(w) && !qobject_cast<QMessageBox*>(w)) fitWindowTitle(w);
        }
        return false;
    }
};

} // namespace

int windowTitleWidth(const QString& title)
{
    if (title.isEmpty()) return 0;
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    // Title bars differ by desktop: a tenth more than the text, the icon, and three buttons.
    return int(std::ceil(QFontMetrics(font).horizontalAdvance(title) * 1.1)) + 24 + 3 * 32 + 24;
}

void fitWindowTitle(QWidget* window)
{
    if (!window) return;
    int need = windowTitleWidth(window->windowTitle());
    if (const QScreen* s = window->screen()) need = std::min(need, s->availableGeometry().width());
    if (window->width() >= need) return;
    if (QLayout* layout = window->layout()) {
        // A strut the layout keeps, whatever size it fixes the window to.
        const QMargins m = layout->contentsMargins();
        layout->addItem(new QSpacerItem(need - m.left() - m.right(), 0, QSizePolicy::Fixed, QSizePolicy::Minimum));
        layout->activate();
    } else {
        window->setMinimumWidth(need);
    }
    if (window->width() < need) window->resize(need, window->height());
}

void fitDialogTitles()
{
    static QPointer<TitleFit> installed;
    if (installed || !qApp) return;
    installed = new TitleFit(qApp);
    qApp->installEventFilter(installed);
}

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
