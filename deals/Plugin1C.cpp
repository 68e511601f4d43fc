#include "deals/Plugin1C.h"

#include "db/DbError.h"
#include "db/CodePage.h"
#include "os/OsError.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

QString Plugin1CDir;

QString CurrToStrDot(fw::Currency value)
{
    return value.toShortString();
}

fw::Currency StrToCurrDot(const QString& text, int decimals)
{
    // Only digits with one full stop: the plug-in's numbers never carry
    // thousands separators, and a comma would be read differently by each side.
    // More decimals than money holds would be rounded away unseen: 0.00004 is no rate of 0.
    const QString s = text.trimmed();
    bool shape = !s.isEmpty();
    int points = 0, digits = 0, decimalCount = 0;
    for (int i = 0; i < s.size() && shape; ++i) {
        const QChar c = s[i];
        if (c == '.') ++points;
        else if (c >= '0' && c <= '9') {
            ++digits;
            if (points) ++decimalCount;
        } else if (!(i == 0 && (c == '-' || c == '+'))) shape = false;
    }
    if (shape && points <= 1 && digits > 0 && decimalCount <= 4)
        if (const auto v = fw::Currency::parse(s, decimals)) return *v;
    throw fw::ConvertError(QString("\"%1\" не является числом").arg(text));
}

fw::Currency RoundToKop(fw::Currency value)
{
    return value.rounded(2);
}

QString Exchange1CDir()
{
    const QString dir = qEnvironmentVariable("TMPDIR");
    return dir.isEmpty() ? QStringLiteral("/tmp") : dir;
}

QString Doc1CFileName()
{
    return QDir(Exchange1CDir()).filePath(BR1C_DOC_FILE);
}

QString Money1CFileName()
{
    return QDir(Exchange1CDir()).filePath(BR1C_MONEY_FILE);
}

void RemoveExchangeFile(const QString& fileName)
{
    QFile f(fileName);
    if (!f.exists() || f.remove()) return;
    throw fw::FileError(QString("Не могу удалить файл обмена с 1С %1: %2")
                            .arg(QDir::toNativeSeparators(fileName), f.errorString()));
}

namespace {

// Exactly "dd.mm.yyyy": two, two and four digits. Qt alone would also take a
// year such as "-2024".
QDate dateDot(const QString& text)
{
    const QString s = text.trimmed();
    if (s.size() != 10 || s[2] != '.' || s[5] != '.') return {};
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (s[i] < '0' || s[i] > '9') return {};
    return QDate(s.mid(6, 4).toInt(), s.mid(3, 2).toInt(), s.left(2).toInt());
}

// One line of the document file: line breaks inside a value would shift every
// line after it, so they become blanks.
QByteArray docLine(const QString& value, const char* what)
{
    QString s = value;
    for (QChar& c : s)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    try {
        return fw::toCp1251(s) + "\r\n";
    } catch (const fw::EncodingError& e) {
        throw fw::EncodingError(QString("%1 \"%2\": %3").arg(what, value, e.message()), e.codePoint());
    }
}

} // namespace

QByteArray Doc1CText(const QString& date, fw::Currency kurs, const QString& company, const QList<TDoc1CLine>& lines)
{
    QByteArray text = docLine(date, "Дата") + docLine(CurrToStrDot(kurs), "Курс") + docLine(company, "Компания");
    for (const TDoc1CLine& l : lines)
        text += docLine(l.Tovar, "Товар") + docLine(CurrToStrDot(l.Kolvo), "Количество")
            + docLine(CurrToStrDot(l.SummaRP), "Сумма");
    return text;
}

void WriteDoc1CFile(const QString& fileName, const QByteArray& text)
{
    QSaveFile f(fileName);
    f.setDirectWriteFallback(true);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit())
        throw fw::FileError(QString("Ошибка записи файла %1: %2").arg(QDir::toNativeSeparators(fileName), f.errorString()));
}

