#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QAction;
class QGroupBox;
class QMenu;
class QToolBar;
class QToolButton;

namespace fw {
class DataSet;
class DBEdit;
class DBLookupCombo;
class DBNavigator;
}

// The client card's upper area: the company of dmKl's current client and its contact person, with
// their commands. The clients window places it above the card's sub-pages, runs the commands that
// reach beyond it (a new client, the own clients, a plan, the mailing window) and sets ShowZakaz.
class TKlientCard : public QWidget {
    Q_OBJECT
public:
    explicit TKlientCard(QWidget* parent = nullptr);

    // The mailing window for the current client; a non-empty address adds an order.
    std::function<void(const QString& address)> ShowZakaz;

    QToolBar* tbKar;
    QToolButton* tbNewCust;          // "Создать компанию"
    QToolButton* tbCurator;          // "Изменить куратора компании"
    QToolButton* tbDelCust;          // "Удалить компанию"
    QToolButton* tbPlan;             // "Запланировать"
    QToolButton* tbZakaz;            // "Сформировать заказ на отправку"
    QMenu* pmZakaz;
    QAction* miZakazView;            // "Просмотр заказов"
    QToolButton* tbMy;               // "Показать только своих клиентов"
    fw::DBNavigator* dbnCust;
    fw::DBEdit* dbeCompany;
    fw::DBEdit* dbeAddress;
    fw::DBEdit* dbeFax;
    QToolButton* sbDialFax;          // "Набрать номер"
    fw::DBEdit* dbeCity;
    fw::DBEdit* dbeWWW;
    QToolButton* sbWWW;              // "Открыть страницу"
    fw::DBLookupCombo* dblcCountry;
    fw::DBLookupCombo* dblcRegion;
    fw::DBLookupCombo* dblcPersp;

    // The contact box over dmKl->dsContacts.
    QGroupBox* gbContact;
    fw::DBNavigator* dbnContacts;
    QToolButton* tbNewContact;       // "Создать контактное лицо"
    QToolButton* tbContactCurator;   // "Изменить куратора контактного лица"
    QToolButton* tbDelContact;       // "Удалить контактное лицо"
    fw::DBEdit* dbeContactName;
    fw::DBEdit* dbeContactTitle;
    fw::DBEdit* dbeContactDep;
    fw::DBEdit* dbeContactPhone;
    QToolButton* sbDialPhone;        // "Набрать номер"
    fw::DBEdit* dbeContactEmail;
    QToolButton* sbMail;             // "Отправить письмо"

    void DialNumber(const QString& number, const QString& calledParty);
    // The client's (contact false) or the current contact's curator, and a history row that says so.
    void ChangeCurator(fw::DataSet& ds, bool contact);
    void tbNewContactClick();
    void sbDialPhoneClick();
    void sbDialFaxClick();
    void sbMailClick();
    void sbWWWClick();
    void pmZakazPopup();
};

// The dialling number for a phone or fax text: trimmed, cut before endChar,
// and prefixed by the codes by its first character; empty: nothing to dial.
QString PhoneDialNumber(const QString& number, const QString& endChar, const QString& countryCode,
                        const QString& cityCode);
// The mail address of a contact for its "mailto:" link: name + " " + "<" +
// email + ">" (the name and blank only when the name is not empty).
QString ContactMailAddress(const QString& name, const QString& email);
// The orders menu item for a contact: "\"name\"<email>"; empty without e-mail.
QString ZakazAddressCaption(const QString& name, const QString& email);
