#include "PackedRow.h"

#include "CodePage.h"

#include <QTimeZone>
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace fw {

namespace {

using namespace packed;

constexpr int64_t kDayMsecs = 86400000;
constexpr size_t kHeader = 3;           // flags, then the width as 16 bits
constexpr uint8_t kInArena = 0x1;       // flags: the block belongs to an arena
constexpr int kEndsShift = 1;           // flags bits 1-2: bytes per end (1, 2 or 4)

static_assert(std::endian::native == std::endian::little, "rows store numbers little-endian");

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

void PackedRow::Release::operator()(char* block) const noexcept
{
    if (!(block[0] & kInArena)) delete[] block;
}

PackedRow PackedRow::fromValues(const std::vector<Value>& values)
{
    RowPacker p;
    for (const Value& v : values) p.add(v);
    return p.take();
}

int PackedRow::width() const { return block_ ? int(layout(block_.get()).width) : 0; }

bool PackedRow::isNull(int column) const
{
    if (!block_) return true;
    const Layout l = layout(block_.get());
    return column < 0 || uint32_t(column) >= l.width || l.tag(uint32_t(column)) == Null;
}

Value PackedRow::value(int column) const
{
    if (!block_) return {};
    const Layout l = layout(block_.get());
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
    case Cp1251: return Value(cp1251::decode(at, bytes));
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

void RowPacker::grow(size_t bytes)
{
    const size_t capacity = std::max({size_ + bytes, capacity_ * 2, size_t(256)});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

void RowPacker::growColumns()
{
    const size_t columns = std::max(columns_ * 2, size_t(32));
    auto tags = std::make_unique_for_overwrite<uint8_t[]>(columns);
    auto ends = std::make_unique_for_overwrite<uint32_t[]>(columns);
    if (width_) {
        std::memcpy(tags.get(), tags_.get(), width_);
        std::memcpy(ends.get(), ends_.get(), width_ * sizeof(uint32_t));
    }
    tags_ = std::move(tags);
    ends_ = std::move(ends);
    columns_ = columns;
}

void RowPacker::put(uint8_t tag, const void* data, size_t bytes)
{
    if (bytes) std::memcpy(extend(bytes), data, bytes);
    end(tag);
}

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
        end(NullText);
        return;
    }
    const qsizetype n = s.size();
    const size_t at = size_;
    char* out = extend(size_t(n));
    const char16_t* in = reinterpret_cast<const char16_t*>(s.constData());
    bool ascii = true;
    for (qsizetype i = 0; i < n; ++i) {
        const int b = cp1251::toByte(in[i]);
        if (b < 0) {
            size_ = at;
            put(Utf16, in, size_t(n) * 2);
            return;
        }
        ascii = ascii && b < 0x80;
        out[i] = char(b);
    }
    end(ascii ? Ascii : Cp1251);
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
    const auto width = uint32_t(width_);
    const size_t payload = size_;
    const uint32_t endBytes = payload <= 0xFF ? 1 : payload <= 0xFFFF ? 2 : 4;
    const size_t size = kHeader + (width + 1) / 2 + size_t(width) * endBytes + payload;
    char* block = arena ? arena->allocate(size) : new char[size];
    block[0] = char((arena ? kInArena : 0) | (endBytes == 1 ? 0 : endBytes == 2 ? 1 : 2) << kEndsShift);
    const auto w16 = uint16_t(width);
    std::memcpy(block + 1, &w16, sizeof w16);
    char* p = block + kHeader;
    for (uint32_t i = 0; i + 1 < width; i += 2) p[i / 2] = char(tags_[i] | tags_[i + 1] << 4);
    if (width % 2) p[width / 2] = char(tags_[width - 1]);
    p += (width + 1) / 2;
    switch (endBytes) {
    case 1:
        for (uint32_t i = 0; i < width; ++i) p[i] = char(ends_[i]);
        break;
    case 2:
        for (uint32_t i = 0; i < width; ++i) {
            const auto e = uint16_t(ends_[i]);
            std::memcpy(p + 2 * i, &e, 2);
        }
        break;
    default: std::memcpy(p, ends_.get(), size_t(width) * 4); break;
    }
    p += size_t(width) * endBytes;
    if (payload) std::memcpy(p, data_.get(), payload);
    width_ = 0;
    size_ = 0;
    PackedRow row;
    row.block_.reset(block);
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
