#pragma once

#include "Value.h"

#include <cstdint>
#include <vector>

namespace fw {

// One row of a data set as a single heap block: per column a type tag and an
// 8-byte slot, texts and bytes stored inline after the slots. A text whose
// characters all exist in code page 1251 takes one byte per character (the
// database columns are WIN1251, so nearly all do); any other text is kept as
// UTF-16. Values are made on read.
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
    PackedRow take();

private:
    void slot(uint8_t tag, uint64_t bits);
    void inlineData(uint8_t tag, const void* data, size_t bytes, uint32_t count);

    std::vector<uint64_t> slots_;
    std::vector<uint8_t> tags_;
    std::vector<char> data_;
};

} // namespace fw
