#include "clients/KlientCard.h"

#include "clients/dmKl.h"
#include "clients/fmPlan.h"
#include "core/FormParts.h"
#include "core/SharedProcs.h"
#include "core/dm.h"

#include "os/Shell.h"
#include "widgets/DBControls.h"
#include "widgets/DBLookupCombo.h"
#include "widgets/DBNavigator.h"
#include "widgets/ExceptionHandler.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using Nav = fw::DBNavigator::Button;

QString ContactField(const char* name)
{
    fw::Query& c = dmKl->qryContacts;
    return HasRows(c) ? c.fieldByName(name).asString() : QString();
}

// Blanks and control characters at both ends.
QString TrimControls(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b] <= QChar(' ')) ++b;
    while (e > b && s[e - 1] <= QChar(' ')) --e;
    return s.mid(b, e - b);
}

} // namespace

QString PhoneDialNumber(const QString& number, const QString& endChar, const QString& countryCode,
                        const QString& cityCode)
{
    QString s = TrimControls(number);
    if (!endChar.isEmpty()) {
        const qsizetype cut = s.indexOf(endChar);
        if (cut >= 0) s = s.left(cut);
    }
    if (s.isEmpty()) return {};
    if (s.startsWith('(')) return countryCode + s;
    if (s.startsWith('+')) return s;
    return countryCode + cityCode + s;
}

QString ContactMailAddress(const QString& name, const QString& email)
{
    return (name.isEmpty() ? QString() : name + " ") + "<" + email + ">";
}

QString ZakazAddressCaption(const QString& name, const QString& email)
{
    if (email.isEmpty()) return {};
    return (name.isEmpty() ? QString() : "\"" + name + "\"") + "<" + email + ">";
}

