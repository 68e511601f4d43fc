#pragma once

#include "Value.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace fw {

class RowArena;

// One row of a data set as a single block: the bytes of its columns, then a
// trailer of flags, the width, per column a 4-bit type tag and where its bytes
// end. The row points at its trailer, so a fetch writes each column's bytes
// straight where they stay and the trailer after them. Numbers take as many
// bytes as they need, NULL none. A text whose characters all exist in code
// page 1251 takes one byte per character (the database columns are WIN1251, so
// nearly all do); any other text is kept as UTF-16. Values are made on read.
class PackedRow {
public:
    static PackedRow fromValues(const std::vector<Value>& values);

    int width() const;
    // NULL beyond the width.
    Value value(int column) const;
    bool isNull(int column) const;
    std::vector<Value> values() const;

private:
    friend class RowPacker;
    // Frees a block unless an arena holds it.
    struct Release {
        void operator()(char* block) const noexcept;
    };
    std::unique_ptr<char[], Release> block_;
};

namespace packed {
// The type tags of a packed row's columns. NullText: a text value made from a
// null QString, which reads back as one. Date: a local time at midnight, kept as its day.
enum Tag : uint8_t { Null, Int, Double, Money, Stamp, Date, NullText, Ascii, Cp1251, Utf16, Bytes, ExactDateTime };
} // namespace packed

// Builds packed rows column by column. With an arena the bytes go straight
// into its free memory and nothing is allocated per row; without one each row
// is a block of its own.
class RowPacker {
public:
    explicit RowPacker(RowArena* arena = nullptr);
    RowPacker(const RowPacker&) = delete;
    RowPacker& operator=(const RowPacker&) = delete;

    void addNull() { end(packed::Null); }
    void addInt(int64_t v) { putInt(packed::Int, v); }
    void addDouble(double v);
    void addCurrency(Currency v);
    // A local wall-clock time that is known to exist (see Value::localTime).
    void addLocalTime(QDate date, int msecsOfDay);
    void addText(const QString& s);
    // Bytes of code page 1251 straight from the database, kept as they are.
    void addCp1251(const char* s, int length)
    {
        // Eight bytes at a time: copied, and their high bits gathered.
        char* out = extend(size_t(length));
        uint64_t high = 0;
        int i = 0;
        for (; i + 8 <= length; i += 8) {
            uint64_t w;
            std::memcpy(&w, s + i, 8);
            std::memcpy(out + i, &w, 8);
            high |= w;
        }
        for (; i < length; ++i) {
            out[i] = s[i];
            high |= uint8_t(s[i]);
        }
        end(high & 0x8080808080808080u ? packed::Cp1251 : packed::Ascii);
    }
    void addBytes(const char* b, int length);
    void add(const Value& v);

    // The columns added so far as one row; the packer is empty again afterwards.
    // With an arena the row lives there and is freed with it.
    PackedRow take();

private:
    void put(uint8_t tag, const void* data, size_t bytes);
    // The fewest low bytes that sign-extend back to v: 0 takes none, 7 one.
    void putInt(uint8_t tag, int64_t v)
    {
        const auto magnitude = uint64_t(v < 0 ? ~v : v);
        const size_t bytes = v == 0 ? 0 : size_t((64 - std::countl_zero(magnitude)) / 8 + 1);
        std::memcpy(room(sizeof v), &v, sizeof v);
        size_ += bytes;
        end(tag);
    }
    // A local wall-clock time in msecs; midnight is kept as its day.
    void putStamp(int64_t msecs);

    // Room for bytes more at the end of the data.
    char* room(size_t bytes)
    {
        if (size_ + bytes > capacity_) grow(bytes);
        return data_ + size_;
    }
    // The same, counted as written.
    char* extend(size_t bytes)
    {
        char* at = room(bytes);
        size_ += bytes;
        return at;
    }
    void grow(size_t bytes);
    // Closes the column whose bytes were just written.
    void end(uint8_t tag)
    {
        if (width_ == columns_) growColumns();
        tags_[width_] = tag;
        ends_[width_++] = uint32_t(size_);
    }
    void growColumns();
    // Writes the trailer at block, right after the data.
    char* finish(char* block, size_t endBytes, bool inArena);
    // The next row starts in the arena's free memory.
    void startInArena();

    std::unique_ptr<uint8_t[]> tags_;
    std::unique_ptr<uint32_t[]> ends_;
    size_t width_ = 0;
    size_t columns_ = 0;
    RowArena* arena_;
    std::unique_ptr<char[]> own_;   // the data without an arena
    char* data_ = nullptr;          // the row's first byte: in own_ or in the arena's free memory
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Memory for many rows at once, in chunks that grow to a megabyte, freed all
// together. A packer writes a row's bytes at free() and takes them when the
// row is done. It must outlive its rows.
class RowArena {
public:
    RowArena() = default;
    RowArena(RowArena&& o) noexcept { *this = std::move(o); }
    RowArena& operator=(RowArena&& o) noexcept
    {
        chunks_ = std::move(o.chunks_);
        o.chunks_.clear();
        free_ = std::exchange(o.free_, nullptr);
        left_ = std::exchange(o.left_, 0);
        size_ = std::exchange(o.size_, 0);
        next_ = std::exchange(o.next_, kFirstChunk);
        return *this;
    }

    char* free() const { return free_; }
    size_t left() const { return left_; }
    // Starts a chunk with room for bytes, the first kept of them moved there
    // from free(); returns the new free().
    char* renew(size_t kept, size_t bytes);
    // The bytes at free() belong to a row now.
    void take(size_t bytes)
    {
        free_ += bytes;
        left_ -= bytes;
    }
    // What the chunks hold together.
    size_t size() const { return size_; }

private:
    struct Unmap {
        size_t bytes = 0;
        void operator()(char* chunk) const noexcept;
    };
    std::vector<std::unique_ptr<char[], Unmap>> chunks_;
    char* free_ = nullptr;
    size_t left_ = 0;
    size_t size_ = 0;
    static constexpr size_t kFirstChunk = 16 * 1024;
    size_t next_ = kFirstChunk;
};

} // namespace fw
