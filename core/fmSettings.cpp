#include "core/fmSettings.h"

#include "core/ModuleWindows.h"
#include "core/dm.h"

#include "widgets/DBControls.h"
#include "widgets/ExceptionHandler.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <class T>
T* bound(QWidget* parent, const char* name, const char* column)
{
    auto* w = new T(parent);
    w->setObjectName(name);
    if (dm) w->setDataSource(&dm->dsMain);
    w->setDataField(column);
    return w;
}

} // namespace

TfmSettings::TfmSettings(QWidget* owner) : QWidget(owner)
{
    setObjectName("fmSettings");
    setWindowTitle("Общие настройки");
    resize(560, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    pcMain = new QTabWidget(this);
    pcMain->setObjectName("pcMain");
    layout->addWidget(pcMain);

    // Mailing page
    auto* tsMail = new QWidget(pcMain);
    tsMail->setObjectName("tsMail");
    auto* mailLayout = new QVBoxLayout(tsMail);
    auto* gbSmtp = new QGroupBox("SMTP для рассылки", tsMail);
    gbSmtp->setObjectName("gbSmtp");
    auto* smtpLayout = new QVBoxLayout(gbSmtp);
    auto* gbTest = new QGroupBox("Тестовые письма", gbSmtp);
    gbTest->setObjectName("gbTest");
    auto* testForm = new QFormLayout(gbTest);
    dbeHostTest = bound<fw::DBEdit>(gbTest, "dbeHostTest", "HOSTTEST");
    dbePortTest = bound<fw::DBEdit>(gbTest, "dbePortTest", "PORTTEST");
    dbeSubjTest = bound<fw::DBEdit>(gbTest, "dbeSubjTest", "SUBJTEST");
    dbmBodyTest = bound<fw::DBMemo>(gbTest, "dbmBodyTest", "BODYTEST");
    dbePortTest->setMaximumWidth(80);
    testForm->addRow("Сервер (Host SMTP)", dbeHostTest);
    testForm->addRow("Порт", dbePortTest);
    testForm->addRow("Тема (Subject)", dbeSubjTest);
    testForm->addRow("Тело письма", dbmBodyTest);
    auto* gbInfo = new QGroupBox("Информационные материалы", gbSmtp);
    gbInfo->setObjectName("gbInfo");
    auto* infoForm = new QFormLayout(gbInfo);
    dbeHostInfo = bound<fw::DBEdit>(gbInfo, "dbeHostInfo", "HOSTINFO");
    dbePortInfo = bound<fw::DBEdit>(gbInfo, "dbePortInfo", "PORTINFO");
    dbmBodyInfo = bound<fw::DBMemo>(gbInfo, "dbmBodyInfo", "BODYINFO");
    dbePortInfo->setMaximumWidth(80);
    infoForm->addRow("Сервер (Host SMTP)", dbeHostInfo);
    infoForm->addRow("Порт", dbePortInfo);
    infoForm->addRow("Тело письма", dbmBodyInfo);
    smtpLayout->addWidget(gbTest);
    smtpLayout->addWidget(gbInfo);
    mailLayout->addWidget(gbSmtp);
    pcMain->addTab(tsMail, "Рассылка");

    // Miscellaneous page
    auto* tsOther = new QWidget(pcMain);
    tsOther->setObjectName("tsOther");
    auto* otherLayout = new QVBoxLayout(tsOther);
    auto* otherForm = new QFormLayout;
    dbeCompany = bound<fw::DBEdit>(tsOther, "dbeCompany", "COMPANY");
    dbeValuta1 = bound<fw::DBEdit>(tsOther, "dbeValuta1", "VALUTA1");
    dbeValuta2 = bound<fw::DBEdit>(tsOther, "dbeValuta2", "VALUTA2");
    dbePriznak1 = bound<fw::DBEdit>(tsOther, "dbePriznak1", "PRIZNAK1");
    dbePriznak2 = bound<fw::DBEdit>(tsOther, "dbePriznak2", "PRIZNAK2");
    otherForm->addRow("Название компании", dbeCompany);
    otherForm->addRow("Основная валюта", dbeValuta1);
    otherForm->addRow("Дополн. валюта", dbeValuta2);
    otherForm->addRow("Признак товара 1", dbePriznak1);
    otherForm->addRow("Признак товара 2", dbePriznak2);
    otherLayout->addLayout(otherForm);
    auto* gbPhone = new QGroupBox("Набор телефонного номера", tsOther);
    gbPhone->setObjectName("gbPhone");
    auto* phoneForm = new QFormLayout(gbPhone);
    dbeCountryCode = bound<fw::DBEdit>(gbPhone, "dbeCountryCode", "COUNTRYCODE");
    dbeCityCode = bound<fw::DBEdit>(gbPhone, "dbeCityCode", "CITYCODE");
    dbeEndPhoneChar = bound<fw::DBEdit>(gbPhone, "dbeEndPhoneChar", "ENDPHONECHAR");
    for (fw::DBEdit* e : {dbeCountryCode, dbeCityCode, dbeEndPhoneChar}) e->setMaximumWidth(80);
    phoneForm->addRow("Код страны по умолчанию", dbeCountryCode);
    phoneForm->addRow("Код города по умолчанию", dbeCityCode);
    phoneForm->addRow("Символ окончания телефонного номера", dbeEndPhoneChar);
    otherLayout->addWidget(gbPhone);
    otherLayout->addStretch();
    pcMain->addTab(tsOther, "Разное");

    FormCreate();
}

TfmSettings::~TfmSettings()
{
    FormDestroy();
}

void TfmSettings::FormCreate()
{
    pcMain->setCurrentIndex(0);
}

bool TfmSettings::FormClose()
{
    if (!dm) return true;
    fw::Query& q = dm->qryMain;
    if (q.state() == fw::DataSetState::Edit || q.state() == fw::DataSetState::Insert) {
        // The row's after-post handler writes and commits it.
        if (!fw::runGuarded([&] { q.post(); })) return false;
    }
    setAttribute(Qt::WA_DeleteOnClose);
    return true;
}

void TfmSettings::FormDestroy()
{
    if (fmSettings == this) fmSettings = nullptr;
}

void TfmSettings::closeEvent(QCloseEvent* e)
{
    if (!FormClose()) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}