TKlientCard::TKlientCard(QWidget* parent) : QWidget(parent)
{
    setObjectName("KlientCard");
    fw::DataSource* dsCust = &dmKl->dsCust;
    fw::DataSource* dsContacts = &dmKl->dsContacts;
    auto* card = new QVBoxLayout(this);
    card->setContentsMargins(0, 0, 0, 0);
    card->setSpacing(2);

    tbKar = ToolBar(this, "tbKar");
    tbNewCust = AddToolButton(tbKar, "tbNewCust", "Создать компанию", 0);
    tbCurator = AddToolButton(tbKar, "tbCurator", "Изменить куратора компании", 7);
    tbDelCust = AddToolButton(tbKar, "tbDelCust", "Удалить компанию", 2);
    tbKar->addSeparator();
    tbPlan = AddToolButton(tbKar, "tbPlan", "Запланировать");
    tbZakaz = AddToolButton(tbKar, "tbZakaz", "Сформировать заказ на отправку", 23);
    pmZakaz = new QMenu(tbZakaz);
    pmZakaz->setObjectName("pmZakaz");
    miZakazView = pmZakaz->addAction("Просмотр заказов");
    miZakazView->setObjectName("miZakazView");
    miZakazView->setData(-1);
    pmZakaz->addSeparator();
    tbZakaz->setMenu(pmZakaz);
    tbZakaz->setPopupMode(QToolButton::MenuButtonPopup);
    tbMy = AddToolButton(tbKar, "tbMy", "Показать только своих клиентов", 9);
    tbKar->addSeparator();
    dbnCust = Navigator(tbKar, "dbnCust", dsCust, {Nav::First, Nav::Prior, Nav::Next, Nav::Last, Nav::Post, Nav::Cancel});
    tbKar->addWidget(dbnCust);
    for (QToolButton* b : {tbNewCust, tbCurator, tbDelCust, tbZakaz, tbMy})
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    card->addWidget(tbKar);

    // The company on the left, its contact person on the right.
    auto* upper = new QHBoxLayout;
    upper->setSpacing(6);
    auto* company = new QGridLayout;
    company->setContentsMargins(4, 2, 4, 2);
    company->setVerticalSpacing(3);
    dbeCompany = FieldEdit(this, "dbeCompany", dsCust, "COMPANY");
    dbeAddress = FieldEdit(this, "dbeAddress", dsCust, "ADDRESS");
    dbeCity = FieldEdit(this, "dbeCity", dsCust, "CITY");
    dbeFax = FieldEdit(this, "dbeFax", dsCust, "FAX");
    sbDialFax = SideButton(this, "sbDialFax", "Набрать номер", "☎");
    dbeWWW = FieldEdit(this, "dbeWWW", dsCust, "WWW");
    sbWWW = SideButton(this, "sbWWW", "Открыть страницу", "www");
    dblcCountry = Lookup(this, "dblcCountry", &dmKl->dsCountry, "IDCOUNTRY", "COUNTRY", 150, dsCust);
    dblcRegion = Lookup(this, "dblcRegion", &dmKl->dsRegion, "IDREGION", "REGION", 150, dsCust);
    dblcPersp = Lookup(this, "dblcPersp", dm ? &dm->dsPersp : nullptr, "IDPERSP", "PERSP", 150, dsCust);
    // Lookup cascades follow the user's choice only, never a list opened or moved.
    connect(dblcCountry, &fw::DBLookupCombo::activated, this, [] { dmKl->FirstLevelChosen(dmKl->qryCountry); });
    FormField(company, this, 0, 0, "Компания", dbeCompany, 3);
    FormField(company, this, 1, 0, "Адрес", dbeAddress, 3);
    FormField(company, this, 2, 0, "Город", dbeCity);
    FormField(company, this, 2, 2, "Факс", Pair(dbeFax, sbDialFax));
    FormField(company, this, 3, 0, "WWW", Pair(dbeWWW, sbWWW), 3);
    FormField(company, this, 4, 0, "Страна", dblcCountry);
    FormField(company, this, 4, 2, "Регион", dblcRegion);
    FormField(company, this, 5, 0, "Перспективность", dblcPersp);
    company->setColumnStretch(1, 1);
    company->setColumnStretch(3, 1);
    company->setRowStretch(6, 1);
    upper->addLayout(company, 3);

    gbContact = Group(this, "gbContact", "Контактное лицо");
    auto* contact = new QGridLayout(gbContact);
    contact->setContentsMargins(4, 2, 4, 2);
    contact->setVerticalSpacing(3);
    auto* contactBar = ToolBar(gbContact, "tbrContact");
    dbnContacts = Navigator(contactBar, "dbnContacts", dsContacts, {Nav::Prior, Nav::Next, Nav::Post, Nav::Cancel});
    contactBar->addWidget(dbnContacts);
    contactBar->addSeparator();
    tbNewContact = AddToolButton(contactBar, "tbNewContact", "Создать контактное лицо", 0);
    tbContactCurator = AddToolButton(contactBar, "tbContactCurator", "Изменить куратора контактного лица", 7);
    tbDelContact = AddToolButton(contactBar, "tbDelContact", "Удалить контактное лицо", 2);
    for (QToolButton* b : {tbNewContact, tbContactCurator, tbDelContact}) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    contact->addWidget(contactBar, 0, 0, 1, 2);
    dbeContactName = FieldEdit(gbContact, "dbeContactName", dsContacts, "CONTACT_NAME");
    dbeContactTitle = FieldEdit(gbContact, "dbeContactTitle", dsContacts, "CONTACT_TITLE");
    dbeContactDep = FieldEdit(gbContact, "dbeContactDep", dsContacts, "CONTACT_DEP");
    dbeContactPhone = FieldEdit(gbContact, "dbeContactPhone", dsContacts, "CONTACT_PHONE");
    sbDialPhone = SideButton(gbContact, "sbDialPhone", "Набрать номер", "☎");
    dbeContactEmail = FieldEdit(gbContact, "dbeContactEmail", dsContacts, "CONTACT_EMAIL");
    sbMail = SideButton(gbContact, "sbMail", "Отправить письмо", "@");
    FormField(contact, gbContact, 1, 0, "Имя", dbeContactName);
    FormField(contact, gbContact, 2, 0, "Должность", dbeContactTitle);
    FormField(contact, gbContact, 3, 0, "Отдел", dbeContactDep);
    FormField(contact, gbContact, 4, 0, "Телефон", Pair(dbeContactPhone, sbDialPhone));
    FormField(contact, gbContact, 5, 0, "Email", Pair(dbeContactEmail, sbMail));
    contact->setColumnStretch(1, 1);
    upper->addWidget(gbContact, 2);
    card->addLayout(upper);

    // Below these sizes the scroll bars take over.
    for (QWidget* edit : std::initializer_list<QWidget*>{dbeCompany, dbeAddress, dbeCity, dbeFax, dbeWWW,
                                                          dbeContactName, dbeContactTitle, dbeContactDep,
                                                          dbeContactPhone, dbeContactEmail})
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 20);

    const auto click = [this](QToolButton* b, auto f) { connect(b, &QToolButton::clicked, this, fw::guarded(f)); };
    click(tbCurator, [this] { ChangeCurator(dmKl->qryCust, false); });
    click(tbDelCust, [] { RemoveCurrent(dmKl->qryCust); });
    connect(tbZakaz, &QToolButton::clicked, tbZakaz, &QToolButton::showMenu);
    connect(pmZakaz, &QMenu::aboutToShow, this, fw::guarded([this] { pmZakazPopup(); }));
    connect(miZakazView, &QAction::triggered, this, fw::guarded([this] { ShowZakaz({}); }));
    click(sbDialFax, [this] { sbDialFaxClick(); });
    click(sbWWW, [this] { sbWWWClick(); });
    click(tbNewContact, [this] { tbNewContactClick(); });
    click(tbContactCurator, [this] { ChangeCurator(dmKl->qryContacts, true); });
    click(tbDelContact, [] { RemoveCurrent(dmKl->qryContacts); });
    click(sbDialPhone, [this] { sbDialPhoneClick(); });
    click(sbMail, [this] { sbMailClick(); });
}

