#include "PackedRow.h"

#include <QTimeZone>
#include <array>
#include <bit>
#include <cstring>
#include <new>

namespace fw {

namespace {

// NullText: a text value made from a null QString, which reads back as one.
// Date: a local time at midnight, kept as its day.
enum Tag : uint8_t { Null, Int, Double, Money, Stamp, Date, NullText, Ascii, Cp1251, Utf16, Bytes, ExactDateTime };

constexpr int64_t kDayMsecs = 86400000;
constexpr size_t kHeader = 3;           // flags, then the width as 16 bits
constexpr uint8_t kInArena = 0x1;       // flags: the block belongs to an arena
constexpr int kEndsShift = 1;           // flags bits 1-2: bytes per end (1, 2 or 4)

static_assert(std::endian::native == std::endian::little, "rows store numbers little-endian");

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
    uint32_t endBytes;

    uint8_t tag(uint32_t i) const { return uint8_t(block[kHeader + i / 2]) >> (i % 2 * 4) & 0xF; }
    const char* ends() const { return block + kHeader + (width + 1) / 2; }
    uint32_t end(uint32_t i) const
    {
        uint32_t e = 0;
        std::memcpy(&e, ends() + size_t(i) * endBytes, endBytes);
        return e;
    }
    const char* data() const { return ends() + size_t(width) * endBytes; }
};

Layout layout(const char* block)
{
    uint16_t width;
    std::memcpy(&width, block + 1, sizeof width);
    return {block, width, 1u << (uint8_t(block[0]) >> kEndsShift & 0x3)};
}

// Numbers keep the low bytes that sign-extend back to them: 0 takes none, 7 one.
int64_t readInt(const char* at, uint32_t bytes)
{
    if (bytes == 0) return 0;
    uint64_t u = 0;
    std::memcpy(&u, at, bytes);
    const int shift = 64 - 8 * int(bytes);
    return shift ? int64_t(u << shift) >> shift : int64_t(u);
}

} // namespace

// ---------------------------------------------------------------- PackedRow

PackedRow& PackedRow::operator=(PackedRow&& o) noexcept
{
    if (this != &o) {
        this->~PackedRow();
        block_ = o.block_;
        o.block_ = nullptr;
    }
    return *this;
}

PackedRow::~PackedRow()
{
    if (block_ && !(block_[0] & kInArena)) delete[] block_;
}

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
    return column < 0 || uint32_t(column) >= l.width || l.tag(uint32_t(column)) == Null;
}

