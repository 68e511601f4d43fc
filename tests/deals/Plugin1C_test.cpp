#include "SdelkaFixture.h"

#include "controls/CalcEdit.h"
#include "controls/SpeedButton.h"
#include "db/CodePage.h"
#include "deals/Plugin1C.h"
#include "deals/fmSdOplata.h"
#include "support/WhenShown.h"
#include "os/OsError.h"

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <array>
#include <random>

namespace {

using fw::Currency;

Currency Money(const char* text)
{
    return *Currency::parse(text);
}

// --- numbers and files, without the plug-in

TEST(Plugin1CNumbers, ShortestFormWithAFullStop)
{
    EXPECT_EQ(CurrToStrDot(Money("1")), "1");
    EXPECT_EQ(CurrToStrDot(Money("2.5")), "2.5");
    EXPECT_EQ(CurrToStrDot(Money("1234.75")), "1234.75");
    EXPECT_EQ(CurrToStrDot(Money("0.0001")), "0.0001");
    EXPECT_EQ(CurrToStrDot(Money("-30")), "-30");
    EXPECT_EQ(CurrToStrDot(Currency()), "0");

    EXPECT_EQ(StrToCurrDot("2.5"), Money("2.5"));
    EXPECT_EQ(StrToCurrDot(" 100 "), Money("100"));
    EXPECT_EQ(StrToCurrDot("-0.01"), Money("-0.01"));
    for (const char* bad : {"", "1,5", "1.2.3", "abc", "1 000", "12р"})
        EXPECT_THROW(StrToCurrDot(bad), fw::ConvertError) << bad;

    // Kopecks, half to even.
    EXPECT_EQ(RoundToKop(Money("33.3333")), Money("33.33"));
    EXPECT_EQ(RoundToKop(Money("0.125")), Money("0.12"));
    EXPECT_EQ(RoundToKop(Money("0.135")), Money("0.14"));
    EXPECT_EQ(RoundToKop(Money("0.1251")), Money("0.13"));
}

TEST(Plugin1CFiles, DocumentFileIsCp1251WithCrLf)
{
    const QByteArray text = Doc1CText("09.12.2026", Money("2.5"), "Альфа",
                                      {{"Станок", Money("1"), Money("250")}, {"Фреза\r\nмалая", Money("2.5"), Money("12.75")}});
    EXPECT_EQ(text, fw::toCp1251("09.12.2026\r\n2.5\r\nАльфа\r\nСтанок\r\n1\r\n250\r\nФреза  малая\r\n2.5\r\n12.75\r\n"));
    try {
        Doc1CText("09.12.2026", Money("1"), "Alpha", {{"Станок 中", Money("1"), Money("1")}});
        ADD_FAILURE() << "a character outside the code page was written";
    } catch (const fw::EncodingError& e) {
        EXPECT_TRUE(e.message().contains("Станок 中")) << e.message().toStdString();
    }
}

TEST(Plugin1CFiles, PaymentFileIsReadInTriples)
{
    const QList<TMoney1C> m = ParseMoney1C("100.5\r\n01.12.2026\r\n2.5\r\n7\r\n02.12.2026\r\n1\r\n\r\n");
    ASSERT_EQ(m.size(), 2);
    EXPECT_EQ(m[0].Summa, Money("100.5"));
    EXPECT_EQ(m[0].Date, QDate(2026, 12, 1));
    EXPECT_EQ(m[0].Kurs, Money("2.5"));
    EXPECT_EQ(m[0].SumText, "100.5");
    EXPECT_EQ(m[1].Line, 4);
    EXPECT_TRUE(ParseMoney1C("").isEmpty());

    using testing_support::refusal;
    EXPECT_EQ(refusal([] { ParseMoney1C("1\n01.12.2026\n1\n2\n"); }), "Количество возвращенных значений не кратно трем!");
    EXPECT_EQ(refusal([] { ParseMoney1C("1\r\n01.12.2026\r\n1\r\n1,5\r\n01.12.2026\r\n1\r\n"); }),
              "Строка 4 файла MONEY1C.txt (\"1,5\") не является положительным числом!");
    EXPECT_EQ(refusal([] { ParseMoney1C("1\r\n31.02.2026\r\n1\r\n"); }),
              "Строка 2 файла MONEY1C.txt (\"31.02.2026\") не является датой!");
    EXPECT_EQ(refusal([] { ParseMoney1C("1\r\n01.12.2026\r\n0\r\n"); }),
              "Строка 3 файла MONEY1C.txt (\"0\") не является положительным числом!");
}

TEST(Plugin1CFiles, LinesMoneyOrADateCannotHoldAreRefused)
{
    using testing_support::refusal;
    EXPECT_EQ(refusal([] { ParseMoney1C("1\r\n01.02.-2024\r\n1\r\n"); }),
              "Строка 2 файла MONEY1C.txt (\"01.02.-2024\") не является датой!");
    for (const char* date : {"1.02.2024", "01.02.24", "01.02.2024г", "00.02.2024", "01.02.0000"})
        EXPECT_TRUE(refusal([&] { ParseMoney1C(QByteArray("1\r\n") + date + "\r\n1\r\n"); }).contains("не является датой"))
            << date;
    // More decimals than money holds would be lost unseen: 0.00004 is no rate of 0.
    EXPECT_EQ(refusal([] { ParseMoney1C("100.00001\r\n01.02.2024\r\n1\r\n"); }),
              "Строка 1 файла MONEY1C.txt (\"100.00001\") не является положительным числом!");
    EXPECT_EQ(refusal([] { ParseMoney1C("100\r\n01.02.2024\r\n0.00004\r\n"); }),
              "Строка 3 файла MONEY1C.txt (\"0.00004\") не является положительным числом!");

    // Taken as the payment columns keep them; a rate that is 0 there is refused.
    const QList<TMoney1C> m = ParseMoney1C("1000.505\r\n01.12.2025\r\n27.3456\r\n", 2, 2);
    ASSERT_EQ(m.size(), 1);
    EXPECT_EQ(m[0].Summa, Money("1000.5"));
    EXPECT_EQ(m[0].Kurs, Money("27.35"));
    EXPECT_EQ(m[0].KursText, "27.3456");
    EXPECT_EQ(refusal([] { ParseMoney1C("100\r\n01.02.2024\r\n0.004\r\n", 2, 2); }),
              "Строка 3 файла MONEY1C.txt (\"0.004\") не является положительным числом!");
}

TEST(Plugin1CSpread, PartsAreKopecksAndTheLastTakesTheRest)
{
    EXPECT_EQ(Spread1CSum(Money("100"), {Money("1"), Money("1"), Money("1")}),
              (QList<Currency>{Money("33.33"), Money("33.33"), Money("33.34")}));
    EXPECT_EQ(Spread1CSum(Money("100"), {Money("0.5"), Money("99.5")}),
              (QList<Currency>{Money("0.5"), Money("99.5")}));
    // 0.12505 goes to four decimals first (0.1250), then to kopecks (0.12).
    EXPECT_EQ(Spread1CSum(Money("0.2501"), {Money("1"), Money("1")}),
              (QList<Currency>{Money("0.12"), Money("0.1301")}));
    EXPECT_EQ(Spread1CSum(Money("0.3"), {Money("1"), Money("1"), Money("2")}),
              (QList<Currency>{Money("0.08"), Money("0.08"), Money("0.14")}));
    EXPECT_EQ(testing_support::refusal([] { Spread1CSum(Money("1"), {Currency(), Currency()}); }),
              "Плановая стоимость товаров сделки равна нулю: сумму разнести невозможно!");
}

// --- the card with the plug-in double

class Plugin1CCard : public DealCardTest {
protected:
    QTemporaryDir exchange;
    QByteArray savedTmp;
    QLibrary control;
    int tovar = 0;