QList<TMoney1C> ParseMoney1C(const QByteArray& data, int sumDecimals, int kursDecimals)
{
    QStringList lines = fw::fromCp1251(data).split('\n');
    for (QString& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
    if (lines.size() % 3 != 0) throw fw::UserError("Количество возвращенных значений не кратно трем!");

    const auto where = [](int line, const QString& text) {
        return QString("Строка %1 файла %2 (\"%3\")").arg(line).arg(BR1C_MONEY_FILE, text);
    };
    // A sum or a rate is a number above zero as its column keeps it: a rate
    // of 0.004 kept at kopecks would be 0, and nothing can be divided by it.
    const auto number = [&](int i, int decimals, bool& exact) {
        try {
            const fw::Currency kept = StrToCurrDot(lines[i], decimals);
            if (kept > fw::Currency()) {
                exact = kept == StrToCurrDot(lines[i]);
                return kept;
            }
        } catch (const fw::ConvertError&) {
        }
        throw fw::UserError(where(i + 1, lines[i]) + " не является положительным числом!");
    };
    QList<TMoney1C> result;
    for (int i = 0; i < lines.size(); i += 3) {
        TMoney1C m;
        m.Line = i + 1;
        m.SumText = lines[i];
        m.DateText = lines[i + 1];
        m.KursText = lines[i + 2];
        m.Summa = number(i, sumDecimals, m.SummaExact);
        m.Date = dateDot(m.DateText);
        if (!m.Date.isValid()) throw fw::UserError(where(i + 2, m.DateText) + " не является датой!");
        m.Kurs = number(i + 2, kursDecimals, m.KursExact);
        result << m;
    }
    return result;
}

QList<TMoney1C> ReadMoney1CFile(const QString& fileName, int sumDecimals, int kursDecimals)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        throw fw::FileError(QString("Ошибка чтения файла %1: %2").arg(QDir::toNativeSeparators(fileName), f.errorString()));
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw fw::FileError(QString("Ошибка чтения файла %1: %2").arg(QDir::toNativeSeparators(fileName), f.errorString()));
    return ParseMoney1C(data, sumDecimals, kursDecimals);
}

QList<fw::Currency> Spread1CSum(fw::Currency sum, const QList<fw::Currency>& planned)
{
    fw::Currency total;
    for (fw::Currency p : planned) total += p;
    if (planned.isEmpty() || total.isZero())
        throw fw::UserError("Плановая стоимость товаров сделки равна нулю: сумму разнести невозможно!");
    QList<fw::Currency> parts;
    fw::Currency running;
    for (int i = 0; i < planned.size(); ++i) {
        // One rounding of the exact quotient to four decimals, then to kopecks.
        const __int128 n = __int128(sum.scaled()) * planned[i].scaled();
        fw::Currency part = RoundToKop(fw::Currency::fromScaled(fw::divideHalfEven(n, total.scaled())));
        if (i == planned.size() - 1) part = sum - running;
        running += part;
        parts << part;
    }
    return parts;
}

namespace {

// The payments of one date and rate (sums above zero) that make up exactly
// `held`, preferring the earliest; empty when none do or the search grows too
// long. Bit i of the result: payment i is held.
std::optional<std::vector<bool>> heldExactly(const std::vector<int64_t>& sums, int64_t held)
{
    const size_t n = sums.size();
    std::vector<int64_t> rest(n + 1, 0);   // what the payments from i on add up to
    for (size_t i = n; i-- > 0;) rest[i] = rest[i + 1] + sums[i];
    std::vector<bool> taken(n, false);
    long budget = 200000;
    std::function<bool(size_t, int64_t)> search = [&](size_t i, int64_t left) {
        if (left == 0) return true;
        if (i == n || left > rest[i] || --budget < 0) return false;
        if (sums[i] <= left) {
            taken[i] = true;
            if (search(i + 1, left - sums[i])) return true;
            taken[i] = false;
        }
        return search(i + 1, left);
    };
    if (search(0, held)) return taken;
    return std::nullopt;
}

} // namespace

QList<fw::Currency> Money1CMissing(const QList<TMoney1C>& received, const QMap<TMoney1CKey, fw::Currency>& held)
{
    QList<fw::Currency> missing(received.size());
    QMap<TMoney1CKey, QList<int>> groups;
    for (int i = 0; i < received.size(); ++i) groups[{received[i].Date, received[i].Kurs}] << i;
    for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
        const QList<int>& lines = g.value();
        const fw::Currency have = held.value(g.key());
        fw::Currency total;
        std::vector<int64_t> sums;
        for (int i : lines) {
            total += received[i].Summa;
            sums.push_back(received[i].Summa.scaled());
        }
        if (have >= total) continue;
        if (const auto taken = heldExactly(sums, have.scaled())) {
            for (size_t k = 0; k < sums.size(); ++k)
                if (!(*taken)[k]) missing[lines[int(k)]] = received[lines[int(k)]].Summa;
            continue;
        }
        fw::Currency cover = have;
        for (int i : lines) {
            const fw::Currency s = received[i].Summa;
            if (cover >= s) {
                cover -= s;
                continue;
            }
            missing[i] = s - cover;
            cover = fw::Currency();
        }
    }
    return missing;
}

QString Money1CQuestion(const TMoney1C& m, fw::Currency offered)
{
    const auto shown = [](fw::Currency stored, bool exact, const QString& text) {
        return exact ? text : QString("%1 (в 1С: %2)").arg(CurrToStrDot(stored), text);
    };
    return "В 1С обнаружена сумма отсутствующая в сделке:\r"
        + QString("%1\t%2\r").arg("Сумма:", shown(offered, m.SummaExact && offered == m.Summa, m.SumText))
        + QString("%1\t%2\r").arg("Дата:", m.DateText)
        + QString("%1\t%2\r").arg("Курс:", shown(m.Kurs, m.KursExact, m.KursText)) + "Добавить в сделку?";
}