Value PackedRow::value(int column) const
{
    if (!block_) return {};
    const Layout l = layout(block_);
    if (column < 0 || uint32_t(column) >= l.width) return {};
    const auto c = uint32_t(column);
    const uint32_t from = c ? l.end(c - 1) : 0;
    const uint32_t bytes = l.end(c) - from;
    const char* at = l.data() + from;
    switch (l.tag(c)) {
    case Null: break;
    case NullText: return Value(QString());
    case Int: return Value(static_cast<long long>(readInt(at, bytes)));
    case Double: {
        double d;
        std::memcpy(&d, at, sizeof d);
        return Value(d);
    }
    case Money: return Value(Currency::fromScaled(readInt(at, bytes)));
    case Stamp:
    case Date: {
        Value v;
        v.data_ = Value::Stamp{readInt(at, bytes) * (l.tag(c) == Date ? kDayMsecs : 1)};
        return v;
    }
    case Ascii: return Value(QString::fromLatin1(at, bytes));
    case Cp1251: {
        QString s(bytes, Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(s.data());
        for (uint32_t i = 0; i < bytes; ++i) {
            const uint8_t b = uint8_t(at[i]);
            out[i] = b < 0x80 ? char16_t(b) : kUpper[b - 0x80];
        }
        return Value(s);
    }
    case Utf16: {
        QString s(bytes / 2, Qt::Uninitialized);
        std::memcpy(s.data(), at, bytes);
        return Value(s);
    }
    case Bytes: return Value::bytes(QByteArray(at, bytes));
    case ExactDateTime: {
        int64_t msecs;
        int32_t offset;
        std::memcpy(&msecs, at, 8);
        const auto spec = Qt::TimeSpec(at[8]);
        std::memcpy(&offset, at + 9, 4);
        if (spec == Qt::TimeZone)
            return Value(QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone(QByteArray(at + 13, bytes - 13))));
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

void RowPacker::put(uint8_t tag, const void* data, size_t bytes)
{
    const size_t at = data_.size();
    if (bytes) {
        data_.resize(at + bytes);
        std::memcpy(data_.data() + at, data, bytes);
    }
    tags_.push_back(tag);
    ends_.push_back(uint32_t(data_.size()));
}

void RowPacker::putInt(uint8_t tag, int64_t v)
{
    uint32_t bytes = 0;
    while (bytes < 8) {
        const int shift = 64 - 8 * int(bytes);
        if (bytes == 0 ? v == 0 : (int64_t(uint64_t(v) << shift) >> shift) == v) break;
        ++bytes;
    }
    put(tag, &v, bytes);
}

void RowPacker::addNull() { put(Null, nullptr, 0); }
void RowPacker::addInt(int64_t v) { putInt(Int, v); }
void RowPacker::addDouble(double v) { put(Double, &v, sizeof v); }
void RowPacker::addCurrency(Currency v) { putInt(Money, v.scaled()); }

void RowPacker::putStamp(int64_t msecs)
{
    if (msecs % kDayMsecs == 0)
        putInt(Date, msecs / kDayMsecs);
    else
        putInt(Stamp, msecs);
}

void RowPacker::addLocalTime(QDate date, int msecsOfDay) { putStamp(date.toJulianDay() * kDayMsecs + msecsOfDay); }

void RowPacker::addText(const QString& s)
{
    if (s.isNull()) {
        put(NullText, nullptr, 0);
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
            put(Utf16, in, size_t(n) * 2);
            return;
        }
        ascii = ascii && b < 0x80;
        out[i] = char(b);
    }
    tags_.push_back(ascii ? Ascii : Cp1251);
    ends_.push_back(uint32_t(data_.size()));
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
    tags_.push_back(ascii ? Ascii : Cp1251);
    ends_.push_back(uint32_t(data_.size()));
}

void RowPacker::addBytes(const char* b, int length) { put(Bytes, b, size_t(length)); }

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
        put(ExactDateTime, exact.constData(), size_t(exact.size()));
        return;
    }
    case 6: {
        const QByteArray& b = std::get<QByteArray>(v.data_);
        addBytes(b.constData(), int(b.size()));
        return;
    }
    case Value::kStampIndex: putStamp(std::get<Value::Stamp>(v.data_).msecs); return;
    }
    addNull();
}

PackedRow RowPacker::take(RowArena* arena)
{
    const auto width = uint32_t(tags_.size());
    const size_t payload = data_.size();
    const uint32_t endBytes = payload <= 0xFF ? 1 : payload <= 0xFFFF ? 2 : 4;
    const size_t size = kHeader + (width + 1) / 2 + size_t(width) * endBytes + payload;
    char* block = arena ? arena->allocate(size) : new char[size];
    block[0] = char((arena ? kInArena : 0) | (endBytes == 1 ? 0 : endBytes == 2 ? 1 : 2) << kEndsShift);
    const auto w16 = uint16_t(width);
    std::memcpy(block + 1, &w16, sizeof w16);
    char* p = block + kHeader;
    std::memset(p, 0, (width + 1) / 2);
    for (uint32_t i = 0; i < width; ++i) p[i / 2] = char(uint8_t(p[i / 2]) | tags_[i] << (i % 2 * 4));
    p += (width + 1) / 2;
    for (uint32_t i = 0; i < width; ++i, p += endBytes) std::memcpy(p, &ends_[i], endBytes);
    if (payload) std::memcpy(p, data_.data(), payload);
    tags_.clear();
    ends_.clear();
    data_.clear();
    PackedRow row;
    row.block_ = block;
    return row;
}

// ---------------------------------------------------------------- RowArena

char* RowArena::allocate(size_t bytes)
{
    constexpr size_t kChunk = 64 * 1024;
    if (bytes > kChunk / 4) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        return chunks_.back().get();
    }
    if (bytes > left_) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        free_ = chunks_.back().get();
        left_ = kChunk;
    }
    char* at = free_;
    free_ += bytes;
    left_ -= bytes;
    return at;
}

} // namespace fw