    void SetUp() override
    {
        DealCardTest::SetUp();
        savedTmp = qgetenv("TMPDIR");
        ASSERT_TRUE(exchange.isValid());
        qputenv("TMPDIR", QFile::encodeName(exchange.path()));
        Plugin1CDir = BR1C_DOUBLE_DIR;
        // Held for the whole test, so the double keeps what it recorded while cards load and free it.
        control.setFileName(QDir(BR1C_DOUBLE_DIR).filePath(BR1C_LIBRARY));
        ASSERT_TRUE(control.load()) << control.errorString().toStdString();
        Call<void (*)()>("br1cDoubleReset")();
        tovar = AddTovarItem("Станок", 100);
    }
    void TearDown() override
    {
        card.reset();
        Plugin1CDir.clear();
        if (savedTmp.isNull()) qunsetenv("TMPDIR");
        else qputenv("TMPDIR", savedTmp);
        control.unload();
        DealCardTest::TearDown();
    }

    template <class Fn>
    Fn Call(const char* name)
    {
        auto fn = reinterpret_cast<Fn>(control.resolve(name));
        EXPECT_TRUE(fn) << name;
        return fn;
    }
    void SetNumber(const QString& n) { Call<void (*)(const char*)>("br1cDoubleSetNumber")(fw::toCp1251(n).constData()); }
    void SetMoney(int result, const char* file) { Call<void (*)(int, const char*)>("br1cDoubleSetMoney")(result, file); }
    QStringList Calls()
    {
        const QString all = fw::fromCp1251(Call<const char* (*)()>("br1cDoubleCalls")());
        return all.split('\n', Qt::SkipEmptyParts);
    }
    QByteArray DocFileSeen() { return Call<const char* (*)()>("br1cDoubleDocFile")(); }
    QString DocFile() const { return QDir(exchange.path()).filePath(BR1C_DOC_FILE); }

