#include "store_image.h"

#include "huge_pages.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sqlite3.h>
#include <stdexcept>

// The layout follows SQLite's file format (https://www.sqlite.org/fileformat2.html): a 100-byte
// header on page 1, b-tree pages of 4096 bytes, records of serial types, payloads past a page's
// share spilled onto overflow pages. The b-trees are built bottom up, every page filled in turn.

namespace lexivane::db {
namespace {

constexpr uint8_t kIndexInterior = 0x02;
constexpr uint8_t kTableInterior = 0x05;
constexpr uint8_t kIndexLeaf = 0x0A;
constexpr uint8_t kTableLeaf = 0x0D;
constexpr uint32_t kUsable = BTreeImage::kPageSize; // no bytes reserved per page

int varintLength(uint64_t v) {
    if (v >> 56) return 9;
    int n = 1;
    while (v >>= 7)
        ++n;
    return n;
}

int putVarint(unsigned char* p, uint64_t v) {
    if (v < 0x80) {
        *p = static_cast<unsigned char>(v);
        return 1;
    }
    if (v >> 56) {
        p[8] = static_cast<unsigned char>(v);
        v >>= 8;
        for (int i = 7; i >= 0; --i, v >>= 7)
            p[i] = static_cast<unsigned char>((v & 0x7F) | 0x80);
        return 9;
    }
    const int n = varintLength(v);
    for (int i = n - 1; i >= 0; --i, v >>= 7)
        p[i] = static_cast<unsigned char>((v & 0x7F) | (i == n - 1 ? 0 : 0x80));
    return n;
}

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}

void put32(unsigned char* p, uint32_t v) {
    for (int i = 3; i >= 0; --i, v >>= 8)
        p[i] = static_cast<unsigned char>(v);
}

// How much of a payload of `size` bytes stays on its b-tree page; the rest overflows.
uint32_t localPayload(size_t size, bool tableLeaf) {
    const uint32_t most = tableLeaf ? kUsable - 35 : (kUsable - 12) * 64 / 255 - 23;
    if (size <= most) return static_cast<uint32_t>(size);
    const uint32_t least = (kUsable - 12) * 32 / 255 - 23;
    const uint32_t share = least + static_cast<uint32_t>((size - least) % (kUsable - 4));
    return share <= most ? share : least;
}

// The bytes a value of serial `type` takes in a record's body.
size_t bodySize(uint64_t type) {
    static constexpr uint8_t kIntBytes[10] = {0, 1, 2, 3, 4, 6, 8, 8, 0, 0};
    return type < 10 ? kIntBytes[type] : size_t((type - 12) / 2);
}

} // namespace

// ---- records ----

void Record::add(uint64_t type, int64_t value, const char* text) {
    if (columns_ == column_.size()) throw std::length_error("too many columns in a record");
    column_[columns_++] = {type, value, text};
    typesSize_ += size_t(varintLength(type));
    bodySize_ += bodySize(type);
}

void Record::addInt(int64_t v) {
    if (v == 0 || v == 1) return add(8 + static_cast<uint64_t>(v), 0, nullptr);
    const uint64_t magnitude = static_cast<uint64_t>(v < 0 ? ~v : v);
    uint64_t type = 6;
    if (magnitude <= 0x7F)
        type = 1;
    else if (magnitude <= 0x7FFF)
        type = 2;
    else if (magnitude <= 0x7FFFFF)
        type = 3;
    else if (magnitude <= 0x7FFFFFFF)
        type = 4;
    else if (magnitude <= 0x7FFFFFFFFFFF)
        type = 5;
    add(type, v, nullptr);
}

// The header's length counts its own varint.
size_t Record::headerSize() const {
    return typesSize_ + 1 < 0x80 ? typesSize_ + 1 : typesSize_ + 2;
}

