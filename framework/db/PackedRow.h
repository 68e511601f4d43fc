#pragma once

#include "Value.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace fw {

class RowArena;

// One row of a data set as a single block: per column a 4-bit type tag and
// where its bytes end, then the bytes. Numbers take as many bytes as they
// need, NULL none. A text whose characters all exist in code page 1251 takes
// one byte per character (the database columns are WIN1251, so nearly all
// do); any other text is kept as UTF-16. Values are made on read.
class PackedRow {
public:
    PackedRow() = default;
    PackedRow(PackedRow&& o) noexcept : block_(o.block_) { o.block_ = nullptr; }
    PackedRow& operator=(PackedRow&& o) noexcept;
    PackedRow(const PackedRow&) = delete;
    PackedRow& operator=(const PackedRow&) = delete;
    ~PackedRow();

    static PackedRow fromValues(const std::vector<Value>& values);

    int width() const;
    // NULL beyond the width.
    Value value(int column) const;
    bool isNull(int column) const;
    std::vector<Value> values() const;

private:
    friend class RowPacker;
    char* block_ = nullptr;
};

// Builds packed rows column by column; keeps its buffers between rows, so
// packing a fetch costs one allocation per row.
class RowPacker {
public:
    void addNull();
    void addInt(int64_t v);
    void addDouble(double v);
    void addCurrency(Currency v);
    // A local wall-clock time that is known to exist (see Value::localTime).
    void addLocalTime(QDate date, int msecsOfDay);
    void addText(const QString& s);
    // UTF-8 straight from the database, converted without a QString when it fits code page 1251.
    void addUtf8(const char* s, int length);
    void addBytes(const char* b, int length);
    void add(const Value& v);

    // The columns added so far as one row; the packer is empty again afterwards.
    // With an arena the row lives there and is freed with it.
    PackedRow take(RowArena* arena = nullptr);

private:
    void put(uint8_t tag, const void* data, size_t bytes);
    void putInt(uint8_t tag, int64_t v);
    // A local wall-clock time in msecs; midnight is kept as its day.
    void putStamp(int64_t msecs);

    std::vector<uint8_t> tags_;
    std::vector<uint32_t> ends_;
    std::vector<char> data_;
};

// Memory for many rows at once, freed all together: a fetch of many rows
// costs a few large allocations instead of one per row. It must outlive its rows.
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
        return *this;
    }
    char* allocate(size_t bytes);

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    size_t left_ = 0;
};

} // namespace fw
