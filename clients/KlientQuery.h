#pragma once

#include "db/Currency.h"

#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTabWidget;
class QToolButton;
class TCurrencyEdit;
class TDateEdit;

namespace fw {
class DBLookupCombo;
class DBRadioGroup;
}

// The search inputs as the page's controls hold them. An empty text, an
// unset key and a null date do not take part in the search.
struct TKlientQueryInput {
    // "Компания"
    QString company, address, fax, city, www;
    std::optional<int> idCountry, idRegion, idPersp;
    std::optional<int> idUser, idOtdel;              // the curator wins over the department
    std::optional<int> idReklama, idReklama2, idSegment, idSegment2;
    QDate regFrom, regTo;                            // both days included

    // "Прочее": each user-defined field's column and its search text, in the
    // order the edits were created.
    QList<QPair<QString, QString>> customFields;

    // "Контактное лицо"
    QString contact, title, dep, phone, email, comm;
    std::optional<int> idContactUser;

    // "Группы": checked group keys; "В любой" 0, "Во всех" 1, "Ни в одну" 2
    QList<int> glGroups, locGroups;
    int glMode = 0, locMode = 0;

    // "Товар"
    std::optional<int> idGrTovar, idTovar;
    bool back = false;                               // "Учитывать возврат"
    bool priznak1 = false, priznak2 = false;
    bool oplachen = false;                           // "Оплачен или регистрирован"
    bool tovarInSdelka = false;                      // "В сделке"
    QString tovarNumber;
    bool numberBack = false;                         // "Учитывать номер отгрузки"
    QDate tovRegBegin, tovRegEnd;

    // "Сделки"
    QString sdName;
    std::optional<int> idSdStatus, idSdUser, idSdType, idSdOtkaz, idSdPrichina, idSdPrichina2;
    QDate sdFrom, sdTo;
    bool sdByBegin = true;                           // "Начало", else "Завершение"

    // "Договора"
    QString dogNum, dogComm;
    std::optional<fw::Currency> dogSkidka;           // set when the discount edit shows text
    std::optional<int> idDogUser;
    QDate dogSrokBegin, dogSrokEnd;
    bool dogSrokByBegin = true;                      // "Начало", else "Завершение"
    QDate dogDateBegin, dogDateEnd;                  // date of conclusion
};

// The client search statement: one line per condition over Customer, with the
// client visibility clause custFilter and the record visibility clause
// recFilter for contacts, goods and deals. Texts are written in double quotes
// through DoubleQuotes; dates as dd.MM.yyyy, every range half-open.
QStringList KlientQuerySql(const TKlientQueryInput& in, const QString& custFilter,
                           const QString& recFilter);
// The sort items of "Сортировка", in order, and the column each sorts by.
const QStringList& KlientQuerySortItems();
// "order by <column>" for a sort item index; empty for none (-1) or out of range.
QString KlientQueryOrderLine(int sortIndex);
// The statement of "Показать только своих клиентов".
QString MyClientsSql(int idUser);

// The search page "Запрос" of the clients window over dmKl: the inputs of
// pcZapros, the search into dmKl->qryCust, the clearing and the sort. The
// window places it on tsQuery and connects the hooks below.
class TKlientQuery : public QWidget {
    Q_OBJECT
public:
    explicit TKlientQuery(QWidget* parent = nullptr);
    ~TKlientQuery() override;

    // Makes the client list ("Список") the active main page.
    std::function<void()> ShowClientList;
    // Sets the caption of the list page.
    std::function<void(const QString& caption)> SetListPageCaption;
    // Told the control of the page that has focus when the search starts.
    std::function<void(QWidget* focused)> RememberFocus;

    QPushButton* btnZQuery;              // "Запрос"
    QToolButton* SBClear;                // "Очистить параметры запроса"
    QLabel* lblZSort;                    // "Сортировка"
    QComboBox* cbZSort;

    QTabWidget* pcZapros;

    // "Компания"
    QWidget* tsZKar;
    QLineEdit* edZCompany;
    QLineEdit* edZAddress;
    QLineEdit* edZFax;
    QLineEdit* edZCity;
    QLineEdit* edZWWW;
    fw::DBLookupCombo* dblcZCountry;
    fw::DBLookupCombo* dblcZRegion;
    fw::DBLookupCombo* dblcZPersp;
    QGroupBox* gbZKurator;               // "Куратор"
    QLabel* lblZUser;                    // "Куратор"
    fw::DBLookupCombo* dblcZUser;
    QLabel* lblZOtdel;                   // "Отдел"
    fw::DBLookupCombo* dblcZOtdel;
    QGroupBox* gbZReklama;               // "Источник"
    fw::DBLookupCombo* dblcZReklama;
    fw::DBLookupCombo* dblcZReklama2;
    QGroupBox* gbZSegment;               // "Сегмент"
    fw::DBLookupCombo* dblcZSegment;
    fw::DBLookupCombo* dblcZSegment2;
    QGroupBox* gbZKarReg;                // "Регистрация компании"
    TDateEdit* deZKarRegFrom;
    TDateEdit* deZKarRegTo;