    // The deal's document columns, set in the database and read again by an open card.
    void SetDeal(const QString& assignments)
    {
        db.execute(QString("update Sdelka set %1 where idSdelka = %2").arg(assignments).arg(deal));
        if (!card) return;
        dmKlSd->qrySdelka.close();
        dmKlSd->qrySdelka.open();
    }
    QString DealText(const char* column)
    {
        return Stored(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(deal)).asString();
    }
    QDate DealDate(const char* column)
    {
        return Stored(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(deal)).asDateTime().date();
    }
    static QString Text(const QDate& d) { return d.toString("dd.MM.yyyy"); }
    static QDate TodayDate() { return GetServerDate().date(); }
};

TEST_F(Plugin1CCard, ALibraryThatCannotBeUsedIsRefusedBeforeAnyCall)
{
    QTemporaryDir empty;
    Plugin1CDir = empty.path();
    Open();
    dialogs.expectError("Не могу загрузить DLL - libBRplus1C.so ");
    card->sbSchet1C->click();
    EXPECT_FALSE(card->Plugin1CLoaded());
    EXPECT_FALSE(QFile::exists(DocFile()));

    // A library without one of the four entry points is named and refused.
    Plugin1CDir = BR1C_PARTIAL_DIR;
    EXPECT_THROW(
        {
            try {
                card->Load1CPlugin();
            } catch (const fw::LibraryError& e) {
                EXPECT_TRUE(e.message().contains("MoneyDoc")) << e.message().toStdString();
                throw;
            }
        },
        fw::LibraryError);
    EXPECT_FALSE(card->Plugin1CLoaded());

    // The whole library is loaded once per card and freed with it.
    Plugin1CDir = BR1C_DOUBLE_DIR;
    TPlugin1C* first = &card->Load1CPlugin();
    EXPECT_EQ(&card->Load1CPlugin(), first);
    card->Free1CPlugin();
    EXPECT_FALSE(card->Plugin1CLoaded());
}

TEST_F(Plugin1CCard, InvoiceWritesTheDocumentFileAndStoresTheNumberAtOnce)
{
    AddSale(tovar, 250, 100, 3);
    AddSale(tovar, 30, 10, 2);
    Open();
    EXPECT_EQ(refusal([&] { card->sbSchet1CClick(); }), "Выписка счета невозможна.\rНе у всех товаров одинаковый курс!");
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_FALSE(QFile::exists(DocFile()));

    // One rate: date, rate, company and three lines per goods line, in their order.
    db.execute(QString("update Sales set kurs = 2.5, summarp = 25, summadp = 10, kolvo = 2.5 where idSdelka = %1 "
                       "and summarp = 30").arg(deal));
    db.execute(QString("update Sales set kurs = 2.5, summarp = 250, summadp = 100 where idSdelka = %1 "
                       "and summarp = 250").arg(deal));
    dmKlSd->qrySales.close();
    dmKlSd->qrySales.open();
    SetNumber("0");
    EXPECT_EQ(refusal([&] { card->sbSchet1CClick(); }), "Ошибка создания счета в 1С!");
    EXPECT_EQ(DealText("NOSCHET"), "");
    SetNumber("");
    EXPECT_EQ(refusal([&] { card->sbSchet1CClick(); }), "Ошибка создания счета в 1С!");
    EXPECT_TRUE(dmKlSd->qrySdelka.fieldByName("NOSCHET").isNull());

    SetNumber("СЧ-17");
    card->sbSchet1C->click();
    EXPECT_EQ(Calls(), QStringList({"AddDoc(1)", "AddDoc(1)", "AddDoc(1)"}));
    const QString today = Text(TodayDate());
    EXPECT_EQ(DocFileSeen(),
              fw::toCp1251(today + "\r\n2.5\r\nАльфа\r\nСтанок\r\n1\r\n250\r\nСтанок\r\n2.5\r\n25\r\n"));
    // Posted and committed: the link to the new document survives whatever the card does next.
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Browse);
    EXPECT_EQ(DealText("NOSCHET"), "СЧ-17");
    EXPECT_EQ(DealDate("DATESCHET"), TodayDate());

    // Number and date set: the invoice is only shown; no file, no change.
    QFile::remove(DocFile());
    SetDeal("DateSchet = '01.03.2026'");
    card->sbSchet1C->click();
    EXPECT_EQ(Calls().last(), "OpenDocWindow(СЧ-17|1|01.03.2026)");
    EXPECT_FALSE(QFile::exists(DocFile()));
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Browse);
    EXPECT_EQ(DealDate("DATESCHET"), QDate(2026, 3, 1));

    // A number without its date cannot be looked for.
    SetDeal("DateSchet = null");
    const int calls = Calls().size();
    EXPECT_EQ(refusal([&] { card->sbSchet1CClick(); }), "Для поиска счета помимо номера нужна и дата!");
    EXPECT_EQ(Calls().size(), calls);
}

TEST_F(Plugin1CCard, ADocumentFileThatCannotBeWrittenStopsBeforeTheCall)
{
    AddSale(tovar, 300, 100, 3);
    qputenv("TMPDIR", QFile::encodeName(QDir(exchange.path()).filePath("missing")));
    Open();
    SetNumber("СЧ-1");
    EXPECT_TRUE(refusal([&] { card->sbSchet1CClick(); }).startsWith("Ошибка записи файла"));
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_EQ(DealText("NOSCHET"), "");
}

TEST_F(Plugin1CCard, InvoiceChecksCompanyAndGoods)
{
    Open();
    EXPECT_EQ(refusal([&] { card->CheckCanInvoice(); }), "Выписка счета невозможна.\rНет товаров в этой сделке!");
    db.execute(QString("update Customer set company = '' where idCust = %1").arg(idCust));
    dmKl->qryCust.close();
    dmKl->qryCust.open();
    EXPECT_EQ(refusal([&] { card->CheckCanInvoice(); }), "Выписка счета невозможна.\rИмя компании не указано!");
}

