#include "PackedRow.h"

#include <QTimeZone>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace fw {

namespace {

// NullText: a text value made from a null QString, which reads back as one.
enum Tag : uint8_t { Null, Int, Double, Money, Stamp, NullText, Ascii, Cp1251, Utf16, Bytes, ExactDateTime };

constexpr int64_t kDayMsecs = 86400000;
constexpr size_t kHeader = 8;   // width, then padding that keeps the slots aligned

// The upper half of code page 1251; 0x98, unused there, stands for U+0098 so
// that every byte reads back as one character.
constexpr char16_t kUpper[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

constexpr char32_t kLastUpper = 0x2122;

// Character -> byte of code page 1251; 0 when it has none (below 0x80 the byte is the character).
const std::array<uint8_t, kLastUpper + 1>& byteOf()
{
    static const auto table = [] {
        std::array<uint8_t, kLastUpper + 1> t{};
        for (int i = 0; i < 128; ++i) t[kUpper[i]] = uint8_t(0x80 + i);
        return t;
    }();
    return table;
}

uint8_t encode(char32_t c)
{
    if (c < 0x80) return uint8_t(c);
    return c <= kLastUpper ? byteOf()[c] : 0;
}

struct Layout {
    const char* block;
    uint32_t width;
    const uint64_t* slotsAt() const { return reinterpret_cast<const uint64_t*>(block + kHeader); }
    const uint8_t* tags() const { return reinterpret_cast<const uint8_t*>(block + kHeader + 8 * size_t(width)); }
    const char* data() const { return block + kHeader + 9 * size_t(width); }
};

Layout layout(const char* block)
{
    uint32_t width;
    std::memcpy(&width, block, sizeof width);
    return {block, width};
}

uint32_t offsetOf(uint64_t slot) { return uint32_t(slot); }
uint32_t countOf(uint64_t slot) { return uint32_t(slot >> 32); }

} // namespace

// ---------------------------------------------------------------- PackedRow

PackedRow& PackedRow::operator=(PackedRow&& o) noexcept
{
    if (this != &o) {
        delete[] block_;
        block_ = o.block_;
        o.block_ = nullptr;
    }
    return *this;
}

PackedRow::~PackedRow() { delete[] block_; }

PackedRow PackedRow::fromValues(const std::vector<Value>& values)
{
    RowPacker p;
    for (const Value& v : values) p.add(v);
    return p.take();
}

int PackedRow::width() const { return block_ ? int(layout(block_).width) : 0; }

bool PackedRow::isNull(int column) const
{
    if (!block_) return true;
    const Layout l = layout(block_);
    return column < 0 || uint32_t(column) >= l.width || l.tags()[column] == Null;
}

Value PackedRow::value(int column) const
{
    if (!block_) return {};
    const Layout l = layout(block_);
    if (column < 0 || uint32_t(column) >= l.width) return {};
    const uint64_t slot = l.slotsAt()[column];
    const uint8_t tag = l.tags()[column];
    const char* at = tag >= Ascii ? l.data() + offsetOf(slot) : nullptr;
    const qsizetype count = countOf(slot);
    switch (tag) {
    case Null: break;
    case NullText: return Value(QString());
    case Int: return Value(static_cast<long long>(slot));
    case Double: return Value(std::bit_cast<double>(slot));
    case Money: return Value(Currency::fromScaled(int64_t(slot)));
    case Stamp: {
        Value v;
        v.data_ = Value::Stamp{int64_t(slot)};
        return v;
    }
    case Ascii: return Value(QString::fromLatin1(at, count));
    case Cp1251: {
        QString s(count, Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(s.data());
        for (qsizetype i = 0; i < count; ++i) {
            const uint8_t b = uint8_t(at[i]);
            out[i] = b < 0x80 ? char16_t(b) : kUpper[b - 0x80];
        }
        return Value(s);
    }
    case Utf16: {
        QString s(count, Qt::Uninitialized);
        std::memcpy(s.data(), at, size_t(count) * 2);
        return Value(s);
    }
    case Bytes: return Value::bytes(QByteArray(at, count));
    case ExactDateTime: {
        int64_t msecs;
        int32_t offset;
        std::memcpy(&msecs, at, 8);
        const auto spec = Qt::TimeSpec(at[8]);
        std::memcpy(&offset, at + 9, 4);
        if (spec == Qt::TimeZone)
            return Value(QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone(QByteArray(at + 13, count - 13))));
        return Value(QDateTime::fromMSecsSinceEpoch(msecs, spec, offset));
    }
    }
    return {};
}

std::vector<Value> PackedRow::values() const
{
    std::vector<Value> out;
    const int n = width();
    out.reserve(size_t(n));
    for (int i = 0; i < n; ++i) out.push_back(value(i));
    return out;
}

// ---------------------------------------------------------------- RowPacker

void RowPacker::slot(uint8_t tag, uint64_t bits)
{
    tags_.push_back(tag);
    slots_.push_back(bits);
}

void RowPacker::inlineData(uint8_t tag, const void* data, size_t bytes, uint32_t count)
{
    const size_t at = data_.size();
    data_.resize(at + bytes);
    if (bytes) std::memcpy(data_.data() + at, data, bytes);
    slot(tag, uint64_t(at) | uint64_t(count) << 32);
}

void RowPacker::addNull() { slot(Null, 0); }
void RowPacker::addInt(int64_t v) { slot(Int, uint64_t(v)); }
void RowPacker::addDouble(double v) { slot(Double, std::bit_cast<uint64_t>(v)); }
void RowPacker::addCurrency(Currency v) { slot(Money, uint64_t(v.scaled())); }

void RowPacker::addLocalTime(QDate date, int msecsOfDay)
{
    slot(Stamp, uint64_t(date.toJulianDay() * kDayMsecs + msecsOfDay));
}

void RowPacker::addText(const QString& s)
{
    if (s.isNull()) {
        slot(NullText, 0);
        return;
    }
    const qsizetype n = s.size();
    const size_t at = data_.size();
    data_.resize(at + size_t(n));
    char* out = data_.data() + at;
    const char16_t* in = reinterpret_cast<const char16_t*>(s.constData());
    bool ascii = true;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        const uint8_t b = encode(c);
        if (b == 0 && c != 0) {
            data_.resize(at);
            inlineData(Utf16, in, size_t(n) * 2, uint32_t(n));
            return;
        }
        ascii = ascii && b < 0x80;
        out[i] = char(b);
    }
    slot(ascii ? Ascii : Cp1251, uint64_t(at) | uint64_t(n) << 32);
}