    // "Контактное лицо"
    QWidget* tsZContact;
    QLineEdit* edZContact;
    QLineEdit* edZTitle;
    QLineEdit* edZDep;
    QLineEdit* edZPhone;
    QLineEdit* edZEmail;
    QLabel* lblZContactKurator;          // "Куратор"
    fw::DBLookupCombo* dblcZContactKurator;
    QLineEdit* edZComm;

    // "Прочее": the user-defined fields' edits; its tab stays hidden without them.
    QWidget* tsZOther;
    QScrollArea* scrlboxZKar;

    // "Группы"
    QWidget* tsZGroup;
    QListWidget* clbZGlGr;
    QListWidget* clbZLocGr;
    fw::DBRadioGroup* rgAll;             // "Общие"
    fw::DBRadioGroup* rgPerson;          // "Личные"

    // "Товар"
    QWidget* tsZTovar;
    QGroupBox* gbZTovar;                 // "Товар"
    fw::DBLookupCombo* dblcZGrTovar;
    fw::DBLookupCombo* dblcZTovar;
    QCheckBox* cbZBack;                  // "Учитывать возврат"
    QGroupBox* gbZPriznak;               // "Признаки"
    QCheckBox* cbZPriznak1;
    QCheckBox* cbZPriznak2;
    QCheckBox* cbZOplachen;              // "Оплачен или регистрирован"
    QCheckBox* cbTovarInSdelka;          // "В сделке"
    QGroupBox* gbZTovarNumber;           // "Номер товара"
    QLineEdit* edZTovarNumber;
    QCheckBox* cbZNumberBack;            // "Учитывать номер отгрузки"
    QGroupBox* gbZTovReg;                // "Дата регистрации"
    TDateEdit* deTovRegBegin;
    TDateEdit* deTovRegEnd;

    // "Сделки"
    QWidget* tsZSdelks;
    QLineEdit* edZSdName;
    fw::DBLookupCombo* dblcZSdStatus;
    QLabel* lblZSdUser;                  // "Куратор"
    fw::DBLookupCombo* dblcZSdUser;
    QGroupBox* gbZSdDate;                // "Дата"
    TDateEdit* deZSdFrom;
    TDateEdit* deZSdTo;
    QRadioButton* rbZSdBegin;            // "Начало"
    QRadioButton* rbZSdEnd;              // "Завершение"
    QGroupBox* gbZSdPrichina;            // "Причина"
    fw::DBLookupCombo* dblcZSdPrichina;
    fw::DBLookupCombo* dblcZSdPrichina2;
    QGroupBox* gbZSdType;                // "Тип/отказ"
    fw::DBLookupCombo* dblcZSdType;
    fw::DBLookupCombo* dblcZSdOtkaz;

    // "Договора"
    QWidget* tsZDog;
    QLineEdit* edZapDogNum;
    QLabel* lblZapDogUser;               // "Куратор"
    fw::DBLookupCombo* cbZapDogUser;
    QLineEdit* edZapDogComm;
    TCurrencyEdit* ceZapDogSkid;
    QGroupBox* gbZapDogSrok;             // "Сроки договора"
    TDateEdit* deZapDogSrokBegin;
    TDateEdit* deZapDogSrokEnd;
    QRadioButton* rbZapDogSrokBegin;     // "Начало"
    QRadioButton* rbZapDogSrokEnd;       // "Завершение"
    QGroupBox* gbZapDogDate;             // "Дата заключения договора"
    TDateEdit* deZapDogDateBegin;
    TDateEdit* deZapDogDateEnd;

    // The inputs as the controls hold them now, and the statement they make
    // (with the order line of the chosen sort).
    TKlientQueryInput QueryInput() const;
    QStringList BuildQuerySQL() const;
    void AddQueryOrder(QStringList& sql) const;

    // "Запрос" and Enter on the page: remembers the focused control, then RunQuery.
    void btnZQueryClick();
    // Builds the statement, lets the armed power user edit it (EditSQL), opens
    // dmKl->qryCust and shows the client list.
    void RunQuery();
    // The current user's own clients, without the visibility clause; the page stays.
    void ShowMyClients();
    // "Количество": the list page's caption with the number of clients selected.
    void ToolButton21Click();
    // Empties every input, the lookups' filters, the group lists and the sort.
    void SBClearClick();
    // The label beside a curator combo puts the current user into it.
    void lblUserClick(QLabel* label);
    // The second combo of a pair shows the children of the first one's choice.
    void dblcZFilterClick(fw::DBLookupCombo* first);

    // Page showing: the lookups the page needs are opened.
    void tsZKarShow();
    void tsZContactShow();
    void tsZTovarShow();
    void tsZSdelksShow();
    void tsZGroupShow();
    void tsZDogShow();
    bool QueryGroupsLoaded() const { return queryGroupsLoaded_; }

    // The goods attribute captions from the settings row (Priznak1, Priznak2).
    void TakePriznakCaptions();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* BuildKarPage();
    QWidget* BuildContactPage();
    QWidget* BuildGroupPage();
    QWidget* BuildTovarPage();
    QWidget* BuildSdelkaPage();
    QWidget* BuildDogPage();
    void BindLookups();

    bool queryGroupsLoaded_ = false;
};
