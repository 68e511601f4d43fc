#pragma once

#include "db/Currency.h"
#include "deals/BRplus1C.h"
#include "os/Library.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <utility>

// The link to the accounting plug-in: its library, the two exchange files and
// the money arithmetic they need. No widget and no database here.

// Where the plug-in library is looked for; empty: the program's folder.
extern QString Plugin1CDir;

// The money value in its shortest form with a full stop ("1", "2.5").
QString CurrToStrDot(fw::Currency value);
// A number with a full stop as its decimal point and at most the four decimals
// money holds, rounded half to even at `decimals` the way the number edits
// round what is typed; throws fw::ConvertError.
fw::Currency StrToCurrDot(const QString& text, int decimals = 4);
// Rounded to whole kopecks, half to even.
fw::Currency RoundToKop(fw::Currency value);

// The folder both sides know: $TMPDIR when set and not empty, else /tmp.
QString Exchange1CDir();
QString Doc1CFileName();     // the document file, written by the program
QString Money1CFileName();   // the payment file, written by the plug-in
// Removes an exchange file before the plug-in is called, so that a file left
// by an earlier call is never taken for its answer; throws fw::FileError when
// the file stays.
void RemoveExchangeFile(const QString& fileName);

// One goods line of the document file.
struct TDoc1CLine {
    QString Tovar;
    fw::Currency Kolvo;
    fw::Currency SummaRP;
};

// The document file: date, rate, company, then three lines per goods line;
// code page 1251, CR LF. Throws fw::EncodingError for text the code page cannot hold.
QByteArray Doc1CText(const QString& date, fw::Currency kurs, const QString& company,
                     const QList<TDoc1CLine>& lines);
// Creates or overwrites the file; throws fw::FileError.
void WriteDoc1CFile(const QString& fileName, const QByteArray& text);

// One received payment of the payment file.
struct TMoney1C {
    int Line = 0;              // its first line in the file, from 1
    QString SumText, DateText, KursText;
    fw::Currency Summa;        // as the payment column keeps it
    QDate Date;
    fw::Currency Kurs;         // as the rate column keeps it
    bool SummaExact = true;    // kept as the file says it
    bool KursExact = true;
};

// The triples of the payment file; throws fw::UserError naming a line that is
// not a number above zero or not a date, or a line count not a multiple of
// three. Trailing empty lines are not counted. Sums and rates are taken as the
// columns they go to keep them, rounded half to even to sumDecimals and
// kursDecimals (a sum or rate that is 0 there is refused too); the texts stay
// as read.
QList<TMoney1C> ParseMoney1C(const QByteArray& data, int sumDecimals = 4, int kursDecimals = 4);
QList<TMoney1C> ReadMoney1CFile(const QString& fileName, int sumDecimals = 4, int kursDecimals = 4);   // also fw::FileError

// A payment date and rate, the key the deal's payments are compared by.
using TMoney1CKey = std::pair<QDate, fw::Currency>;

// What the deal lacks of each received payment, given what the deal holds per
// date and rate; 0 for a payment the deal has. Per date and rate the deal's
// sum is matched against the file's payments of that date and rate: the
// payments that make it up exactly (the earliest in the file, when several
// would) count as held, and the others are missing whole. When no set of them
// makes it up (a payment entered by hand with another sum), the sum held
// covers the payments in file order and the first one it does not cover is
// missing only in part. Whatever the answers to the offers, the deal never
// holds more of a date and rate than the file, and after all of them exactly
// as much, unless it held more already.
QList<fw::Currency> Money1CMissing(const QList<TMoney1C>& received, const QMap<TMoney1CKey, fw::Currency>& held);

// The question offering a received payment; what will be stored stands beside
// what the file says wherever the two differ.
QString Money1CQuestion(const TMoney1C& m, fw::Currency offered);

// The sum spread over lines in proportion to their planned sums: each part
// rounded to four decimals and then to kopecks, the last line takes what
// makes the parts add up to the sum. Throws fw::UserError when the planned
// sums total zero.
QList<fw::Currency> Spread1CSum(fw::Currency sum, const QList<fw::Currency>& planned);

// The plug-in library with its four entry points.
class TPlugin1C {
public:
    // False when the library cannot be loaded; throws fw::LibraryError naming
    // an entry point the library lacks (and stays unloaded then).
    bool Load(const QString& fileName);
    bool isLoaded() const { return lib_.isLoaded(); }

    // A result longer than the header allows is refused with fw::LibraryError.
    QString AddDoc(int kind);
    void OpenDocWindow(const QString& number, int kind, const QString& date);
    QString DocByDoc(const QString& number, int kind, const QString& date);
    bool MoneyDoc(const QString& number, int kind, const QString& date, const QString& reserved);

private:
    fw::Library lib_;
    BR1C_AddDoc addDoc_ = nullptr;
    BR1C_OpenDocWindow openDocWindow_ = nullptr;
    BR1C_DocByDoc docByDoc_ = nullptr;
    BR1C_MoneyDoc moneyDoc_ = nullptr;
};
