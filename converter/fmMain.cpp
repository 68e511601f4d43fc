#include "fmMain.h"

#include "Conversion.h"
#include "dm.h"

#include "os/ProgramIcon.h"
#include "os/Shell.h"
#include "widgets/Dialogs.h"
#include "widgets/ExceptionHandler.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace kestrup {

QPointer<TfmMain> fmMain;

namespace {

const QStringList kInfoLines{
    "Это программа предназначена для конвертирования файла базы данных системы",
    "Brontal в новый формат. Используется только для перехода от версии 1.6.* к",
    "версии 1.7.*.",
    "",
    "Для успешной работы этой программы:",
    "- не должно быть активных подключений к базе данных;",
    "- на сервере должен быть запущен InterBase 6 Server.",
    "",
    "Конвертацию можно производить с клиентского места.",
    "",
    "Порядок действий.",
    "",
    "ОБЯЗАТЕЛЬНО! ОБЯЗАТЕЛЬНО! ОБЯЗАТЕЛЬНО! сделайте резервную копию",
    "файла базы данных перед конвертированием (обычно это файл BR.GDB).",
    "На следующей странице конвертора укажите путь к файлу настроек Brontal",
    "(BR.INI). Из этого файла будут браться параметры подключения к базе данных.",
    "На третьей странице нажмите кнопку \"Конвертирование\". После этого файл",
    "базы данных будет готов к работе с версией 1.7.* системы Brontal.",
};

QWidget* page(QStackedWidget* pc, const char* name)
{
    auto* w = new QWidget(pc);
    w->setObjectName(name);
    pc->addWidget(w);
    return w;
}

QPushButton* button(QWidget* owner, const char* name, const QString& caption)
{
    auto* b = new QPushButton(caption, owner);
    b->setObjectName(name);
    b->setMinimumWidth(qMax(96, b->sizeHint().width() + 16));
    return b;
}

} // namespace

QIcon KestrupIcon()
{
    static const QIcon icon = fw::paintedIcon(QColor(0, 88, 88), [](QPainter& p, qreal s) {
        // A database drum...
        const QRectF drum(s * 0.14, s * 0.16, s * 0.44, s * 0.62);
        const qreal lid = drum.height() * 0.28;
        p.setBrush(QColor(225, 235, 235));
        p.drawRect(QRectF(drum.left(), drum.top() + lid / 2, drum.width(), drum.height() - lid));
        p.drawEllipse(QRectF(drum.left(), drum.bottom() - lid, drum.width(), lid));
        p.setBrush(QColor(170, 200, 200));
        p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), lid));
        // ...and the arrow of its conversion.
        QPainterPath arrow;
        arrow.moveTo(s * 0.50, s * 0.56);
        arrow.lineTo(s * 0.66, s * 0.56);
        arrow.lineTo(s * 0.66, s * 0.42);
        arrow.lineTo(s * 0.90, s * 0.66);
        arrow.lineTo(s * 0.66, s * 0.90);
        arrow.lineTo(s * 0.66, s * 0.76);
        arrow.lineTo(s * 0.50, s * 0.76);
        arrow.closeSubpath();
        p.setBrush(QColor(255, 160, 40));
        p.drawPath(arrow);
    });
    return icon;
}

