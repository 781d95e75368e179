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

// One b-tree. Built once, by buildTable or buildIndex: either only counted (how many pages it
// takes), or written into pages of a StoreFile set aside for it after counting. Counting first
// lets several trees be written into one file at once, each straight into its place.
class BTreeImage {
  public:
    // Gives the record of row (or entry) k, counted from 0.
    using Fill = std::function<void(size_t k, Record& record)>;

    // Counts, writing nothing.
    BTreeImage() = default;
    // Writes into `pages` pages of `file` from page `first` on; more is a logic error.
    // `header`: where the first page's b-tree header starts (100 on the file's page 1).
    BTreeImage(unsigned char* file, uint32_t first, uint32_t pages, uint32_t header = 0);

    // A table b-tree of `rows` rows, row k under rowid k + 1.
    void buildTable(size_t rows, const Fill& fill);
    // An index b-tree of `entries` entries, given in the index's order.
    void buildIndex(size_t entries, const Fill& fill);

    uint32_t pageCount() const { return used_; }
    uint32_t root() const { return root_; } // a page of the file when written

    static constexpr uint32_t kPageSize = 4096;

  private:
    struct OpenPage;
    struct Divider;
    uint32_t newPage();
    unsigned char* page(uint32_t number) { return file_ + size_t(number - 1) * kPageSize; }
    OpenPage startPage(uint8_t kind);
    void finishPage(OpenPage& p, uint32_t rightChild = 0);
    uint32_t cellSize(const OpenPage& p, size_t payload, int64_t rowid) const;
    void writeCell(OpenPage& p, const Record& record, int64_t rowid, uint32_t child,
                   uint32_t& overflow);
    void unwriteCell(OpenPage& p);
    uint32_t writeOverflow(const Record& record, size_t local);
    template <typename Item, typename Write>
    uint32_t interiorLevels(std::vector<Item> items, uint32_t last, uint8_t kind, Write write);

    unsigned char* file_ = nullptr; // null: counting
    uint32_t first_ = 1;
    uint32_t pages_ = 0; // set aside for the tree
    uint32_t header_ = 0;
    uint32_t used_ = 0;
    uint32_t root_ = 0;
    std::vector<unsigned char> spilled_; // scratch: a payload that overflows, whole
    Record record_;                      // scratch
};

// The file the trees are written into: page 1 holds the file header and the schema, the trees
// follow. Allocated with sqlite3_malloc64, for sqlite3_deserialize to own once finished.
class StoreFile {
  public:
    // `pages`: how many the file will likely have, so that it is allocated once.
    explicit StoreFile(size_t pages);
    ~StoreFile();
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    // Room for `pages` pages in all. May move the file: not while a tree is being written.
    void reserve(size_t pages);
    unsigned char* data() { return data_; }

    struct SchemaRow {
        const char* type; // "table" or "index"
        const char* name;
        const char* tableName;
        uint32_t rootPage;
        const char* sql;
    };
    // Writes page 1 for a file of `pages` pages and hands the file over, `size` bytes.
    unsigned char* finish(size_t pages, const std::vector<SchemaRow>& schema, int64_t& size);

  private:
    unsigned char* data_ = nullptr;
    size_t capacity_ = 0; // in pages
};

} // namespace lexivane::db
