// Rows of a data set are kept packed: every value must read back as the value
// that went in, type included. CTest runs this once more under a zone with
// clock changes (TZ), with the local-time tests.
#include "db/PackedRow.h"

#include <QTimeZone>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using fw::Currency;
using fw::PackedRow;
using fw::RowPacker;
using fw::Value;

namespace {

void expectSame(const Value& in, const Value& out)
{
    ASSERT_EQ(in.type(), out.type());
    EXPECT_TRUE(in == out);
    if (in.type() == Value::Type::Text) {
        EXPECT_EQ(in.asString(), out.asString());
        EXPECT_EQ(in.asString().isNull(), out.asString().isNull());
    }
    if (in.type() == Value::Type::Bytes) {
        EXPECT_EQ(in.asBytes(), out.asBytes());
    }
    if (in.type() == Value::Type::DateTime) {
        EXPECT_EQ(in.asDateTime().toMSecsSinceEpoch(), out.asDateTime().toMSecsSinceEpoch());
        EXPECT_EQ(in.asDateTime().timeSpec(), out.asDateTime().timeSpec());
        EXPECT_EQ(in.asDateTime().offsetFromUtc(), out.asDateTime().offsetFromUtc());
    }
}

void expectRoundTrip(const std::vector<Value>& values)
{
    const PackedRow row = PackedRow::fromValues(values);
    ASSERT_EQ(row.width(), int(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(i) + ": " + values[i].asString().left(40).toStdString());
        expectSame(values[i], row.value(int(i)));
        EXPECT_EQ(row.isNull(int(i)), values[i].isNull());
    }
    EXPECT_TRUE(row.value(int(values.size())).isNull());
    EXPECT_TRUE(row.value(-1).isNull());
}

QString longText()
{
    QString s;
    for (int i = 0; i < 20000; ++i) s += i % 3 ? QStringLiteral("Длинный ") : QStringLiteral("text ");
    return s;
}

} // namespace

TEST(PackedRow, TextsNumbersAndBytesReadBackWithTheirTypes)
{
    const QByteArray bytes("\x00\xff\x01 tail", 8);
    expectRoundTrip({
        Value(), Value(QString()), Value(""), Value(" padded "), Value("Company 1"),
        Value(QStringLiteral("ООО «Ёлка» №5 — «тест» €")),
        // outside code page 1251: kept as UTF-16, whatever else the text holds
        Value(QStringLiteral("Müller & 日本 Ёж")), Value(QString::fromUtf8("\xF0\x9F\x98\x80 emoji")),
        Value(QString(QChar(0x0098))), Value(QString(3, QChar(0))),
        Value(longText()), Value::bytes(bytes), Value::bytes(QByteArray()),
        Value(0), Value(std::numeric_limits<long long>::min()), Value(std::numeric_limits<long long>::max()),
        Value(Currency::fromScaled(Currency::MaxScaled)), Value(Currency::fromScaled(-Currency::MaxScaled)),
        Value(Currency::fromScaled(1)), Value(Currency()),
        Value(0.1), Value(-0.0), Value(1e308), Value(-4.9e-324),
    });
    const PackedRow nan = PackedRow::fromValues({Value(std::nan(""))});
    EXPECT_TRUE(std::isnan(nan.value(0).asDouble()));
    EXPECT_EQ(std::signbit(PackedRow::fromValues({Value(-0.0)}).value(0).asDouble()), true);
}