TEST_F(Plugin1CCard, WaybillFromTheInvoiceIsDatedTodayARetailOneKeepsItsDate)
{
    AddSale(tovar, 300, 100, 3);
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026', DateNakl = '05.03.2026'");
    Open();
    SetNumber("");
    EXPECT_EQ(refusal([&] { card->sbNakl1CClick(); }), "Ошибка создания накладной в 1С!");
    SetNumber("Н-5");
    card->sbNakl1C->click();
    EXPECT_EQ(Calls(), QStringList({"DocByDoc(СЧ-1|1|02.03.2026)", "DocByDoc(СЧ-1|1|02.03.2026)"}));
    EXPECT_EQ(DealText("NONAKL"), "Н-5");
    EXPECT_EQ(DealDate("DATENAKL"), TodayDate());

    // Retail: no invoice; the waybill's own date goes into the file and stays.
    SetDeal("NoSchet = null, DateSchet = null, NoNakl = null, DateNakl = '05.03.2026'");
    SetNumber("0");
    EXPECT_EQ(refusal([&] { card->sbNakl1CClick(); }), "Ошибка создания розничной накладной в 1С!");
    SetNumber("Р-9");
    card->sbNakl1C->click();
    EXPECT_EQ(Calls().last(), "AddDoc(2)");
    EXPECT_TRUE(DocFileSeen().startsWith("05.03.2026\r\n3\r\n"));
    EXPECT_EQ(DealText("NONAKL"), "Р-9");
    EXPECT_EQ(DealDate("DATENAKL"), QDate(2026, 3, 5));

    // Now it exists: shown, not made again.
    card->sbNakl1C->click();
    EXPECT_EQ(Calls().last(), "OpenDocWindow(Р-9|2|05.03.2026)");

    SetDeal("NoNakl = 'Р-9', DateNakl = null");
    EXPECT_EQ(refusal([&] { card->sbNakl1CClick(); }), "Для поиска накладной помимо номера нужна и дата!");
    SetDeal("NoNakl = null, NoSchet = 'СЧ-1', DateSchet = null");
    EXPECT_EQ(refusal([&] { card->sbNakl1CClick(); }), "Накладную по счету создать невозможно,\rНе указана дата счета");
}

TEST_F(Plugin1CCard, InvoiceFactureIsMadeFromTheWaybill)
{
    Open();
    EXPECT_EQ(refusal([&] { card->sbSchetF1CClick(); }),
              "Для создания счета-фактуры должны быть указаны номер и дата накладной!");
    EXPECT_FALSE(card->Plugin1CLoaded());
    SetDeal("NoNakl = 'Н-5', DateNakl = '05.03.2026', DateSchetF = '01.01.2026'");
    SetNumber("0");
    EXPECT_EQ(refusal([&] { card->sbSchetF1CClick(); }), "Ошибка создания счета-фактуры в 1С!");
    EXPECT_EQ(DealText("NOSCHETF"), "");
    SetNumber("СФ-3");
    card->sbSchetF1C->click();
    EXPECT_EQ(Calls().last(), "DocByDoc(Н-5|2|05.03.2026)");
    EXPECT_EQ(DealText("NOSCHETF"), "СФ-3");
    EXPECT_EQ(DealDate("DATESCHETF"), TodayDate());
    card->sbSchetF1C->click();
    EXPECT_EQ(Calls().last(), "OpenDocWindow(СФ-3|3|" + Text(TodayDate()) + ")");

    // A number longer than the deal keeps is reported with the number, not cut.
    SetDeal("NoSchetF = null");
    SetNumber("СФ-123456789012345678901");
    EXPECT_TRUE(refusal([&] { card->sbSchetF1CClick(); }).contains("СФ-123456789012345678901"));
    EXPECT_EQ(DealText("NOSCHETF"), "");
}

TEST_F(Plugin1CCard, AResultLongerThanAllowedIsRefusedAndNothingIsWritten)
{
    AddSale(tovar, 300, 100, 3);
    SetDeal("NoNakl = 'Н-5', DateNakl = '05.03.2026'");
    Open();
    SetNumber(QString(300, '7'));
    dialogs.expectError("Функция DocByDoc библиотеки libBRplus1C.so записала в результат больше 255 знаков.\r"
                        "Результат не принят.");
    card->sbSchetF1C->click();
    EXPECT_EQ(DealText("NOSCHETF"), "");
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Browse);
    SetDeal("NoNakl = null, DateNakl = null");
    EXPECT_TRUE(refusal([&] { card->sbSchet1CClick(); }).contains("AddDoc"));
    EXPECT_EQ(DealText("NOSCHET"), "");

    // The card and its plug-in go on: a number within the contract is taken.
    SetNumber("СЧ-2");
    card->sbSchet1C->click();
    EXPECT_EQ(DealText("NOSCHET"), "СЧ-2");
}

class MoneyCheck : public Plugin1CCard {
protected:
    QString Triple(const QString& sum, const QDate& date, const QString& kurs)
    {
        return QString("%1\r\n%2\r\n%3\r\n").arg(sum, Text(date), kurs);
    }
    void SetFile(const QString& text)
    {
        file_ = text.toLatin1();
        SetMoney(1, file_.constData());
    }
    QString Question(const QString& sum, const QDate& date, const QString& kurs)
    {
        return QString("В 1С обнаружена сумма отсутствующая в сделке:\rСумма:\t%1\rДата:\t%2\rКурс:\t%3\rДобавить в сделку?")
            .arg(sum, Text(date), kurs);
    }
    QList<Currency> Paid(const char* column)
    {
        QList<Currency> r;
        fw::Query q;
        q.setDatabase(&db);
        q.setSql({QString("select o.%1 from Oplata o join Sales s on s.idSale = o.idSale where s.idSdelka = %2 "
                          "order by s.idSale, o.idOplata").arg(column).arg(deal)});
        q.open();
        for (; !q.eof(); q.next()) r << q.fieldByName(column).asCurrency();
        return r;
    }
    // The deal with its goods lines (planned sums and rate) and its invoice, on the card.
    void OpenInvoicedDeal(std::initializer_list<std::array<int, 3>> lines = {{300, 10, 30}})
    {
        for (const auto& [r, d, kurs] : lines) AddSale(tovar, r, d, kurs);
        SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
        Open();
    }
    Currency DealMoney(const char* column)
    {
        return StoredMoney(QString("select %1 from Sdelka where idSdelka = %2").arg(column).arg(deal));
    }

private:
    QByteArray file_;
};