void RowPacker::addUtf8(const char* s, int length)
{
    const size_t at = data_.size();
    // Never longer than the UTF-8: one byte per character.
    data_.resize(at + size_t(length));
    char* out = data_.data() + at;
    const auto* in = reinterpret_cast<const uint8_t*>(s);
    bool ascii = true;
    int n = 0;
    for (int i = 0; i < length;) {
        const uint8_t b = in[i];
        if (b < 0x80) {
            out[n++] = char(b);
            ++i;
            continue;
        }
        ascii = false;
        char32_t c = 0;
        // Two- and three-byte forms only; anything else (and any malformed or
        // overlong form) goes the general way, so it reads as QString would read it.
        if ((b & 0xE0) == 0xC0 && i + 1 < length && (in[i + 1] & 0xC0) == 0x80) {
            c = char32_t(b & 0x1F) << 6 | (in[i + 1] & 0x3F);
            if (c < 0x80) c = 0;
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && i + 2 < length && (in[i + 1] & 0xC0) == 0x80
                   && (in[i + 2] & 0xC0) == 0x80) {
            c = char32_t(b & 0x0F) << 12 | char32_t(in[i + 1] & 0x3F) << 6 | (in[i + 2] & 0x3F);
            if (c < 0x800) c = 0;
            i += 3;
        }
        const uint8_t e = c ? encode(c) : 0;
        if (e == 0) {
            data_.resize(at);
            addText(QString::fromUtf8(s, length));
            return;
        }
        out[n++] = char(e);
    }
    data_.resize(at + size_t(n));
    slot(ascii ? Ascii : Cp1251, uint64_t(at) | uint64_t(uint32_t(n)) << 32);
}

void RowPacker::addBytes(const char* b, int length) { inlineData(Bytes, b, size_t(length), uint32_t(length)); }

void RowPacker::add(const Value& v)
{
    switch (v.data_.index()) {
    case 0: addNull(); return;
    case 1: addInt(std::get<int64_t>(v.data_)); return;
    case 2: addDouble(std::get<double>(v.data_)); return;
    case 3: addCurrency(std::get<Currency>(v.data_)); return;
    case 4: addText(std::get<QString>(v.data_)); return;
    case 5: {
        const QDateTime& d = std::get<QDateTime>(v.data_);
        // A local time that its wall clock names unambiguously needs no more
        // than the compact form; the rest (another zone, the second pass of a
        // repeated hour) keeps its instant and its zone.
        if (d.timeSpec() == Qt::LocalTime && QDateTime(d.date(), d.time()) == d) {
            addLocalTime(d.date(), d.time().msecsSinceStartOfDay());
            return;
        }
        QByteArray exact(13, '\0');
        const int64_t msecs = d.toMSecsSinceEpoch();
        const int32_t offset = d.timeSpec() == Qt::OffsetFromUTC ? d.offsetFromUtc() : 0;
        std::memcpy(exact.data(), &msecs, 8);
        exact[8] = char(d.timeSpec());
        std::memcpy(exact.data() + 9, &offset, 4);
        if (d.timeSpec() == Qt::TimeZone) exact += d.timeZone().id();
        inlineData(ExactDateTime, exact.constData(), size_t(exact.size()), uint32_t(exact.size()));
        return;
    }
    case 6: {
        const QByteArray& b = std::get<QByteArray>(v.data_);
        addBytes(b.constData(), int(b.size()));
        return;
    }
    case Value::kStampIndex: slot(Stamp, uint64_t(std::get<Value::Stamp>(v.data_).msecs)); return;
    }
    addNull();
}

PackedRow RowPacker::take()
{
    const auto width = uint32_t(tags_.size());
    const size_t size = kHeader + 9 * size_t(width) + data_.size();
    char* block = new char[size];
    std::memset(block, 0, kHeader);
    std::memcpy(block, &width, sizeof width);
    if (width) {
        std::memcpy(block + kHeader, slots_.data(), 8 * size_t(width));
        std::memcpy(block + kHeader + 8 * size_t(width), tags_.data(), width);
    }
    if (!data_.empty()) std::memcpy(block + kHeader + 9 * size_t(width), data_.data(), data_.size());
    slots_.clear();
    tags_.clear();
    data_.clear();
    PackedRow row;
    row.block_ = block;
    return row;
}

} // namespace fw
