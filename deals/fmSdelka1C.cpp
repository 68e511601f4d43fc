// The deal card's link to the accounting plug-in: its three documents and the
// check of the money received against the invoice.

#include "core/ModuleWindows.h"
#include "core/Users.h"
#include "core/dm.h"
#include "deals/Plugin1C.h"
#include "deals/SdDialogParts.h"
#include "deals/dmKlSd.h"
#include "deals/fmSdOplata.h"
#include "deals/fmSdelka.h"

#include "db/DbError.h"
#include "widgets/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTime>

namespace {

fw::Query& Sdelka()
{
    return dmKlSd->qrySdelka;
}

QString DocNumber(const char* field)
{
    const fw::Field& f = Sdelka().fieldByName(field);
    return f.isNull() ? QString() : f.asString().trimmed();
}

bool HasDate(const char* field)
{
    return !Sdelka().fieldByName(field).isNull();
}

QString DateText(const QDate& d)
{
    return d.toString("dd.MM.yyyy");
}

QString DocDate(const char* field)
{
    return DateText(Sdelka().fieldByName(field).asDateTime().date());
}

QString TodayText()
{
    return DateText(GetServerDate().date());
}

// "0" and an empty text both mean the plug-in made no document.
bool NoDocument(const QString& number)
{
    return number.isEmpty() || number == "0";
}

// The goods lines of the deal, open and with nothing pending.
fw::Query& Sales()
{
    fw::Query& sales = dmKlSd->qrySales;
    if (!sales.active()) sales.open();
    if (sales.state() == fw::DataSetState::Edit || sales.state() == fw::DataSetState::Insert) sales.post();
    return sales;
}

// The company of the deal's client, as its card shows it.
QString CompanyName()
{
    const fw::Value idCust = Sdelka().fieldByName("IDCUST").value();
    fw::Query* cust = KlientSets().qryCust;
    if (cust && cust->active() && !cust->isEmpty() && cust->fieldByName("IDCUST").value() == idCust)
        return cust->fieldByName("COMPANY").asString().trimmed();
    return dm->db.selectValue("select Company from Customer where idCust = :idCust", {{"idCust", idCust}})
        .asString()
        .trimmed();
}

// The plug-in reads no document file here: one left by an earlier document
// must not be there for it to take.
QString DocByDoc(TPlugin1C& plugin, const QString& number, int kind, const QString& date)
{
    RemoveExchangeFile(Doc1CFileName());
    return plugin.DocByDoc(number, kind, date);
}

} // namespace

TPlugin1C& TfmSdelka::Load1CPlugin()
{
    if (plugin1C_) return *plugin1C_;
    const QString dir = Plugin1CDir.isEmpty() ? QCoreApplication::applicationDirPath() : Plugin1CDir;
    auto plugin = std::make_unique<TPlugin1C>();
    if (!plugin->Load(QDir(dir).filePath(BR1C_LIBRARY))) {
        fw::dialogs().error(QString("Не могу загрузить DLL - %1 ").arg(BR1C_LIBRARY));
        throw fw::Abort();
    }
    plugin1C_ = std::move(plugin);
    return *plugin1C_;
}

void TfmSdelka::Free1CPlugin()
{
    plugin1C_.reset();
}

void TfmSdelka::CheckCanInvoice()
{
    const QString refused = "Выписка счета невозможна.\r";
    if (CompanyName().isEmpty()) throw fw::UserError(refused + "Имя компании не указано!");
    fw::Query& sales = Sales();
    if (sales.isEmpty()) throw fw::UserError(refused + "Нет товаров в этой сделке!");
    bool oneRate = true;
    std::optional<fw::Currency> first;
    ForEachSale([&](fw::Query& s) {
        const fw::Currency kurs = s.fieldByName("KURS").asCurrency();
        if (!first) first = kurs;
        else if (kurs != *first) oneRate = false;
    });
    if (!oneRate) throw fw::UserError(refused + "Не у всех товаров одинаковый курс!");
}

