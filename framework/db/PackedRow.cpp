#include "PackedRow.h"

#include "CodePage.h"

#include <QTimeZone>
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace fw {

namespace {

using namespace packed;

constexpr int64_t kDayMsecs = 86400000;
constexpr size_t kHeader = 3;           // flags, then the width as 16 bits
constexpr uint8_t kInArena = 0x1;       // flags: the block belongs to an arena
constexpr int kEndsShift = 1;           // flags bits 1-2: bytes per end (1, 2 or 4)

static_assert(std::endian::native == std::endian::little, "rows store numbers little-endian");

// A row's trailer, which its pointer names; the data lies before it.
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
    uint32_t dataBytes() const { return width ? end(width - 1) : 0; }
    const char* data() const { return block - dataBytes(); }
};

Layout layout(const char* block)
{
    uint16_t width;
    std::memcpy(&width, block + 1, sizeof width);
    return {block, width, 1u << (uint8_t(block[0]) >> kEndsShift & 0x3)};
}

size_t trailerBytes(size_t width, size_t endBytes) { return kHeader + (width + 1) / 2 + width * endBytes; }

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
    if (!(block[0] & kInArena)) delete[] (block - layout(block).dataBytes());
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

RowPacker::RowPacker(RowArena* arena) : arena_(arena)
{
    if (arena_) startInArena();
}

void RowPacker::startInArena()
{
    data_ = arena_->free();
    capacity_ = arena_->left();
}

void RowPacker::grow(size_t bytes)
{
    // Room for the trailer of a wide row too, so that finishing seldom moves the data.
    const size_t capacity = std::max({size_ + bytes + 256, capacity_ * 2, size_t(256)});
    if (arena_) {
        data_ = arena_->renew(size_, capacity);
        capacity_ = arena_->left();
        return;
    }
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_) std::memcpy(data.get(), data_, size_);
    own_ = std::move(data);
    data_ = own_.get();
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

char* RowPacker::finish(char* block, size_t endBytes, bool inArena)
{
    const auto width = uint32_t(width_);
    block[0] = char((inArena ? kInArena : 0) | (endBytes == 1 ? 0 : endBytes == 2 ? 1 : 2) << kEndsShift);
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
    return block;
}

PackedRow RowPacker::take()
{
    const size_t endBytes = size_ <= 0xFF ? 1 : size_ <= 0xFFFF ? 2 : 4;
    const size_t trailer = trailerBytes(width_, endBytes);
    PackedRow row;
    if (arena_) {
        room(trailer);
        row.block_.reset(finish(data_ + size_, endBytes, true));
        arena_->take(size_ + trailer);
        startInArena();
    } else {
        // A block of its own, exactly as long as the row.
        char* memory = new char[size_ + trailer];
        if (size_) std::memcpy(memory, data_, size_);
        row.block_.reset(finish(memory + size_, endBytes, false));
    }
    width_ = 0;
    size_ = 0;
    return row;
}

// ---------------------------------------------------------------- RowArena

void RowArena::Unmap::operator()(char* chunk) const noexcept { munmap(chunk, bytes); }

char* RowArena::renew(size_t kept, size_t bytes)
{
    // Each chunk twice the last, so that a few rows cost little and many rows few chunks.
    constexpr size_t kLargest = 1024 * 1024;
    const size_t chunk = std::max(next_, bytes);
    next_ = std::min(next_ * 2, kLargest);
    // Mapped with its pages in place: one call instead of a fault for every
    // page the rows reach, which is most of what packing a large fetch costs.
    void* raw = mmap(nullptr, chunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    std::unique_ptr<char[], Unmap> memory(static_cast<char*>(raw), Unmap{chunk});
    if (kept) std::memcpy(memory.get(), free_, kept);
    chunks_.push_back(std::move(memory));
    free_ = chunks_.back().get();
    left_ = chunk;
    size_ += chunk;
    return free_;
}

} // namespace fw