void Record::write(unsigned char* out) const {
    out += putVarint(out, headerSize());
    for (size_t i = 0; i < columns_; ++i)
        out += putVarint(out, column_[i].type);
    for (size_t i = 0; i < columns_; ++i) {
        const Column& c = column_[i];
        const size_t n = bodySize(c.type);
        if (c.type >= 12) {
            std::memcpy(out, c.text, n);
        } else {
            const auto u = static_cast<uint64_t>(c.value);
            for (size_t k = 0; k < n; ++k)
                out[k] = static_cast<unsigned char>(u >> (8 * (n - 1 - k)));
        }
        out += n;
    }
}

// ---- pages ----

struct BTreeImage::OpenPage {
    uint32_t number = 0; // 0: none open
    uint8_t kind = 0;
    uint32_t header = 0; // where the b-tree header starts: after the file header on page 1
    uint32_t cells = 0;
    uint32_t content = kUsable; // cell content grows down from the end
    uint32_t lastCell = 0;      // size of the cell written last, to take it back
    uint32_t lastOverflow = 0;  // and its first overflow page

    bool leaf() const { return kind == kTableLeaf || kind == kIndexLeaf; }
    uint32_t headerSize() const { return leaf() ? 8 : 12; }
    uint32_t pointersEnd() const { return header + headerSize() + 2 * cells; }
    bool fits(uint32_t cell) const { return pointersEnd() + 2 + cell <= content; }
};

// An index entry that separates two pages of a level: it sits in their parent, left of the
// pointer to the page below it.
struct BTreeImage::Divider {
    uint32_t child;
    size_t entry;
    uint32_t overflow; // its overflow chain once written (0: none yet)
};

BTreeImage::BTreeImage(unsigned char* file, uint32_t first, uint32_t pages, uint32_t header)
    : file_(file), first_(first), pages_(pages), header_(header) {}

uint32_t BTreeImage::newPage() {
    const uint32_t number = first_ + used_++;
    if (file_) {
        if (used_ > pages_) throw std::logic_error("a tree outgrew the pages counted for it");
        std::memset(page(number), 0, kPageSize);
    }
    return number;
}

BTreeImage::OpenPage BTreeImage::startPage(uint8_t kind) {
    OpenPage p;
    p.number = newPage();
    p.kind = kind;
    p.header = p.number == first_ ? header_ : 0;
    return p;
}

void BTreeImage::finishPage(OpenPage& p, uint32_t rightChild) {
    if (!file_) return;
    unsigned char* h = page(p.number) + p.header;
    h[0] = p.kind;
    put16(h + 1, 0); // no free blocks
    put16(h + 3, p.cells);
    put16(h + 5, p.content == 65536 ? 0 : p.content);
    h[7] = 0; // no fragmented bytes
    if (!p.leaf()) put32(h + 8, rightChild);
}

uint32_t BTreeImage::cellSize(const OpenPage& p, size_t payload, int64_t rowid) const {
    if (p.kind == kTableInterior) return 4 + uint32_t(varintLength(uint64_t(rowid)));
    const uint32_t local = localPayload(payload, p.kind == kTableLeaf);
    uint32_t size = uint32_t(varintLength(payload)) + local + (local < payload ? 4 : 0);
    if (p.kind == kTableLeaf) size += uint32_t(varintLength(uint64_t(rowid)));
    if (p.kind == kIndexInterior) size += 4;
    return size;
}

// The part of the record past `local` bytes, on a chain of overflow pages.
uint32_t BTreeImage::writeOverflow(const Record& record, size_t local) {
    const size_t payload = record.size();
    if (file_) {
        spilled_.resize(payload);
        record.write(spilled_.data());
    }
    uint32_t first = 0, previous = 0;
    for (size_t at = local; at < payload;) {
        const uint32_t number = newPage();
        const size_t take = std::min<size_t>(payload - at, kUsable - 4);
        if (file_) {
            if (previous) put32(page(previous), number);
            std::memcpy(page(number) + 4, spilled_.data() + at, take);
        }
        if (!previous) first = number;
        at += take;
        previous = number;
    }
    return first;
}

