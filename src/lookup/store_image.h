#pragma once

// Writes an SQLite database file in memory, its b-trees laid out straight from rows and index
// entries handed over in their final order: the file INSERT and CREATE INDEX would leave, made
// without a statement per row or a sort through the collation. sqlite3_deserialize takes it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lexivane::db {

// One record in the making: its values in column order. Texts are not copied: they must stay
// where they are until the record is written.
class Record {
  public:
    void clear() { columns_ = 0; }
    void addNull() { add(0, 0, nullptr); }
    void addInt(int64_t v);
    void addText(const char* s, size_t n) { add(2 * uint64_t(n) + 13, 0, s); }
    // Header and body, as the file stores them: their size, and the bytes.
    size_t size() const;
    void write(unsigned char* out) const;

  private:
    struct Column {
        uint64_t type;
        int64_t value;
        const char* text;
    };
    void add(uint64_t type, int64_t value, const char* text);
    size_t headerSize() const;
    std::array<Column, 8> column_{};
    size_t columns_ = 0;
};

class StoreImage {
  public:
    // Gives the record of row (or entry) k, counted from 0.
    using Fill = std::function<void(size_t k, Record& record)>;

    // `expectedBytes`: how large the file will likely be, so that it is allocated once.
    explicit StoreImage(size_t expectedBytes = 0);
    ~StoreImage();
    StoreImage(const StoreImage&) = delete;
    StoreImage& operator=(const StoreImage&) = delete;

    // A table b-tree of `rows` rows, row k under rowid k + 1. Returns its root page.
    uint32_t addTable(size_t rows, const Fill& fill);
    // An index b-tree of `entries` entries, given in the index's order. Returns its root page.
    uint32_t addIndex(size_t entries, const Fill& fill);

    struct SchemaRow {
        const char* type; // "table" or "index"
        const char* name;
        const char* tableName;
        uint32_t rootPage;
        const char* sql;
    };
    // Writes the schema (page 1) and the file header, and hands the file over: allocated with
    // sqlite3_malloc64, `size` bytes, for sqlite3_deserialize to own. Null when out of memory.
    unsigned char* finish(const std::vector<SchemaRow>& schema, int64_t& size);

    static constexpr uint32_t kPageSize = 4096;

  private:
    struct OpenPage;
    struct Divider;
    void reserve(size_t pages);
    uint32_t newPage();
    unsigned char* page(uint32_t number) { return data_ + size_t(number - 1) * kPageSize; }
    OpenPage startPage(uint8_t kind, uint32_t number = 0);
    void finishPage(OpenPage& p, uint32_t rightChild = 0);
    uint32_t cellSize(const OpenPage& p, size_t payload, int64_t rowid) const;
    void writeCell(OpenPage& p, const Record& record, int64_t rowid, uint32_t child,
                   uint32_t& overflow);
    void unwriteCell(OpenPage& p);
    uint32_t writeOverflow(const char* rest, size_t n);
    uint32_t tableLevels(std::vector<std::pair<uint32_t, int64_t>> items, uint32_t last);
    uint32_t indexLevels(std::vector<Divider> items, uint32_t last, const Fill& fill);

    unsigned char* data_ = nullptr;
    size_t pages_ = 0;
    size_t capacity_ = 0; // in pages
    bool outOfMemory_ = false;
    std::string spilled_; // scratch: a payload that overflows, whole
    Record record_;       // scratch
};

} // namespace lexivane::db