TEST_F(MoneyCheck, RefusesWithoutGoodsInvoiceOrAnswer)
{
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    Open();
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Нет товаров в сделке!");
    AddSale(tovar, 300, 100, 3);
    SetMoney(0, nullptr);
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Не могу получить информацию о деньгах из 1С!");
    EXPECT_EQ(Calls(), QStringList({"MoneyDoc(СЧ-1|1|02.03.2026|)"}));

    SetFile("1\r\n02.03.2026\r\n3\r\n4\r\n");
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Количество возвращенных значений не кратно трем!");
    // An empty answer: nothing new.
    SetFile("");
    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();

    SetDeal("DateSchet = null");
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Для проверки денег в 1С нужны дата и номер счета!");
}

TEST_F(MoneyCheck, SpreadsANewSumOverTheLinesInOneGo)
{
    for (int i = 0; i < 3; ++i) AddSale(tovar, 1, 1, 1);
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    Open();
    Page(card->tsTovar);
    const QDate paidOn(2026, 3, 10);
    SetFile(Triple("100", paidOn, "2.5"));
    dialogs.expectConfirm(true, Question("100", paidOn, "2.5"));
    card->tbMoney1C->click();
    EXPECT_EQ(Paid("SUMMAR"), (QList<Currency>{Money("33.33"), Money("33.33"), Money("33.34")}));
    EXPECT_EQ(Paid("SUMMAD"), (QList<Currency>{Money("13.33"), Money("13.33"), Money("13.34")}));
    EXPECT_EQ(Paid("KURS"), (QList<Currency>{Money("2.5"), Money("2.5"), Money("2.5")}));
    EXPECT_EQ(Stored(QString("select count(*) from Oplata o join Sales s on s.idSale = o.idSale where s.idSdelka = %1 "
                             "and o.dateOpl = '10.03.2026' and o.idUser = %2 and o.access = '+'")
                         .arg(deal)
                         .arg(me.IdUser))
                  .asInt(),
              3);
    // The totals the database keeps agree with the payments.
    EXPECT_EQ(DealMoney("OPLATRF"), Money("100"));
    EXPECT_TRUE(card->SdelkaChanged);
    EXPECT_TRUE(dmKlSd->SalesLinked);

    // The same sum again is known; a kopeck more is new, and declining adds nothing.
    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();
    SetFile(Triple("100", paidOn, "2.5") + Triple("100.01", paidOn, "2.5"));
    dialogs.expectConfirm(false, Question("100.01", paidOn, "2.5"));
    card->tbMoney1C->click();
    EXPECT_EQ(Paid("SUMMAR").size(), 3);
}

TEST_F(MoneyCheck, ComparesWithWhatAnotherUserPaidAndSpreadsByPlan)
{
    const int small = AddSale(tovar, 1, 1, 1);
    db.execute(QString("update Sales set summarp = 0.5, summadp = 0.5 where idSale = %1").arg(small));
    const int big = AddSale(tovar, 1, 1, 1);
    db.execute(QString("update Sales set summarp = 99.5, summadp = 99.5 where idSale = %1").arg(big));
    AddSale(tovar, 0, 0, 0);   // no planned sum: no share
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    // Another user has already entered the payment of the 1st, at a time of day.
    db.execute(QString("insert into Oplata (idOplata, idSale, idUser, access, dateCr, dateOpl, summaD, summaR, kurs) "
                       "values (%1, %2, %3, '+', '01.03.2026', '01.03.2026 14:30', 20, 50, 2.5)")
                   .arg(db.executeProcedure("ID_OPLATA").asInt())
                   .arg(big)
                   .arg(colleague.IdUser));
    dmKlSd->qrySales.close();   // the planned sums as the database now has them
    Open();
    const QDate second(2026, 3, 2);
    SetFile(Triple("50", QDate(2026, 3, 1), "2.5") + Triple("200", second, "2"));
    dialogs.expectConfirm(true, Question("200", second, "2"));
    card->tbMoney1C->click();
    EXPECT_EQ(Paid("SUMMAR"), (QList<Currency>{Money("1"), Money("50"), Money("199")}));
    EXPECT_EQ(DealMoney("OPLATRF"), Money("250"));
    EXPECT_EQ(DealMoney("OPLATDF"), Money("120"));
}

TEST_F(MoneyCheck, RefusesWhatCannotBeSpread)
{
    AddSale(tovar, 0, 0, 0);
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    Open();
    SetFile(Triple("100", QDate(2026, 3, 10), "2.5"));
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }),
              "Плановая стоимость товаров сделки равна нулю: сумму разнести невозможно!");
    AddSale(tovar, 10, 10, 1);
    SetFile(Triple("100", QDate(2026, 3, 10), "2.5") + Triple("5", QDate(2026, 3, 11), "0"));
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Строка 6 файла MONEY1C.txt (\"0\") не является положительным числом!");
    EXPECT_TRUE(Paid("SUMMAR").isEmpty());
}