QString TfmSdelka::Create1CDoc(int kind, const QString& date)
{
    CheckCanInvoice();
    QList<TDoc1CLine> lines;
    fw::Currency kurs;
    ForEachSale([&](fw::Query& s) {
        if (lines.isEmpty()) kurs = s.fieldByName("KURS").asCurrency();
        lines << TDoc1CLine{s.fieldByName("Tovar").asString(), s.fieldByName("KOLVO").asCurrency(),
                            s.fieldByName("SUMMARP").asCurrency()};
    });
    const QByteArray text = Doc1CText(date, kurs, CompanyName(), lines);
    TPlugin1C& plugin = Load1CPlugin();
    // A write that fails must not leave the previous document's file for the plug-in.
    RemoveExchangeFile(Doc1CFileName());
    WriteDoc1CFile(Doc1CFileName(), text);
    return plugin.AddDoc(kind);
}

void TfmSdelka::Store1CDoc(const char* numberField, const QString& number, const char* dateField, bool dateToday)
{
    fw::Query& sdelka = Sdelka();
    const int size = sdelka.fieldByName(numberField).size();
    if (size > 0 && number.size() > size)
        throw fw::UserError(QString("Документ создан в 1С, но его номер \"%1\" длиннее %2 знаков и не может быть "
                                    "записан в сделку!\rЗапишите номер и дату документа вручную.")
                                .arg(number)
                                .arg(size));
    if (sdelka.state() != fw::DataSetState::Edit && sdelka.state() != fw::DataSetState::Insert) sdelka.edit();
    sdelka.fieldByName(numberField).setAsString(number);
    if (dateToday || sdelka.fieldByName(dateField).isNull())
        sdelka.fieldByName(dateField).setAsDateTime(QDateTime(GetServerDate().date(), QTime(0, 0)));
    sdelka.post();
}

void TfmSdelka::sbSchet1CClick()
{
    const QString schet = DocNumber("NOSCHET");
    if (!schet.isEmpty() && !HasDate("DATESCHET"))
        throw fw::UserError("Для поиска счета помимо номера нужна и дата!");
    TPlugin1C& plugin = Load1CPlugin();
    if (!schet.isEmpty()) {
        plugin.OpenDocWindow(schet, 1, DocDate("DATESCHET"));
        return;
    }
    const QString number = Create1CDoc(1, HasDate("DATESCHET") ? DocDate("DATESCHET") : TodayText());
    if (NoDocument(number)) throw fw::UserError("Ошибка создания счета в 1С!");
    Store1CDoc("NOSCHET", number, "DATESCHET", false);
}

void TfmSdelka::sbNakl1CClick()
{
    const QString nakl = DocNumber("NONAKL");
    const QString schet = DocNumber("NOSCHET");
    if (!nakl.isEmpty() && !HasDate("DATENAKL"))
        throw fw::UserError("Для поиска накладной помимо номера нужна и дата!");
    if (nakl.isEmpty() && !schet.isEmpty() && !HasDate("DATESCHET"))
        throw fw::UserError("Накладную по счету создать невозможно,\rНе указана дата счета");
    TPlugin1C& plugin = Load1CPlugin();
    if (!nakl.isEmpty()) {
        plugin.OpenDocWindow(nakl, 2, DocDate("DATENAKL"));
        return;
    }
    if (!schet.isEmpty()) {
        const QString number = DocByDoc(plugin, schet, 1, DocDate("DATESCHET"));
        if (NoDocument(number)) throw fw::UserError("Ошибка создания накладной в 1С!");
        Store1CDoc("NONAKL", number, "DATENAKL", true);
        return;
    }
    const QString number = Create1CDoc(2, HasDate("DATENAKL") ? DocDate("DATENAKL") : TodayText());
    if (NoDocument(number)) throw fw::UserError("Ошибка создания розничной накладной в 1С!");
    Store1CDoc("NONAKL", number, "DATENAKL", false);
}