void TKlientCard::ChangeCurator(fw::DataSet& ds, bool contact)
{
    if (!HasRows(ds)) return;
    ds.edit();
    const fw::Value oldId = ds.fieldByName("idUser").value();
    const QString oldName = ds.fieldByName("User").asString();
    int id = oldId.isNull() ? -1 : oldId.asInt();
    QString newName;
    if (!SelectValue(0, id, newName, {}, contact ? "Смена куратора контактного лица" : "Смена куратора компании"))
        return;
    if (!oldId.isNull() && id == oldId.asInt()) return;
    ds.fieldByName("idUser").setAsInteger(id);
    ds.post();

    fw::Query& hist = dmKl->qryHist;
    if (!hist.active()) hist.open();
    hist.first();
    hist.insert();
    EditAndPost(hist, [&] {
        hist.fieldByName("Access").setAsString("-");
        if (contact) {
            hist.fieldByName("idContacts").setValue(ds.fieldByName("idContacts").value());
            hist.fieldByName("Note").setAsString("Смена куратора контактного лица: " + oldName + " => " + newName);
        } else {
            hist.fieldByName("idContacts").clear();
            hist.fieldByName("Note").setAsString("Смена куратора компании: " + oldName + " => " + newName);
        }
        return true;
    });
}

void TKlientCard::tbNewContactClick()
{
    if (!HasRows(dmKl->qryCust)) return;
    fw::Query& contacts = dmKl->qryContacts;
    if (!contacts.active()) contacts.open();
    contacts.last();
    dbeContactName->setFocus();
    contacts.append();
}

// --- dialling, mail and web

void TKlientCard::DialNumber(const QString& number, const QString& calledParty)
{
    // The desktop's telephony takes the number alone; the called party has no place in a tel: link.
    Q_UNUSED(calledParty);
    if (number.isEmpty() || !dm) return;
    if (!dm->qryMain.active()) dm->qryMain.open();
    const auto setting = [](const char* name) { return dm->qryMain.fieldByName(name).asString(); };
    const QString dial = PhoneDialNumber(number, setting("EndPhoneChar"), setting("CountryCode"), setting("CityCode"));
    if (!dial.isEmpty()) OpenThroughDesktop(fw::telUrl(dial), "Не удалось набрать номер");
}

void TKlientCard::sbDialPhoneClick()
{
    DialNumber(ContactField("CONTACT_PHONE"), ContactField("CONTACT_NAME"));
}

void TKlientCard::sbDialFaxClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!HasRows(cust)) return;
    DialNumber(cust.fieldByName("FAX").asString(), ContactField("CONTACT_NAME"));
}

void TKlientCard::sbMailClick()
{
    const QString email = ContactField("CONTACT_EMAIL");
    if (email.isEmpty()) return;
    OpenThroughDesktop(fw::mailtoUrl(ContactMailAddress(ContactField("CONTACT_NAME"), email)),
                       "Не удалось открыть почтовую программу для письма");
}

void TKlientCard::sbWWWClick()
{
    fw::Query& cust = dmKl->qryCust;
    if (!HasRows(cust)) return;
    const QString www = cust.fieldByName("WWW").asString();
    if (!www.isEmpty()) OpenThroughDesktop(fw::linkUrl(www), "Не удалось открыть страницу");
}

// --- orders

void TKlientCard::pmZakazPopup()
{
    const QList<QAction*> items = pmZakaz->actions();
    for (int i = 2; i < items.size(); ++i) {
        pmZakaz->removeAction(items[i]);
        items[i]->deleteLater();
    }
    fw::Query& cust = dmKl->qryCust;
    const bool any = HasRows(cust);
    miZakazView->setEnabled(any);
    if (!any) return;
    PostIfInsert(cust);
    const QString address = ZakazAddressCaption(ContactField("CONTACT_NAME"), ContactField("CONTACT_EMAIL"));
    if (address.isEmpty()) return;
    QAction* a = pmZakaz->addAction(QString(address).replace('&', "&&"));
    a->setObjectName("miZakazAddress");
    a->setData(address);
    connect(a, &QAction::triggered, this, fw::guarded([this, address] { ShowZakaz(address); }));
}