TEST_F(MoneyCheck, APartThatCannotBeWrittenTakesTheWholeSumBack)
{
    for (int i = 0; i < 3; ++i) AddSale(tovar, 1, 1, 1);
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    db.execute("create exception E_TEST_OPLATA 'refused by the test'");
    db.execute("create trigger T_TEST_OPLATA for Oplata before insert as begin "
               "if (new.summaR = 33.34) then exception E_TEST_OPLATA; end");
    Open();
    SetFile(Triple("100", QDate(2026, 3, 10), "2.5"));
    dialogs.expectConfirm(true);
    dialogs.expectError();
    card->tbMoney1C->click();
    db.execute("drop trigger T_TEST_OPLATA");
    db.execute("drop exception E_TEST_OPLATA");
    EXPECT_TRUE(Paid("SUMMAR").isEmpty());
    EXPECT_EQ(DealMoney("OPLATRF"), Currency());
    EXPECT_EQ(dmKlSd->qryOplata.state(), fw::DataSetState::Browse);
}

TEST_F(MoneyCheck, PaymentsOfOneDayAndRateAreEachAddedOnce)
{
    OpenInvoicedDeal();
    const QDate day(2026, 12, 10);
    SetFile(Triple("100", day, "30") + Triple("200", day, "30"));
    dialogs.expectConfirm(true, Question("100", day, "30")).expectConfirm(true, Question("200", day, "30"));
    card->tbMoney1C->click();
    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();
    // The invoice paid a third time that day: only that payment is new.
    SetFile(Triple("100", day, "30") + Triple("200", day, "30") + Triple("100", day, "30"));
    dialogs.expectConfirm(true, Question("100", day, "30"));
    card->tbMoney1C->click();
    EXPECT_EQ(DealMoney("OPLATRF"), Money("400"));
    EXPECT_EQ(dialogs.pending(), 0);
}

// A payment entered by hand in the payment dialog from the same document, the
// rate typed with the four decimals the document has, is that payment.
TEST_F(MoneyCheck, APaymentTypedFromTheDocumentIsRecognised)
{
    OpenInvoicedDeal({{600, 20, 30}, {400, 10, 40}});
    const QDate paidOn(2025, 12, 1);
    testing_support::whenShown<TfmSdOplata>([&](TfmSdOplata* d) {
        d->activateWindow();
        d->SetDateOpl(paidOn);
        d->ceKurs->setFocus();
        d->ceKurs->selectAll();
        QTest::keyClicks(d->ceKurs, "27,3456");
        d->ceVal1->SetValue(Money("1000.5"));
        d->ceVal2->SetValue(Money("36.59"));
        d->sbCheckAll->Click();
        d->accept();
        if (d->isVisible()) d->reject();
    });
    card->tbAddOplata->click();
    EXPECT_EQ(Paid("KURS"), (QList<Currency>{Money("27.35"), Money("27.35")}));
    EXPECT_EQ(DealMoney("OPLATRF"), Money("1000.5"));

    SetFile(Triple("1000.5", paidOn, "27.3456"));
    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();
    EXPECT_EQ(dialogs.pending(), 0);
}

TEST_F(MoneyCheck, ExchangeFilesOfEarlierCallsAreNeverTaken)
{
    AddSale(tovar, 300, 10, 30);
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026', NoNakl = 'Н-5', DateNakl = '05.03.2026'");
    Open();
    // Another invoice's payments, and a plug-in that answers true without a file.
    const QString money = QDir(exchange.path()).filePath(BR1C_MONEY_FILE);
    QFile stale(money);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(Triple("500", QDate(2026, 3, 3), "30").toLatin1());
    stale.close();
    SetMoney(1, nullptr);
    EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }), "Не могу получить информацию о деньгах из 1С!");
    EXPECT_FALSE(QFile::exists(money));
    EXPECT_TRUE(Paid("SUMMAR").isEmpty());

    // The document file of the last document is gone before a document is made from another.
    QFile doc(DocFile());
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.write("05.03.2026\r\n30\r\nАльфа\r\n");
    doc.close();
    SetNumber("СФ-1");
    card->sbSchetF1C->click();
    EXPECT_EQ(Calls().last(), "DocByDoc(Н-5|2|05.03.2026)");
    EXPECT_EQ(DocFileSeen(), "<missing>");
    EXPECT_EQ(DealText("NOSCHETF"), "СФ-1");
}

// A sum or rate the columns keep otherwise than the file says it is offered
// as it will be stored, beside the file's; one they keep as 0, or a negative
// one, is no payment.
TEST_F(MoneyCheck, WhatIsStoredIsShownBesideWhatTheFileSays)
{
    OpenInvoicedDeal();
    const QDate day(2026, 3, 10);
    SetFile(Triple("100", day, "0.006") + Triple("100.005", day, "2"));
    dialogs.expectConfirm(true, Question("100", day, "0.01 (в 1С: 0.006)"))
        .expectConfirm(true, Question("100 (в 1С: 100.005)", day, "2"));
    card->tbMoney1C->click();
    EXPECT_EQ(Paid("KURS"), (QList<Currency>{Money("0.01"), Money("2")}));
    EXPECT_EQ(Paid("SUMMAD"), (QList<Currency>{Money("10000"), Money("50")}));   // by the rate stored

    for (const auto& [file, line] : {std::pair{Triple("100", day, "0.004"), 3}, {Triple("-5", day, "2"), 1},
                                     {Triple("0.001", day, "2"), 1}, {Triple("100", day, "-27.5"), 3}}) {
        SetFile(file);
        const QString text = file.split("\r\n")[line - 1];
        EXPECT_EQ(refusal([&] { card->tbMoney1CClick(); }),
                  QString("Строка %1 файла MONEY1C.txt (\"%2\") не является положительным числом!").arg(line).arg(text));
    }
    EXPECT_EQ(Paid("SUMMAR").size(), 2);
}