TEST(PackedRow, DatesKeepTheirInstantAndZone)
{
    const QDate day(2026, 3, 29);
    std::vector<Value> values = {
        Value::localTime(QDate(2024, 2, 29), 0), Value::localTime(day, 86399999),
        Value(QDateTime(QDate(1899, 12, 30), QTime(13, 45, 1, 7))), Value(QDate(1850, 6, 1)),
        Value(QDateTime(day, QTime(1, 30), Qt::UTC)),
        Value(QDateTime(day, QTime(1, 30), Qt::OffsetFromUTC, 3 * 3600)),
        Value(QDateTime(day, QTime(1, 30), QTimeZone("Asia/Tokyo"))),
    };
    // The second pass of an hour the clock repeats: its wall clock alone names the first.
    const QDateTime autumn(QDate(2026, 10, 25), QTime(0, 30));
    values.push_back(Value(autumn.addSecs(3 * 3600)));
    values.push_back(Value(autumn.addSecs(2 * 3600)));
    expectRoundTrip(values);

    // A time the clock skips is no time at all: NULL, as the database reader makes it.
    for (int m = 0; m < 24 * 60; m += 30) {
        const Value v = Value::localTime(day, m * 60000);
        const PackedRow row = PackedRow::fromValues({v});
        EXPECT_EQ(row.isNull(0), !QDateTime(day, QTime(0, 0).addSecs(m * 60)).isValid());
        expectSame(v, row.value(0));
    }
}

// Texts of other character sets (the engine's names, UTF-8 columns) keep every character.
TEST(PackedRow, TextsOfAnyCharacterSetReadBackExactly)
{
    const QList<QByteArray> texts = {
        "", "plain", "\xD0\x81\xD0\xB6 \xE2\x84\x96 \xE2\x82\xAC",   // Ёж № €
        "caf\xC3\xA9",                                            // é: not in the code page
        "\xE6\x97\xA5\xE6\x9C\xAC",                               // 日本
        "\xF0\x9F\x98\x80",                                       // four bytes
        "bad \xC0\xAF overlong", "\xE0\x80\x80\xD0", "cut \xD0", "\xED\xA0\x80 surrogate", "\x80\xBF lone",
        QByteArray("nul\0in", 6),
    };
    RowPacker packer;
    for (const QByteArray& t : texts) packer.addText(QString::fromUtf8(t));
    packer.addNull();
    const PackedRow row = packer.take();
    ASSERT_EQ(row.width(), texts.size() + 1);
    for (int i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i].toHex().toStdString());
        EXPECT_EQ(row.value(i).type(), Value::Type::Text);
        EXPECT_EQ(row.value(i).asString(), QString::fromUtf8(texts[i]));
    }
    EXPECT_TRUE(row.isNull(texts.size()));

    // The packer starts afresh after take().
    packer.addInt(7);
    const PackedRow next = packer.take();
    EXPECT_EQ(next.width(), 1);
    EXPECT_EQ(next.value(0).asInt(), 7);
}

TEST(PackedRow, AnEmptyOrMovedFromRowReadsAsNull)
{
    PackedRow a = PackedRow::fromValues({Value("x"), Value(2)});
    PackedRow b = std::move(a);
    EXPECT_EQ(a.width(), 0);   // NOLINT(bugprone-use-after-move): a moved-from row is empty
    EXPECT_TRUE(a.value(0).isNull());
    EXPECT_EQ(b.value(0).asString(), "x");
    b = PackedRow::fromValues({});
    EXPECT_EQ(b.width(), 0);
    EXPECT_TRUE(b.isNull(0));
}

