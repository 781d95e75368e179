#include "access_reader.h"

#include "access_format.h"
#include "utf8.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace lexivane::access {

namespace {

using Byte = std::uint8_t;
using common::Error;

// A table definition longer than this many pages is taken as a loop of links.
constexpr std::uint64_t kMaxDefPages = 1024;
// The highest row number libmdb reads on a page (a damaged count can name more).
constexpr unsigned kMaxRow = 1000;

std::uint16_t get16(const Byte* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t get32(const Byte* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Thrown inside the reader, caught at readColumn: the reason for the report.
struct Refusal {
    std::string why;
};

[[noreturn]] void refuse(std::string why) {
    throw Refusal{std::move(why)};
}

bool sameName(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

class Pages {
  public:
    Pages(ByteSource& file, const Layout& layout)
        : file_(file), size_(layout.pageSize), count_(file.size() / layout.pageSize) {}
    std::uint64_t count() const { return count_; }
    std::size_t size() const { return size_; }
    // Page n into buf, or false when the file has no such page.
    bool read(std::uint64_t n, std::vector<Byte>& buf) {
        if (n >= count_) return false;
        buf.resize(size_);
        return file_.read(n * size_, buf.data(), size_);
    }

  private:
    ByteSource& file_;
    std::size_t size_;
    std::uint64_t count_;
};

// Where row `row` of a data page lies: from its offset to the previous row's start (rows are
// packed from the page's end backwards).
struct RowSpan {
    std::size_t start = 0, size = 0;
    std::uint16_t entry = 0;
};

// Rows past the page's count are found too, as libmdb finds a usage map's row; a row
// numbered past kMaxRow is not, whatever the page's count (libmdb finds none there).
std::optional<RowSpan> findRow(const Layout& l, const std::vector<Byte>& page, unsigned row) {
    if (row > kMaxRow) return std::nullopt;
    const std::size_t at = l.rowTableOffset + 2 * std::size_t{row};
    if (at + 2 > page.size()) return std::nullopt;
    const std::uint16_t entry = get16(page.data() + at);
    const std::size_t start = entry & kRowOffsetMask;
    const std::size_t end = row == 0 ? page.size() : get16(page.data() + at - 2) & kRowOffsetMask;
    if (start > end || end > page.size()) return std::nullopt;
    return RowSpan{start, end - start, entry};
}

struct Column {
    std::string name;
    Byte type = 0, flags = 0;
    std::size_t position = 0;   // in the definition's list
    std::size_t fixedIndex = 0; // among the fixed columns
    Byte number = 0;
    std::uint16_t varIndex = 0, fixedOffset = 0, length = 0;
};

struct TableDef {
    std::uint32_t page = 0;
    std::uint32_t numRows = 0;
    std::uint16_t varColumns = 0; // libmdb reads no variable column past this many
    std::vector<Column> columns;
    std::vector<Byte> usageMap;
};

// A field of a row: NULL, or bytes [start, start + size) of its page; or a row libmdb passes
// over (kSkip), or one it cannot give the value of (kBad).
struct Field {
    enum Kind { kNull, kValue, kSkip, kBad } kind = kNull;
    std::size_t start = 0, size = 0;
};

class Reader {
  public:
    Reader(ByteSource& file, const Layout& layout)
        : l_(layout), pages_(file, layout), maxRows_(file.size() / 4) {}

    // The table definition on `page`, or nothing when it cannot be read.
    std::optional<TableDef> tableDef(std::uint32_t page);
    std::uint32_t findTable(std::string_view name);
    template <typename OnRow> void forEachRow(const TableDef& t, OnRow&& onRow);
    Field field(const std::vector<Byte>& page, const RowSpan& row, const TableDef& t,
                const Column& c, bool bound = false) const;
    std::string text(const std::vector<Byte>& page, const Field& f, const Column& c);

  private:
    template <typename OnPage> void forEachMappedPage(const std::vector<Byte>& map, OnPage&& on);
    void memo(const std::vector<Byte>& page, const Field& f, std::vector<Byte>& out);

    const Layout& l_;
    Pages pages_;
    std::uint64_t maxRows_;
    std::vector<Byte> map_, lval_;
    // The page libmdb holds just after the one it reads rows from (the last usage-map or
    // memo page it read), where a null mask read past the page's end goes on.
    std::vector<Byte> side_;
};

std::optional<TableDef> Reader::tableDef(std::uint32_t page) {
    std::vector<Byte> def, next;
    if (!pages_.read(page, def) || def[0] != kTableDefPage) return std::nullopt;
    // A long definition goes on over further pages, each after its 8-byte header, read when
    // a field reaches past what is read so far (as libmdb reads it: a link it cannot follow
    // leaves the columns read until then). Bounded: a loop of links ends at the cap.
    std::uint32_t link = get32(def.data() + 4);
    std::uint64_t hops = 0;
    auto have = [&](std::uint64_t end) {
        while (def.size() < end) {
            if (link == 0 || ++hops > std::min<std::uint64_t>(pages_.count(), kMaxDefPages) ||
                !pages_.read(link, next))
                return false;
            def.insert(def.end(), next.begin() + 8, next.end());
            link = get32(next.data() + 4);
        }
        return true;
    };
    TableDef t;
    t.page = page;
    t.numRows = get32(def.data() + l_.numRowsOffset);
    t.varColumns = get16(def.data() + l_.varColumnCountOffset);
    const unsigned columns = get16(def.data() + l_.columnCountOffset);
    // The index entries come first; libmdb counts their size in 32 bits, and so does this.
    const auto indexBytes = static_cast<std::uint32_t>(get32(def.data() + l_.realIndexCountOffset) *
                                                       std::uint64_t{l_.realIndexSize});
    std::uint64_t at = l_.columnsOffset + std::uint64_t{indexBytes};
    for (unsigned i = 0; i < columns && have(at + l_.columnSize); ++i, at += l_.columnSize) {
        const Byte* e = def.data() + at;
        Column c;
        c.type = e[0];
        c.number = e[l_.columnNumberOffset]; // libmdb keeps its low byte only
        c.varIndex = get16(e + l_.varIndexOffset);
        c.flags = e[l_.flagsOffset];
        c.fixedOffset = get16(e + l_.fixedOffsetOffset);
        c.length = get16(e + l_.lengthOffset);
        t.columns.push_back(std::move(c));
    }
    const std::size_t lengthSize = l_.jet3 ? 1 : 2;
    for (Column& c : t.columns) {
        if (!have(at + lengthSize)) break;
        const std::size_t n = l_.jet3 ? def[at] : get16(def.data() + at);
        at += lengthSize;
        if (!have(at + n)) break;
        if (l_.jet3)
            decodeJet3Text(def.data() + at, n, c.name);
        else
            decodeJet4Text(def.data() + at, n, c.name);
        at += n;
    }
    // Stored in any order; a row holds them in the order of their numbers.
    std::stable_sort(t.columns.begin(), t.columns.end(),
                     [](const Column& a, const Column& b) { return a.number < b.number; });
    for (std::size_t i = 0, fixed = 0; i < t.columns.size(); ++i) {
        t.columns[i].position = i;
        t.columns[i].fixedIndex = fixed;
        fixed += t.columns[i].flags & kFixedColumn;
    }

    // The usage map: a row elsewhere, named by page << 8 | row. libmdb also fetches the map of
    // pages with free space, after it, and fails when that page starts past the file's end.
    const std::uint32_t mapPointer = get32(def.data() + l_.usedPagesOffset);
    // Its row must be there (a page just past the end reads as whatever libmdb last read).
    const std::uint32_t freePointer = get32(def.data() + l_.usedPagesOffset + 4);
    std::vector<Byte> freePage;
    if ((freePointer >> 8) > pages_.count() ||
        (pages_.read(freePointer >> 8, freePage) && !findRow(l_, freePage, freePointer & 0xFF)))
        return std::nullopt;
    std::vector<Byte> mapPage;
    if (!pages_.read(mapPointer >> 8, mapPage)) return std::nullopt;
    const std::optional<RowSpan> mapRow = findRow(l_, mapPage, mapPointer & 0xFF);
    if (!mapRow || mapRow->size < 1) return std::nullopt;
    const auto* map = mapPage.data() + mapRow->start;
    if (map[0] == 0 && mapRow->size < 5) return std::nullopt;
    t.usageMap.assign(map, map + mapRow->size);
    side_ = freePage.empty() ? mapPage : freePage;
    return t;
}

// Calls on(page) for each page the map marks, in order, until on() says stop. A map of type 0
// is a start page and a bitmap; one of type 1 lists pages that each hold a bitmap; libmdb
// reads a map of another type, or a map page it cannot read, as "every page from here on".
template <typename OnPage>
void Reader::forEachMappedPage(const std::vector<Byte>& map, OnPage&& on) {
    std::uint64_t last = 0; // the last page given to on()
    auto visit = [&](std::uint64_t n) {
        last = n;
        return on(n);
    };
    // libmdb's answer to a map it cannot use: every page from the last one on, in order (the
    // last one again: its rows come twice).
    auto everyPage = [&] {
        for (std::uint64_t n = last; n < pages_.count(); ++n)
            if (!visit(n)) return;
    };
    // A page number is counted in 32 bits, as libmdb counts it; one that is negative as a
    // signed number is a map it cannot use.
    auto bits = [&](const Byte* bitmap, std::size_t bytes, std::uint64_t first) {
        for (std::size_t i = 0; i < bytes; ++i) {
            if (bitmap[i] == 0) continue;
            for (unsigned b = 0; b < 8; ++b) {
                if (!(bitmap[i] >> b & 1)) continue;
                const auto n = static_cast<std::uint32_t>(first + i * 8 + b);
                if (n > std::uint32_t{std::numeric_limits<std::int32_t>::max()}) {
                    everyPage();
                    return false;
                }
                if (!visit(n)) return false;
            }
        }
        return true;
    };
    if (map[0] == 0) {
        bits(map.data() + 5, map.size() - 5, get32(map.data() + 1));
        return;
    }
    if (map[0] != 1) {
        everyPage();
        return;
    }
    const std::uint64_t perPage = (pages_.size() - 4) * 8;
    for (std::size_t k = 0; 1 + 4 * k + 4 <= map.size(); ++k) {
        const std::uint32_t mapPage = get32(map.data() + 1 + 4 * k);
        if (mapPage == 0) continue;
        if (!pages_.read(mapPage, map_)) {
            everyPage();
            return;
        }
        side_ = map_;
        // Copied: on() may read pages into other buffers, never into this one.
        const std::vector<Byte> bitmap(map_.begin() + 4, map_.end());
        if (!bits(bitmap.data(), bitmap.size(), k * perPage)) return;
    }
}

// Each row of the table's data pages, in stored order, while onRow() says go on. A mapped
// page the file lacks ends the walk (the row count check then tells); pages of other tables
// and pointer rows are passed over.
template <typename OnRow> void Reader::forEachRow(const TableDef& t, OnRow&& onRow) {
    std::vector<Byte> page;
    std::uint64_t rows = 0;
    forEachMappedPage(t.usageMap, [&](std::uint64_t n) {
        if (!pages_.read(n, page)) return false;
        if (page[0] != kDataPage || get32(page.data() + 4) != t.page) return true;
        const unsigned onPage = get16(page.data() + l_.rowCountOffset);
        for (unsigned r = 0; r < onPage; ++r) {
            const std::optional<RowSpan> row = findRow(l_, page, r);
            if (!row || row->size == 0 || (row->entry & kLookupRow)) continue;
            if (std::any_of(t.columns.begin(), t.columns.end(), [&](const Column& c) {
                    return field(page, *row, t, c).kind == Field::kSkip;
                }))
                continue;
            if (++rows > maxRows_) refuse("damaged (the table's pages do not add up)");
            if (!onRow(page, *row)) return false;
        }
        return true;
    });
}

Field Reader::field(const std::vector<Byte>& page, const RowSpan& span, const TableDef& t,
                    const Column& c, bool bound) const {
    const Byte* row = page.data() + span.start;
    const std::size_t size = span.size, rowEnd = span.start + span.size;
    const std::size_t countSize = l_.jet3 ? 1 : 2;
    const Field skip{Field::kSkip}, bad{Field::kBad}, null{Field::kNull};
    if (span.start >= page.size()) return skip;
    // A count in the page's last byte takes its high byte from the buffer after the page, as
    // libmdb reads it (see the mask below).
    unsigned columns = row[0];
    if (!l_.jet3) {
        Byte high = 0;
        if (span.start + 1 < page.size())
            high = row[1];
        else if (page.size() == kJet4PageSize && !side_.empty())
            high = side_[0];
        columns |= unsigned(high) << 8;
    }
    // The null mask, the variable-column count and table are found backwards from the row's
    // end; a mask wider than the row reaches into the bytes before it, as libmdb reads it.
    // Positions here are in the page, and never outside it.
    const std::size_t maskSize = (columns + 7) / 8;
    if (rowEnd < maskSize) return skip;
    const std::size_t maskAt = rowEnd - maskSize;
    const Byte* p = page.data();
    // A row names how many of the definition's columns it holds; libmdb refuses to find a
    // later one in it (once the row is found sound), and so does this reader, to give what
    // the helper always gave. A column libmdb binds itself (`bound`: Jet 3 text, memo) is
    // still given when it is the one just past that count.
    const Field value = c.position >= columns + (bound ? 1u : 0u) ? bad : Field{Field::kValue};
    // A column's bit is at its number, read on past the mask (as libmdb reads it): past the
    // page's end, Jet 3's rest of a 4096-byte buffer is zero, and after that comes the page
    // libmdb read last beside it.
    const std::size_t bitAt = maskAt + c.number / 8u;
    Byte maskByte = 0;
    if (bitAt < page.size())
        maskByte = p[bitAt];
    else if (bitAt >= kJet4PageSize && bitAt - kJet4PageSize < side_.size())
        maskByte = side_[bitAt - kJet4PageSize];
    const bool present = maskByte >> (c.number % 8) & 1;
    if (c.flags & kFixedColumn) {
        // A row holds the first (columns - its variable ones) fixed columns; later ones are
        // NULL there.
        const std::size_t varCount =
            l_.jet3 ? (maskAt >= 1 ? p[maskAt - 1] : 0) : (maskAt >= 2 ? get16(p + maskAt - 2) : 0);
        if (value.kind == Field::kBad) return bad;
        // Counted without sign, as libmdb counts it: more variable columns than columns
        // leaves every fixed one in the row.
        const std::size_t fixedHeld = columns - varCount;
        if (c.fixedIndex >= fixedHeld || !present) return null;
        const std::size_t start = countSize + c.fixedOffset;
        if (start + c.length > size) return skip;
        return Field{Field::kValue, span.start + start, c.length};
    }
    // Variable columns: a table of where each starts, ending with the end of the data. Jet 3
    // keeps one byte each, plus a jump table of the columns where another 256 begins.
    // Past the definition's count of variable columns libmdb reads none of the row's table.
    if (c.varIndex >= t.varColumns) return value.kind == Field::kBad ? bad : null;
    std::size_t entries = 0, jumps = 0, varCount = 0;
    const std::size_t entrySize = l_.jet3 ? 1 : 2;
    if (l_.jet3) {
        jumps = (size - 1) / 256;
        if (maskAt < 1 + jumps) return skip;
        varCount = p[maskAt - 1];
        entries = maskAt - 1 - jumps;
    } else {
        if (maskAt < 2) return skip;
        varCount = get16(p + maskAt - 2);
        entries = maskAt - 2;
    }
    // The table, with the end of the data as its last entry, must start inside the page
    // (not at its first byte), though it may reach before the row.
    if (entrySize * (varCount + 1) >= entries) return skip;
    if (c.varIndex >= varCount) return value.kind == Field::kBad ? bad : null;
    // Jet 3's jump table is taken in order: entry after entry, while the next one names the
    // column at hand (as libmdb reads it; the same as "entries at or below" when sound).
    auto offset = [&](std::size_t i) -> std::size_t {
        if (!l_.jet3) return get16(p + entries - 2 * (i + 1));
        std::size_t used = 0;
        for (std::size_t col = 0; col <= i; ++col)
            while (used < jumps && p[maskAt - 2 - used] == col)
                ++used;
        return used * 256 + p[entries - 1 - i];
    };
    // Data past the row's end makes libmdb pass the row over; an end before the start is a
    // value it cannot give.
    const std::size_t start = offset(c.varIndex), end = offset(c.varIndex + 1u);
    if (end > size) return skip;
    if (value.kind == Field::kBad) return bad;
    if (!present) return null;
    if (start > end) return bad;
    return Field{Field::kValue, span.start + start, end - start};
}

std::string Reader::text(const std::vector<Byte>& page, const Field& f, const Column& c) {
    const Byte* p = page.data() + f.start;
    std::size_t n = f.size;
    std::vector<Byte> long_;
    if (c.type == kMemo) {
        memo(page, f, long_);
        p = long_.data();
        n = long_.size();
    }
    std::string out;
    if (l_.jet3)
        decodeJet3Text(p, n, out);
    else
        decodeJet4Text(p, n, out);
    return out;
}

// A memo field holds its length (the top two bits are flags), then either the text itself
// (0x80), or a pointer to one row holding it (0x40), or to the first of a chain of rows
// that each begin with a pointer to the next (0x00).
void Reader::memo(const std::vector<Byte>& page, const Field& f, std::vector<Byte>& out) {
    if (f.size < 12) refuse("damaged (a row of the table cannot be read)");
    const Byte* h = page.data() + f.start;
    const std::uint32_t length = get32(h) & 0x3FFFFFFF;
    const Byte kind = h[3] & 0xC0;
    if (kind == 0x80) {
        if (length > f.size - 12) refuse("damaged (a row of the table cannot be read)");
        out.assign(h + 12, h + 12 + length);
        return;
    }
    std::uint32_t pointer = get32(h + 4);
    for (std::uint64_t hops = 0; out.size() < length; ++hops) {
        if (hops >= pages_.count() || !pages_.read(pointer >> 8, lval_))
            refuse("damaged (a memo value cannot be read)");
        side_ = lval_;
        const std::optional<RowSpan> row = findRow(l_, lval_, pointer & 0xFF);
        if (!row) refuse("damaged (a memo value cannot be read)");
        const Byte* data = lval_.data() + row->start;
        std::size_t n = row->size;
        if (kind == 0x00) {
            if (n < 4) refuse("damaged (a memo value cannot be read)");
            pointer = get32(data);
            data += 4;
            n -= 4;
        }
        n = std::min<std::size_t>(n, length - out.size());
        out.insert(out.end(), data, data + n);
        if (kind != 0x00 || pointer == 0) break;
    }
}

std::uint32_t Reader::findTable(std::string_view name) {
    const std::optional<TableDef> catalog = tableDef(kCatalogDefPage);
    if (!catalog) refuse("damaged (the catalog cannot be read)");
    const Column *id = nullptr, *objectName = nullptr, *type = nullptr;
    for (const Column& c : catalog->columns) {
        if (!id && sameName(c.name, "Id")) id = &c;
        if (!objectName && sameName(c.name, "Name")) objectName = &c;
        if (!type && sameName(c.name, "Type")) type = &c;
    }
    if (!id || !objectName || !type) refuse("damaged (the catalog cannot be read)");
    std::optional<std::uint32_t> found;
    // Id and Type as numbers of their column's type; anything else counts as 0.
    auto number = [](const std::vector<Byte>& page, const Field& f,
                     const Column& c) -> std::int64_t {
        // The type's own size, whatever length the definition gives (as libmdb reads it).
        const Byte* p = page.data() + f.start;
        if (f.kind != Field::kValue || f.size == 0) return 0;
        if (c.type == kInt && f.start + 2 <= page.size())
            return static_cast<std::int16_t>(get16(p));
        if (c.type == kLong && f.start + 4 <= page.size())
            return static_cast<std::int32_t>(get32(p));
        return 0;
    };
    try {
        forEachRow(*catalog, [&](const std::vector<Byte>& page, const RowSpan& row) {
            const Field t = field(page, row, *catalog, *type);
            const Field n = field(page, row, *catalog, *objectName);
            if (number(page, t, *type) != kTableObject || n.kind != Field::kValue ||
                objectName->type != kText || !sameName(text(page, n, *objectName), name))
                return true;
            found = static_cast<std::uint32_t>(number(page, field(page, row, *catalog, *id), *id)) &
                    0x00FFFFFF;
            return false;
        });
    } catch (const Refusal&) {
        refuse("damaged (the catalog cannot be read)");
    }
    if (!found) refuse("no table named " + std::string(name));
    return *found;
}

// Code page 1252's characters for 0x80..0x9F ('?' where it has none); the other bytes are
// Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, u'?',   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, u'?',   0x017D, u'?',   u'?',   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, u'?',   0x017E, 0x0178};

} // namespace

bool MemorySource::read(std::uint64_t at, std::uint8_t* out, std::size_t n) {
    if (at > bytes_.size() || n > bytes_.size() - at) return false;
    std::memcpy(out, bytes_.data() + at, n);
    return true;
}

StreamSource::StreamSource(const std::string& path) : in_(path, std::ios::binary) {
    if (!in_) return;
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

bool StreamSource::read(std::uint64_t at, std::uint8_t* out, std::size_t n) {
    if (at > size_ || n > size_ - at) return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    in_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
    return in_.gcount() == static_cast<std::streamsize>(n);
}

common::Expected<FileFormat> checkFile(ByteSource& file) {
    const std::uint64_t size = file.size();
    if (size == 0) return Error{"empty file, not an Access database"};
    Byte hdr[0x98] = {};
    static constexpr char jet[] = "Standard Jet DB";
    static constexpr char ace[] = "Standard ACE DB";
    if (size < sizeof hdr || !file.read(0, hdr, sizeof hdr) ||
        std::memcmp(hdr, "\x00\x01\x00\x00", 4) != 0 ||
        (std::memcmp(hdr + 4, jet, sizeof jet) != 0 && std::memcmp(hdr + 4, ace, sizeof ace) != 0))
        return Error{"not an Access database (no Jet/ACE signature)"};
    const int version = hdr[kVersionOffset];
    if (version > 0x06) return Error{"unknown Access file version " + std::to_string(version)};
    const std::size_t page = version == 0 ? kJet3PageSize : kJet4PageSize;
    if (size % page != 0)
        return Error{"damaged (size " + std::to_string(size) + " is not a multiple of " +
                     std::to_string(page) + "-byte pages)"};
    if (size < 3 * page) return Error{"damaged (too short to hold a catalog)"};
    maskHeaderBlock(hdr + kMaskedOffset, version == 0 ? kJet3MaskedSize : kJet4MaskedSize);
    if (get32(hdr + kDatabaseKeyOffset) != 0)
        return Error{"encrypted (a password-protected database cannot be read)"};
    Byte catalog = 0;
    if (!file.read(kCatalogDefPage * page, &catalog, 1) || catalog != kTableDefPage)
        return Error{"damaged (page 2 is not the catalog table definition)"};
    return FileFormat{version, page};
}

common::Expected<std::uint32_t> readColumn(ByteSource& file, std::string_view table,
                                           std::string_view column, ValueSink& sink) {
    const common::Expected<FileFormat> format = checkFile(file);
    if (!format) return format.error();
    const Layout& layout = format->version == 0 ? kJet3Layout : kJet4Layout;
    Reader reader(file, layout);
    try {
        const std::optional<TableDef> t = reader.tableDef(reader.findTable(table));
        if (!t)
            refuse("damaged (the definition of table " + std::string(table) + " cannot be read)");
        const Column* c = nullptr;
        for (const Column& each : t->columns)
            if (sameName(each.name, column)) {
                c = &each;
                break;
            }
        if (!c)
            refuse("table " + std::string(table) + " has no column named " + std::string(column));
        if (c->type != kText && c->type != kMemo)
            refuse("column " + std::string(column) + " is not a text column");
        std::uint32_t rows = 0;
        reader.forEachRow(*t, [&](const std::vector<Byte>& page, const RowSpan& row) {
            const Field f = reader.field(page, row, *t, *c, layout.jet3 || c->type == kMemo);
            ++rows;
            // libmdb's own text conversion (Jet 3, memo) makes an empty text of a value it
            // cannot give; the helper refused one of Jet 4 text, which it decoded itself.
            if (f.kind == Field::kBad && (layout.jet3 || c->type == kMemo)) {
                sink.value("", 0);
                return true;
            }
            if (f.kind == Field::kBad) refuse("damaged (a row of the table cannot be read)");
            if (f.kind == Field::kNull) {
                sink.null();
                return true;
            }
            const Byte* p = page.data() + f.start;
            // Most words are compressed text of plain ASCII: already their own UTF-8.
            if (c->type == kText && !layout.jet3 && f.size >= 2 && p[0] == 0xFF && p[1] == 0xFE &&
                std::all_of(p + 2, p + f.size, [](Byte b) { return b != 0 && b < 0x80; })) {
                sink.value(reinterpret_cast<const char*>(p + 2), f.size - 2);
                return true;
            }
            const std::string text = reader.text(page, f, *c);
            sink.value(text.data(), text.size());
            return true;
        });
        if (rows != t->numRows)
            refuse("damaged (the table's definition counts " + std::to_string(t->numRows) +
                   " rows, its pages hold " + std::to_string(rows) + ")");
        return rows;
    } catch (const Refusal& r) {
        return Error{r.why};
    }
}

void decodeJet4Text(const std::uint8_t* p, std::size_t n, std::string& out) {
    out.clear();
    std::uint32_t high = 0; // pending high surrogate
    auto unit = [&](std::uint32_t u) {
        if (high) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                appendUtf8(0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00), out);
                high = 0;
                return;
            }
            appendUtf8(0xFFFD, out);
            high = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            high = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            appendUtf8(0xFFFD, out);
        else
            appendUtf8(u, out);
    };
    std::size_t i = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        for (i = 2; i < n;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                unit(p[i++]);
            } else if (i + 1 < n) {
                unit(std::uint32_t(p[i]) | std::uint32_t(p[i + 1]) << 8);
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < n; i += 2)
            unit(std::uint32_t(p[i]) | std::uint32_t(p[i + 1]) << 8);
    }
    if (high) appendUtf8(0xFFFD, out);
}

void decodeJet3Text(const std::uint8_t* p, std::size_t n, std::string& out) {
    out.clear();
    // As libmdb gives it: up to the first NUL, "?" for the bytes the code page leaves out.
    for (std::size_t i = 0; i < n && p[i] != 0; ++i)
        appendUtf8(p[i] >= 0x80 && p[i] < 0xA0 ? kCp1252High[p[i] - 0x80] : p[i], out);
}

} // namespace lexivane::access