// Numbers and dates of documents: a result that no document number can be is
// refused naming the entry point, and the deal keeps what it had.
TEST_F(Plugin1CCard, ADocumentNumberWithAControlCharacterIsRefused)
{
    AddSale(tovar, 300, 100, 3);
    SetDeal("NoNakl = 'Н-5', DateNakl = '05.03.2026'");
    Open();
    SetNumber("N\tX\x01Y");
    dialogs.expectError("Функция DocByDoc библиотеки libBRplus1C.so вернула номер документа \"N<09>X<01>Y\", в нём "
                        "управляющий символ U+0009.\rРезультат не принят.");
    card->sbSchetF1C->click();
    EXPECT_EQ(DealText("NOSCHETF"), "");
    SetDeal("NoNakl = null, DateNakl = null");
    SetNumber("   ");
    EXPECT_EQ(refusal([&] { card->sbSchet1CClick(); }),
              "Функция AddDoc библиотеки libBRplus1C.so вернула номер документа из одних пробелов.\rРезультат не принят.");
    EXPECT_EQ(DealText("NOSCHET"), "");
    EXPECT_EQ(dmKlSd->qrySdelka.state(), fw::DataSetState::Browse);

    // Every byte of the code page in a number: what is no character to show is
    // refused, anything else is a number.
    TPlugin1C& plugin = card->Load1CPlugin();
    for (int b = 1; b < 256; ++b) {
        const char number[] = {'N', char(b), '1', 0};
        Call<void (*)(const char*)>("br1cDoubleSetNumber")(number);
        const bool control = b < 0x20 || b == 0x7F || b == 0x98;   // 0x98 reads as U+0098, a control character
        try {
            const QString n = plugin.DocByDoc("Н-5", 2, "05.03.2026");
            EXPECT_FALSE(control) << b;
            EXPECT_EQ(fw::toCp1251(n), QByteArray(number)) << b;
        } catch (const fw::LibraryError& e) {
            EXPECT_TRUE(control) << b;
            EXPECT_TRUE(e.message().startsWith("Функция DocByDoc")) << b;
        }
    }
}

// The money rules against the database, embedded and on the server.
class MoneyRules : public testing_support::OnServerOrNot<MoneyCheck> {};

TEST_P(MoneyRules, APaymentAddedWithAFourDecimalRateIsNotOfferedAgain)
{
    OpenInvoicedDeal({{600, 20, 30}, {400, 10, 40}});
    const QDate paidOn(2025, 12, 1);
    SetFile(Triple("1000.5", paidOn, "27.3456"));
    dialogs.expectConfirm(true, Question("1000.5", paidOn, "27.35 (в 1С: 27.3456)"));
    card->tbMoney1C->click();
    EXPECT_EQ(Paid("KURS"), (QList<Currency>{Money("27.35"), Money("27.35")}));
    EXPECT_EQ(Paid("SUMMAR"), (QList<Currency>{Money("600.3"), Money("400.2")}));
    EXPECT_EQ(Paid("SUMMAD"), (QList<Currency>{Money("21.95"), Money("14.63")}));   // by the rate as stored

    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();
    // Beyond the kopeck the file's sum is the sum stored, too.
    SetFile(Triple("1000.504", paidOn, "27.35"));
    dialogs.expectInformation("Новых поступлений нет!");
    card->tbMoney1C->click();
    EXPECT_EQ(DealMoney("OPLATRF"), Money("1000.5"));
    EXPECT_EQ(dialogs.pending(), 0);
}

// Answers every question Yes and keeps what was shown.
class AnswerYes : public fw::Dialogs {
public:
    AnswerYes() : previous_(fw::setDialogs(this)) {}
    ~AnswerYes() override { fw::setDialogs(previous_); }
    QStringList questions, messages;
    void information(const QString& text, const QString& = {}) override { messages << text; }
    void warning(const QString& text, const QString& = {}) override { messages << text; }
    void error(const QString& text, const QString& = {}) override { messages << text; }
    bool confirm(const QString& text, const QString& = {}) override
    {
        questions << text;
        return true;
    }
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    QString inputBox(const QString&, const QString&, const QString& d) override { return d; }
    bool openFile(fw::FileDialog&) override { return false; }
    bool saveFile(fw::FileDialog&) override { return false; }
    bool pickItem(const QString&, const QStringList&, int&) override { return false; }

private:
    fw::Dialogs* previous_;
};