TfmMain::TfmMain(QWidget* owner) : QWidget(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName("fmMain");
    setWindowTitle("Конвертер 17");
    // Its message boxes take the program's icon too.
    QApplication::setWindowIcon(KestrupIcon());

    pcMain = new QStackedWidget(this);
    pcMain->setObjectName("pcMain");

    tsInfo = page(pcMain, "tsInfo");
    MemoInfo = new QPlainTextEdit(tsInfo);
    MemoInfo->setObjectName("MemoInfo");
    MemoInfo->setReadOnly(true);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoInfo->setPlainText(kInfoLines.join('\n'));
    auto* infoLayout = new QVBoxLayout(tsInfo);
    infoLayout->setContentsMargins(0, 0, 0, 0);
    infoLayout->addWidget(MemoInfo);

    tsIni = page(pcMain, "tsIni");
    lblIni = new QLabel("Укажите путь к файлу настроек Brontal.", tsIni);
    gbIni = new QGroupBox("Путь к файлу настроек BR.INI", tsIni);
    edFileIni = new QLineEdit(gbIni);
    edFileIni->setObjectName("edFileIni");
    btnBrowse = button(gbIni, "btnBrowse", "Обзор...");
    auto* iniRow = new QHBoxLayout(gbIni);
    iniRow->addWidget(edFileIni, 1);
    iniRow->addWidget(btnBrowse);
    auto* iniLayout = new QVBoxLayout(tsIni);
    iniLayout->setContentsMargins(4, 4, 4, 4);
    iniLayout->addWidget(lblIni);
    iniLayout->addSpacing(12);
    iniLayout->addWidget(gbIni);
    iniLayout->addStretch(1);

    tsConv = page(pcMain, "tsConv");
    lblConv = new QLabel("Все готово к конвертированию базы данных.\n"
                         "Для начала конвертирования нажмите кнопку \"Конвертирование\".",
                         tsConv);
    gbConv = new QGroupBox("Ход выполнения задачи", tsConv);
    pb = new QProgressBar(gbConv);
    pb->setObjectName("pb");
    pb->setRange(0, int(conversionStatements().size()));
    pb->setValue(0);
    pb->setTextVisible(false);
    auto* convRow = new QVBoxLayout(gbConv);
    convRow->addWidget(pb);
    auto* convLayout = new QVBoxLayout(tsConv);
    convLayout->setContentsMargins(4, 4, 4, 4);
    convLayout->addWidget(lblConv);
    convLayout->addSpacing(12);
    convLayout->addWidget(gbConv);
    convLayout->addStretch(1);

    btnCancel = button(this, "btnCancel", "Отмена");
    btnBack = button(this, "btnBack", "< Назад");
    btnNext = button(this, "btnNext", "Далее >");
    btnConv = button(this, "btnConv", "Конвертирование");

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addSpacing(12);
    buttons->addWidget(btnConv);
    buttons->addSpacing(12);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(pcMain, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(pcMain, &QStackedWidget::currentChanged, this, [this] { pcMainChange(); });
    connect(btnNext, &QPushButton::clicked, this, [this] { fw::runGuarded([this] { btnNextClick(btnNext); }); });
    connect(btnBack, &QPushButton::clicked, this, [this] { fw::runGuarded([this] { btnNextClick(btnBack); }); });
    connect(btnBrowse, &QPushButton::clicked, this, [this] { fw::runGuarded([this] { btnBrowseClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { fw::runGuarded([this] { btnCancelClick(); }); });
    connect(btnConv, &QPushButton::clicked, this, [this] { fw::runGuarded([this] { btnConvClick(); }); });

    setFixedSize(600, 380);
    FormCreate();
}

void TfmMain::FormCreate()
{
    pcMain->setCurrentWidget(tsInfo);
    btnNext->setFocus();
    if (const QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TfmMain::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    FormShow();
}

void TfmMain::FormShow()
{
    UpdateButtons();
}

void TfmMain::pcMainChange()
{
    UpdateButtons();
}

void TfmMain::UpdateButtons()
{
    const int i = pcMain->currentIndex();
    btnBack->setEnabled(i != 0);
    btnNext->setEnabled(i != 2);
    btnConv->setEnabled(i == 2);
}

void TfmMain::btnNextClick(QPushButton* sender)
{
    const int i = pcMain->currentIndex();
    if (sender == btnNext) {
        if (pcMain->currentWidget() == tsIni && findSettingsFile(edFileIni->text()).isEmpty())
            throw fw::UserError("Файл не найден!");
        if (i < pcMain->count() - 1) pcMain->setCurrentIndex(i + 1);
    } else if (i > 0) {
        pcMain->setCurrentIndex(i - 1);
    }
}

void TfmMain::btnBrowseClick()
{
    if (fw::dialogs().openFile(dm->odFileIni)) edFileIni->setText(dm->odFileIni.fileName);
}

void TfmMain::btnCancelClick()
{
    close();
}

bool TfmMain::FormCloseQuery()
{
    return fw::dialogs().confirm("Выйти из программы?");
}

void TfmMain::closeEvent(QCloseEvent* e)
{
    if (FormCloseQuery())
        e->accept();
    else
        e->ignore();
}

void TfmMain::btnConvClick()
{
    pb->setRange(0, int(conversionStatements().size()));
    pb->setValue(0);
    dm->FileIni = edFileIni->text();
    try {
        dm->Convert([this] {
            pb->setValue(pb->value() + 1);
            pb->repaint();
        });
    } catch (const StatementError& e) {
        QApplication::beep();
        fw::dialogs().error("Ошибка при выполнении запроса:\n" + e.sql());
        fw::shell().setClipboardText(e.sql());
        throw;
    }
    QApplication::beep();
    pb->setValue(0);
    fw::dialogs().information("Процесс конвертации успешно завершен.");
    close();
}

} // namespace kestrup
