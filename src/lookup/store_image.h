#pragma once

// Writes an SQLite database file in memory, its b-trees laid out straight from rows and index
// entries handed over in their final order: the file INSERT and CREATE INDEX would leave, made
// without a statement per row or a sort through the collation. sqlite3_deserialize takes it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace lexivane::db {

// One record in the making: its values in column order. Texts are not copied: they must stay
// where they are until the record is written.
class Record {
  public:
    void clear() { columns_ = typesSize_ = bodySize_ = 0; }
    void addNull() { add(0, 0, nullptr); }
    void addInt(int64_t v);
    void addText(const char* s, size_t n) { add(2 * uint64_t(n) + 13, 0, s); }
    // Header and body, as the file stores them: their size, and the bytes.
    size_t size() const { return headerSize() + bodySize_; }
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
    size_t typesSize_ = 0, bodySize_ = 0;
};

struct StoreSchema;
class BTreeImage;
unsigned char* assembleStore(const StoreSchema& schema, int64_t& size);

// One b-tree, written into pages of its own numbered from 1, so that several can be written at
// once; assembleStore() gives each its place in the file. Built once, by buildTable or
// buildIndex.
class BTreeImage {
  public:
    // Gives the record of row (or entry) k, counted from 0.
    using Fill = std::function<void(size_t k, Record& record)>;

    // `expectedBytes`: how large the tree will likely be, so that it is allocated once.
    explicit BTreeImage(size_t expectedBytes = 0);
    ~BTreeImage();
    BTreeImage(const BTreeImage&) = delete;
    BTreeImage& operator=(const BTreeImage&) = delete;

    // A table b-tree of `rows` rows, row k under rowid k + 1.
    void buildTable(size_t rows, const Fill& fill);
    // An index b-tree of `entries` entries, given in the index's order.
    void buildIndex(size_t entries, const Fill& fill);

    uint32_t pageCount() const { return uint32_t(pages_); }
    uint32_t root() const { return root_; } // among its own pages

    static constexpr uint32_t kPageSize = 4096;

  private:
    friend unsigned char* assembleStore(const StoreSchema& schema, int64_t& size);
    struct OpenPage;
    struct Divider;
    void reserve(size_t pages);
    uint32_t newPage();
    unsigned char* page(uint32_t number) { return data_ + size_t(number - 1) * kPageSize; }
    void putPage(unsigned char* at, uint32_t number); // a page number, moved with the tree
    OpenPage startPage(uint8_t kind, uint32_t number = 0);
    void finishPage(OpenPage& p, uint32_t rightChild = 0);
    uint32_t cellSize(const OpenPage& p, size_t payload, int64_t rowid) const;
    void writeCell(OpenPage& p, const Record& record, int64_t rowid, uint32_t child,
                   uint32_t& overflow);
    void unwriteCell(OpenPage& p);
    uint32_t writeOverflow(const unsigned char* rest, size_t n);
    uint32_t tableLevels(std::vector<std::pair<uint32_t, int64_t>> items, uint32_t last);
    uint32_t indexLevels(std::vector<Divider> items, uint32_t last, const Fill& fill);

    unsigned char* data_ = nullptr;
    size_t pages_ = 0;
    size_t capacity_ = 0; // in pages
    uint32_t root_ = 0;
    uint32_t firstHeader_ = 0; // where page 1's b-tree header starts (100 in the file's page 1)
    std::vector<size_t> pageNumbers_;    // byte offsets of the page numbers written
    std::vector<unsigned char> spilled_; // scratch: a payload that overflows, whole
    Record record_;                      // scratch
};

struct StoreSchema {
    struct Row {
        const char* type; // "table" or "index"
        const char* name;
        const char* tableName;
        const BTreeImage* tree;
        const char* sql;
    };
    std::vector<Row> rows;
};

// The whole file: the header and the schema on page 1, then each tree's pages in the order of
// the schema. Allocated with sqlite3_malloc64, `size` bytes, for sqlite3_deserialize to own.
// Throws std::bad_alloc.
unsigned char* assembleStore(const StoreSchema& schema, int64_t& size);

} // namespace lexivane::db