// Random payment files against a deal that may hold some of their payments
// already, entered by hand by another user (at a time of day, spread over the
// lines as he liked) or added by an earlier check. After a check answered Yes
// throughout, the deal holds per payment date and rate what the file holds, or
// what it held when that was more; a second check offers nothing.
TEST_P(MoneyRules, RandomFilesLeaveTheDealHoldingWhatTheFileHolds)
{
    std::mt19937 rng(20261210);
    const auto pick = [&](int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); };
    const auto number = [&](int maxWhole) {
        QString t = QString::number(pick(0, maxWhole));
        if (const int decimals = pick(0, 4)) {
            t += '.';
            for (int i = 0; i < decimals; ++i) t += QChar('0' + pick(0, 9));
        }
        return t;
    };
    QList<int> sales;
    for (int i = 0; i < 3; ++i) sales << AddSale(tovar, pick(1, 5000), pick(1, 100), 30);
    AddSale(tovar, 0, 0, 0);   // no share
    SetDeal("NoSchet = 'СЧ-1', DateSchet = '02.03.2026'");
    Open();
    const QList<QDate> days{{2026, 3, 10}, {2026, 3, 11}, {2026, 4, 1}};
    using Key = std::pair<QDate, Currency>;
    const auto held = [&] {
        QMap<Key, Currency> h;
        fw::Query q;
        q.setDatabase(&db);
        q.setSql({QString("select o.DateOpl, o.Kurs, o.SummaR from Oplata o join Sales s on s.idSale = o.idSale "
                          "where s.idSdelka = %1").arg(deal)});
        q.open();
        for (; !q.eof(); q.next())
            h[{q.field(0).asDateTime().date(), q.field(1).asCurrency()}] += q.field(2).asCurrency();
        return h;
    };
    const auto check = [&](const QString& file, QStringList* questions = nullptr) {
        SetFile(file);
        AnswerYes yes;
        try {
            card->tbMoney1CClick();
        } catch (const fw::Error& e) {
            ADD_FAILURE() << e.message().toStdString() << "\n" << file.toStdString();
        }
        if (questions) *questions = yes.questions;
        return yes.messages;
    };

    for (int run = 0; run < 150; ++run) {
        db.execute(QString("delete from Oplata where idSale in (select idSale from Sales where idSdelka = %1)").arg(deal));
        struct Payment {
            QString sum, kurs;
            QDate day;
        };
        QList<Payment> file;
        QStringList rates;
        const int n = pick(1, 6);
        while (file.size() < n) {
            if (!file.isEmpty() && pick(0, 3) == 0) {   // the same payment once more
                file << file[pick(0, int(file.size()) - 1)];
                continue;
            }
            if (rates.isEmpty() || pick(0, 2) == 0) rates << number(60);
            const Payment p{number(99999), rates[pick(0, int(rates.size()) - 1)], days[pick(0, 2)]};
            if (fw::Currency::parse(p.sum, 2) > Currency() && fw::Currency::parse(p.kurs, 2) > Currency()) file << p;
        }
        const auto text = [&](qsizetype count) {
            QString t;
            for (qsizetype i = 0; i < count; ++i) t += Triple(file[i].sum, file[i].day, file[i].kurs);
            return t;
        };
        const auto key = [](const Payment& p) { return Key{p.day, *fw::Currency::parse(p.kurs, 2)}; };

        // What the deal holds before: some of the payments by hand, some by an earlier check.
        if (pick(0, 2) == 0) check(text(pick(1, int(file.size()))));
        for (const Payment& p : file) {
            if (pick(0, 2) != 0) continue;
            const Currency sum = *fw::Currency::parse(p.sum, 2);
            const Currency first = pick(0, 1) ? sum : Currency::fromScaled(sum.scaled() / 200 * 100);
            for (const Currency part : {first, sum - first}) {
                if (part.isZero()) continue;
                db.execute("insert into Oplata (idOplata, idSale, idUser, access, dateCr, dateOpl, summaD, summaR, kurs) "
                           "values (:id, :sale, :user, '+', :day, :at, 1, :sum, :kurs)",
                           {{"id", db.executeProcedure("ID_OPLATA")}, {"sale", sales[pick(0, 2)]},
                            {"user", colleague.IdUser}, {"day", QDateTime(p.day, QTime(0, 0))},
                            {"at", QDateTime(p.day, QTime(pick(0, 23), pick(0, 59)))}, {"sum", part},
                            {"kurs", key(p).second}});
            }
        }
        if (pick(0, 4) == 0) {   // a payment the file does not have, of one of its days and rates
            const Payment& p = file[pick(0, int(file.size()) - 1)];
            db.execute("insert into Oplata (idOplata, idSale, idUser, access, dateCr, dateOpl, summaD, summaR, kurs) "
                       "values (:id, :sale, :user, '+', :day, :day, 1, :sum, :kurs)",
                       {{"id", db.executeProcedure("ID_OPLATA")}, {"sale", sales[0]}, {"user", colleague.IdUser},
                        {"day", QDateTime(p.day, QTime(0, 0))}, {"sum", *fw::Currency::parse(number(500), 2)},
                        {"kurs", key(p).second}});
        }

        QMap<Key, Currency> expected = held(), inFile;
        for (const Payment& p : file) inFile[key(p)] += *fw::Currency::parse(p.sum, 2);
        for (auto g = inFile.cbegin(); g != inFile.cend(); ++g) expected[g.key()] = std::max(expected[g.key()], g.value());

        check(text(file.size()));
        const QMap<Key, Currency> after = held();
        EXPECT_EQ(after.keys(), expected.keys()) << text(file.size()).toStdString();
        for (auto g = expected.cbegin(); g != expected.cend(); ++g)
            EXPECT_EQ(after.value(g.key()), g.value())
                << g.key().first.toString("dd.MM.yyyy").toStdString() << " " << g.key().second.toString(2).toStdString()
                << "\n" << text(file.size()).toStdString();

        QStringList questions;
        EXPECT_EQ(check(text(file.size()), &questions), QStringList{"Новых поступлений нет!"});
        EXPECT_TRUE(questions.isEmpty()) << questions.join("\n").toStdString();
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Embedded, MoneyRules, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(OnServer, MoneyRules, testing::Values(true));

} // namespace