// --- the library

namespace {

QByteArray argument(const QString& text)
{
    const QByteArray bytes = fw::toCp1251(text);
    if (bytes.size() > BR1C_MAX_TEXT)
        throw fw::UserError(QString("Строка \"%1\" длиннее %2 знаков").arg(text).arg(BR1C_MAX_TEXT));
    return bytes;
}

// The plug-in is given its BR1C_BUFFER_SIZE bytes, filled with NULs, and a
// large guard behind them that it must leave alone: a plug-in that writes
// more than it may is caught here instead of overwriting the program.
class ResultBuffer {
public:
    ResultBuffer() : bytes_(BR1C_BUFFER_SIZE + GuardSize, Guard)
    {
        std::memset(bytes_.data(), 0, BR1C_BUFFER_SIZE);
    }
    char* data() { return bytes_.data(); }

    // The document number written, trimmed; empty when nothing was written.
    // Throws fw::LibraryError naming the entry point when the plug-in broke the
    // length contract or wrote what no document number can be: a control
    // character (a TAB, too, would break every list the number goes into; 0x98
    // is one) or blanks alone.
    QString text(const char* entryPoint) const
    {
        const char* begin = bytes_.data();
        const void* nul = std::memchr(begin, 0, BR1C_BUFFER_SIZE);
        const bool guardKept = std::all_of(bytes_.begin() + BR1C_BUFFER_SIZE, bytes_.end(),
                                           [](char c) { return c == Guard; });
        const QString refused = QString("Функция %1 библиотеки %2 ").arg(QString::fromLatin1(entryPoint), BR1C_LIBRARY);
        if (!nul || !guardKept)
            throw fw::LibraryError(refused + QString("записала в результат больше %1 знаков.\rРезультат не принят.")
                                                 .arg(BR1C_MAX_TEXT));
        const int size = int(static_cast<const char*>(nul) - begin);
        const QString raw = fw::fromCp1251(QByteArray(begin, size));
        QString shown;   // the number with what cannot be shown as its code
        QString bad;
        for (QChar c : raw) {
            const char16_t u = c.unicode();
            if (u >= 0x20 && !fw::cp1251::isControl(u)) {
                shown += c;
                continue;
            }
            shown += QString("<%1>").arg(uint(u), 2, 16, QChar('0')).toUpper();
            if (bad.isEmpty()) bad = fw::cp1251::describe(u);
        }
        if (!bad.isEmpty())
            throw fw::LibraryError(refused + QString("вернула номер документа \"%1\", в нём %2.\rРезультат не принят.")
                                                 .arg(shown, bad));
        const QString number = raw.trimmed();
        if (number.isEmpty() && !raw.isEmpty())
            throw fw::LibraryError(refused + "вернула номер документа из одних пробелов.\rРезультат не принят.");
        return number;
    }

private:
    static constexpr int GuardSize = 64 * 1024;
    static constexpr char Guard = char(0xA5);
    std::vector<char> bytes_;
};

} // namespace

bool TPlugin1C::Load(const QString& fileName)
{
    try {
        lib_.load(fileName);
    } catch (const fw::LibraryError&) {
        return false;
    }
    // Every entry point is looked up before any is called: a library that
    // lacks one is refused as a whole.
    try {
        addDoc_ = lib_.resolve<BR1C_AddDoc>("AddDoc");
        openDocWindow_ = lib_.resolve<BR1C_OpenDocWindow>("OpenDocWindow");
        docByDoc_ = lib_.resolve<BR1C_DocByDoc>("DocByDoc");
        moneyDoc_ = lib_.resolve<BR1C_MoneyDoc>("MoneyDoc");
    } catch (...) {
        lib_.unload();
        throw;
    }
    return true;
}

QString TPlugin1C::AddDoc(int kind)
{
    ResultBuffer buffer;
    addDoc_(kind, buffer.data());
    return buffer.text("AddDoc");
}

void TPlugin1C::OpenDocWindow(const QString& number, int kind, const QString& date)
{
    openDocWindow_(argument(number).constData(), kind, argument(date).constData());
}

QString TPlugin1C::DocByDoc(const QString& number, int kind, const QString& date)
{
    const QByteArray n = argument(number), d = argument(date);
    ResultBuffer buffer;
    docByDoc_(n.constData(), kind, d.constData(), buffer.data());
    return buffer.text("DocByDoc");
}

bool TPlugin1C::MoneyDoc(const QString& number, int kind, const QString& date, const QString& reserved)
{
    const QByteArray n = argument(number), d = argument(date), r = argument(reserved);
    return moneyDoc_(n.constData(), kind, d.constData(), r.constData()) != 0;
}