void TfmSdelka::sbSchetF1CClick()
{
    const QString schetF = DocNumber("NOSCHETF");
    const QString nakl = DocNumber("NONAKL");
    if (!schetF.isEmpty() && !HasDate("DATESCHETF"))
        throw fw::UserError("Для поиска счета-фактуры помимо номера нужна и дата!");
    if (schetF.isEmpty() && (nakl.isEmpty() || !HasDate("DATENAKL")))
        throw fw::UserError("Для создания счета-фактуры должны быть указаны номер и дата накладной!");
    TPlugin1C& plugin = Load1CPlugin();
    if (!schetF.isEmpty()) {
        plugin.OpenDocWindow(schetF, 3, DocDate("DATESCHETF"));
        return;
    }
    const QString number = DocByDoc(plugin, nakl, 2, DocDate("DATENAKL"));
    if (NoDocument(number)) throw fw::UserError("Ошибка создания счета-фактуры в 1С!");
    Store1CDoc("NOSCHETF", number, "DATESCHETF", true);
}

void TfmSdelka::tbMoney1CClick()
{
    fw::Query& sales = Sales();
    if (sales.isEmpty()) throw fw::UserError("Нет товаров в сделке!");
    const QString schet = DocNumber("NOSCHET");
    if (schet.isEmpty() || !HasDate("DATESCHET"))
        throw fw::UserError("Для проверки денег в 1С нужны дата и номер счета!");
    TPlugin1C& plugin = Load1CPlugin();
    // Only a file written by this call tells about this invoice.
    const QString moneyFile = Money1CFileName();
    RemoveExchangeFile(moneyFile);
    if (!plugin.MoneyDoc(schet, 1, DocDate("DATESCHET"), QString()) || !QFile::exists(moneyFile))
        throw fw::UserError("Не могу получить информацию о деньгах из 1С!");
    // Sums and rates as the payment columns keep them (a rate of 27.3456 is
    // stored as 27.35), so that a payment once added is found the next time.
    const QList<TMoney1C> received = ReadMoney1CFile(moneyFile, SdStoredDecimals(dmKlSd->qryOplata, "SUMMAR"),
                                                     SdStoredDecimals(dmKlSd->qryOplata, "KURS"));

    // The deal's payments per date and rate, read once: what is added below is
    // already counted as missing. Only the date of a payment counts, whatever
    // time of day it carries.
    fw::Query& groups = dmKlSd->qryOpl1C;
    groups.close();
    groups.paramByName("idSdelka").setValue(Sdelka().fieldByName("IDSDELKA").value());
    groups.open();
    QMap<TMoney1CKey, fw::Currency> paid;
    for (groups.first(); !groups.eof(); groups.next())
        paid[{groups.fieldByName("DATEOPL").asDateTime().date(), groups.fieldByName("KURS").asCurrency()}] +=
            groups.fieldByName("SUM").asCurrency();
    groups.close();
    const QList<fw::Currency> missing = Money1CMissing(received, paid);

    // Lines without a planned sum get no share: a payment of 0 or a stray
    // kopeck on them would mean nothing.
    QList<int> lines;
    QList<fw::Currency> planned;
    ForEachSale([&](fw::Query& s) {
        const fw::Currency rp = s.fieldByName("SUMMARP").asCurrency();
        if (rp.isZero()) return;
        lines << s.fieldByName("IDSALE").asInteger();
        planned << rp;
    });

    bool allFound = true;
    for (int k = 0; k < received.size(); ++k) {
        const TMoney1C& m = received[k];
        const fw::Currency sum = missing[k];
        if (sum.isZero()) continue;
        allFound = false;
        const QList<fw::Currency> parts = Spread1CSum(sum, planned);
        if (!fw::dialogs().confirm(Money1CQuestion(m, sum))) continue;
        QList<TOplataPart> payments;
        const int decimalsD = SdStoredDecimals(dmKlSd->qryOplata, "SUMMAD");
        for (int i = 0; i < parts.size(); ++i)
            if (!parts[i].isZero()) payments << TOplataPart{lines[i], parts[i], (parts[i] / m.Kurs).rounded(decimalsD)};
        // The parts of one received sum go in together or not at all.
        PostOplataSplit(*this, payments, CurrentUser.IdUser, m.Date, m.Kurs);
        dmKlSd->SalesLinked = true;
        RefreshSales();
    }
    if (allFound) fw::dialogs().information("Новых поступлений нет!");
}