// `overflow` names the payload's overflow chain when it was written before (a cell taken back
// from one page and put in its parent keeps its chain); a new chain is written and named
// there otherwise.
void BTreeImage::writeCell(OpenPage& p, const Record& record, int64_t rowid, uint32_t child,
                           uint32_t& overflow) {
    const size_t payload = p.kind == kTableInterior ? 0 : record.size();
    const uint32_t size = cellSize(p, payload, rowid);
    const uint32_t local =
        p.kind == kTableInterior ? 0 : localPayload(payload, p.kind == kTableLeaf);
    if (local < payload && !overflow) overflow = writeOverflow(record, local);
    p.content -= size;
    if (file_) {
        unsigned char* base = page(p.number);
        unsigned char* c = base + p.content;
        if (!p.leaf()) {
            put32(c, child);
            c += 4;
        }
        if (p.kind == kTableInterior) {
            putVarint(c, uint64_t(rowid));
        } else {
            c += putVarint(c, payload);
            if (p.kind == kTableLeaf) c += putVarint(c, uint64_t(rowid));
            if (local < payload) {
                spilled_.resize(payload);
                record.write(spilled_.data());
                std::memcpy(c, spilled_.data(), local);
                put32(c + local, overflow);
            } else {
                record.write(c);
            }
        }
        put16(base + p.pointersEnd(), p.content);
    }
    ++p.cells;
    p.lastCell = size;
    p.lastOverflow = local < payload ? overflow : 0;
}

void BTreeImage::unwriteCell(OpenPage& p) {
    if (file_) {
        unsigned char* base = page(p.number);
        std::memset(base + p.content, 0, p.lastCell);
        std::memset(base + p.pointersEnd() - 2, 0, 2);
    }
    p.content += p.lastCell;
    --p.cells;
    p.lastCell = 0;
    p.lastOverflow = 0;
}

// ---- b-trees ----

void BTreeImage::buildTable(size_t rows, const Fill& fill) {
    struct Leaf {
        uint32_t child;
        int64_t lastRowid;
    };
    std::vector<Leaf> leaves; // all but the last
    OpenPage leaf = startPage(kTableLeaf);
    for (size_t k = 0; k < rows; ++k) {
        const int64_t rowid = int64_t(k) + 1;
        record_.clear();
        fill(k, record_);
        if (!leaf.fits(cellSize(leaf, record_.size(), rowid))) {
            finishPage(leaf);
            leaves.push_back({leaf.number, rowid - 1});
            leaf = startPage(kTableLeaf);
        }
        uint32_t overflow = 0;
        writeCell(leaf, record_, rowid, 0, overflow);
    }
    finishPage(leaf);
    root_ = interiorLevels(std::move(leaves), leaf.number, kTableInterior,
                           [&](OpenPage& p, const Leaf& item) {
                               if (!p.fits(cellSize(p, 0, item.lastRowid))) return false;
                               uint32_t noOverflow = 0;
                               writeCell(p, record_, item.lastRowid, item.child, noOverflow);
                               return true;
                           });
}

// The interior levels over `items`, each a page of the level below (but its last, `last`) with
// what goes up with it, and returns the root. `write(p, item)` writes the item's cell into `p`
// if it fits and says whether it did. Every page gets at least one cell: four of the largest
// fit a page, so when one does not fit there is one to take back for the level's last page.
template <typename Item, typename Write>
uint32_t BTreeImage::interiorLevels(std::vector<Item> items, uint32_t last, uint8_t kind,
                                    Write write) {
    while (!items.empty()) {
        std::vector<Item> up;
        const size_t m = items.size();
        for (size_t i = 0;;) {
            OpenPage p = startPage(kind);
            size_t j = i;
            while (j < m && write(p, items[j]))
                ++j;
            if (j == m) {
                finishPage(p, last);
                last = p.number;
                break;
            }
            // items[j] becomes this page's right child; one must be left over for the next.
            if (j + 1 == m) {
                unwriteCell(p);
                --j;
            }
            finishPage(p, items[j].child);
            up.push_back(items[j]);
            up.back().child = p.number;
            i = j + 1;
        }
        items = std::move(up);
    }
    return last;
}