TEST(PackedRow, NumbersAtEveryWidthAndCodePageBytesAtEveryOffset)
{
    // Each whole number is kept in as few bytes as sign-extend back to it: the
    // edges of every width, both signs.
    std::vector<long long> edges{std::numeric_limits<long long>::min() + 1};
    for (int bits = 0; bits < 63; ++bits) {
        const long long edge = 1LL << bits;
        edges.insert(edges.end(), {edge - 1, edge, -edge, -edge - 1});
    }
    std::vector<Value> numbers(edges.size());
    for (size_t i = 0; i < edges.size(); ++i) numbers[i] = Value(edges[i]);
    expectRoundTrip(numbers);   // over a hundred columns and some hundred bytes in one row

    // Bytes of code page 1251 go in as they are and read as their characters,
    // whether the byte that is not ASCII comes early, late or not at all.
    RowPacker packer;
    QStringList expected;
    for (int length = 0; length <= 17; ++length)
        for (int high = -1; high < length; ++high) {
            QByteArray bytes(length, 'a');
            if (high >= 0) bytes[high] = char(0xC0 + high);   // А, Б, В...
            packer.addCp1251(bytes.constData(), int(bytes.size()));
            QString s(length, QChar('a'));
            if (high >= 0) s[high] = QChar(0x0410 + high);
            expected << s;
        }
    QByteArray all;
    for (int b = 1; b < 256; ++b) all += char(b);
    packer.addCp1251(all.constData(), int(all.size()));
    const PackedRow row = packer.take();
    ASSERT_EQ(row.width(), expected.size() + 1);
    for (int i = 0; i < expected.size(); ++i) EXPECT_EQ(row.value(i).asString(), expected[i]) << i;
    const QString every = row.value(int(expected.size())).asString();
    ASSERT_EQ(every.size(), 255);
    EXPECT_EQ(every.mid(0xC0 - 1, 3), QStringLiteral("АБВ"));
    EXPECT_EQ(every.at(0xA8 - 1), QChar(0x0401));   // Ё
    EXPECT_EQ(every.at(0xB9 - 1), QChar(0x2116));   // №
    EXPECT_EQ(every.at(0x98 - 1), QChar(0x0098));   // unused in the code page, still some character
    EXPECT_EQ(every.left(0x7F), QString::fromLatin1(all.left(0x7F)));
}

// Rows packed straight into an arena: random rows of every kind of value,
// NULLs and texts long enough to run over a chunk's end among them, all read
// back equal once the last is packed, as do the same rows packed one block each.
TEST(PackedRow, RandomRowsInAnArenaReadBackAfterTheLast)
{
    std::mt19937 rng(34);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const QString letters = QStringLiteral("abcXYZ Ёжикщ№«»—0123456789");
    auto text = [&](int length) {
        QString s;
        for (int i = 0; i < length; ++i) s += letters[pick(int(letters.size()))];
        return s;
    };
    auto value = [&]() -> Value {
        switch (pick(12)) {
        case 0: return {};
        case 1: return Value(static_cast<long long>(rng()) * (pick(2) ? 1 : -1) << pick(31));
        case 2: return Value(double(int(rng())) / 7);
        case 3: return Value(Currency::fromScaled(static_cast<long long>(rng()) - (1LL << 31)));
        case 4: return Value(text(pick(40)));
        case 5: return Value(text(pick(3) ? pick(300) : 10000 + pick(30000)));   // up to twice the first chunk
        case 6: return Value(QStringLiteral("日本 ") + text(pick(20)));
        case 7: return Value(QString());
        case 8: return Value::localTime(QDate(2000, 1, 1).addDays(pick(10000)), pick(2) ? 0 : pick(86400000));
        case 9: return Value(QDateTime(QDate(2024, 1, 1).addDays(pick(700)), QTime(pick(24), pick(60)), Qt::UTC));
        case 10: return Value::bytes(text(pick(50)).toUtf8());
        default: return Value(pick(1000));
        }
    };
    fw::RowArena arena;
    RowPacker packer(&arena);
    std::vector<std::vector<Value>> expected;
    std::vector<PackedRow> rows;
    for (int r = 0; r < 3000; ++r) {
        std::vector<Value> values(size_t(pick(30)));
        for (Value& v : values) v = value();
        for (const Value& v : values) packer.add(v);
        rows.push_back(packer.take());
        expected.push_back(std::move(values));
    }
    EXPECT_GT(arena.size(), size_t(4) << 20);   // many chunks, the largest ones among them
    for (size_t r = 0; r < rows.size(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        const PackedRow alone = PackedRow::fromValues(expected[r]);
        ASSERT_EQ(rows[r].width(), int(expected[r].size()));
        for (size_t i = 0; i < expected[r].size(); ++i) {
            expectSame(expected[r][i], rows[r].value(int(i)));
            expectSame(expected[r][i], alone.value(int(i)));
        }
    }
}