void BTreeImage::buildIndex(size_t entries, const Fill& fill) {
    std::vector<Divider> dividers;
    OpenPage leaf;
    for (size_t e = 0; e < entries; ++e) {
        record_.clear();
        fill(e, record_);
        if (!leaf.number) leaf = startPage(kIndexLeaf);
        if (!leaf.fits(cellSize(leaf, record_.size(), 0))) {
            if (e + 1 < entries) {
                // Entry e goes up between this leaf and the next.
                finishPage(leaf);
                dividers.push_back({leaf.number, e, 0});
                leaf = OpenPage{};
                continue;
            }
            // The last entry going up would leave the last leaf empty: the leaf's own last
            // entry goes up instead, and the last entry starts a leaf of its own.
            const uint32_t overflow = leaf.lastOverflow;
            unwriteCell(leaf);
            finishPage(leaf);
            dividers.push_back({leaf.number, e - 1, overflow});
            leaf = startPage(kIndexLeaf);
        }
        uint32_t overflow = 0;
        writeCell(leaf, record_, 0, 0, overflow);
    }
    if (!leaf.number) leaf = startPage(kIndexLeaf);
    finishPage(leaf);
    // The interior cells are the dividing entries themselves, which are in no leaf.
    root_ = interiorLevels(std::move(dividers), leaf.number, kIndexInterior,
                           [&](OpenPage& p, Divider& item) {
                               record_.clear();
                               fill(item.entry, record_);
                               if (!p.fits(cellSize(p, record_.size(), 0))) return false;
                               writeCell(p, record_, 0, item.child, item.overflow);
                               return true;
                           });
}

// ---- the file ----

StoreFile::StoreFile(size_t pages) {
    reserve(std::max<size_t>(pages, 1));
}

StoreFile::~StoreFile() {
    sqlite3_free(data_);
}

void StoreFile::reserve(size_t pages) {
    if (pages <= capacity_) return;
    auto* grown = static_cast<unsigned char*>(
        sqlite3_realloc64(data_, uint64_t(pages) * BTreeImage::kPageSize));
    if (!grown) throw std::bad_alloc();
    data_ = grown;
    capacity_ = pages;
    preferHugePages(data_, capacity_ * BTreeImage::kPageSize);
}

unsigned char* StoreFile::finish(size_t pages, const std::vector<SchemaRow>& schema,
                                 int64_t& size) {
    constexpr uint32_t kPage = BTreeImage::kPageSize;
    reserve(pages);
    // Page 1: the schema, a table of its own with the file header before its b-tree header.
    BTreeImage first(data_, 1, 1, 100);
    first.buildTable(schema.size(), [&](size_t k, Record& r) {
        const SchemaRow& row = schema[k];
        r.addText(row.type, std::strlen(row.type));
        r.addText(row.name, std::strlen(row.name));
        r.addText(row.tableName, std::strlen(row.tableName));
        r.addInt(row.rootPage);
        r.addText(row.sql, std::strlen(row.sql));
    });

    unsigned char* h = data_;
    std::memcpy(h, "SQLite format 3", 16);
    put16(h + 16, kPage == 65536 ? 1 : kPage);
    h[18] = 1; // rollback journal, for writing and for reading
    h[19] = 1;
    h[20] = 0;  // no bytes reserved per page
    h[21] = 64; // payload fractions, fixed by the format
    h[22] = 32;
    h[23] = 32;
    put32(h + 24, 1); // change counter
    put32(h + 28, static_cast<uint32_t>(pages));
    std::memset(h + 32, 0, 8); // no free pages
    put32(h + 40, 1);          // schema cookie
    put32(h + 44, 4);          // schema format
    std::memset(h + 48, 0, 8); // no cache size, no auto-vacuum
    put32(h + 56, 1);          // UTF-8
    std::memset(h + 60, 0, 32);
    put32(h + 92, 1); // the page count above is valid for change 1
    put32(h + 96, SQLITE_VERSION_NUMBER);
    size = int64_t(pages) * kPage;
    unsigned char* file = data_;
    data_ = nullptr;
    capacity_ = 0;
    return file;
}

} // namespace lexivane::db
