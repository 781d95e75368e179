#include "jet4.h"

#include "access_format.h"
#include "wordlist.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>

namespace lexivane::mkdb {

namespace {

using Byte = std::uint8_t;

constexpr std::uint32_t kMapRowsPage = 1;
using access::kCatalogDefPage; // readers look for MSysObjects here
constexpr std::uint32_t kCatalogDataPage = 3;
constexpr std::uint32_t kWordsDefPage = 4;
constexpr std::uint32_t kFirstDataPage = 5;

constexpr std::size_t kDataHeaderSize = access::kJet4Layout.rowTableOffset;
constexpr std::size_t kRowCountOffset = access::kJet4Layout.rowCountOffset;
// Access's map rows: type byte, start page, then 64 bytes of bitmap or 16 page pointers
// (17 with the start-page field).
constexpr std::size_t kMapRowSize = 69;
constexpr std::size_t kInlineMapPages = (kMapRowSize - 5) * 8;
constexpr std::size_t kPagesPerMapPage = (kPageSize - 4) * 8;
constexpr std::size_t kMaxMapPages = (kMapRowSize - 1) / 4;
constexpr std::size_t kMaxPages = (std::size_t{2} << 30) / kPageSize; // Jet's 2 GB

using access::ColumnType;
using access::kInt;
using access::kLong;
using access::kOle;
using access::kText;
constexpr Byte kFixed = access::kFixedColumn;
constexpr Byte kNullable = access::kNullableColumn;
enum TableType : Byte { kUserTable = 0x4E, kSystemTable = 0x53 };

void put16(Byte* p, std::uint16_t v) {
    p[0] = static_cast<Byte>(v);
    p[1] = static_cast<Byte>(v >> 8);
}

void put32(Byte* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<Byte>(v >> (8 * i));
}

std::uint16_t get16(const Byte* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void append16(std::vector<Byte>& out, std::uint16_t v) {
    out.push_back(static_cast<Byte>(v));
    out.push_back(static_cast<Byte>(v >> 8));
}

std::uint32_t pageRow(std::uint32_t page, std::uint8_t row) {
    return page << 8 | row;
}

bool fitsOneByte(std::u16string_view s) {
    for (char16_t c : s)
        if (c > 0xFF) return false;
    return true;
}

// Jet's compressed form (FF FE, then one byte per character) when every character allows
// it, plain UCS-2LE otherwise. Never mixed: libmdb also reads a 00 byte inside UCS-2 runs
// as a mode switch.
template <typename Out> void encodeText(std::u16string_view s, Out out) {
    if (fitsOneByte(s)) {
        *out++ = 0xFF;
        *out++ = 0xFE;
        for (char16_t c : s)
            *out++ = static_cast<Byte>(c);
    } else {
        for (char16_t c : s) {
            *out++ = static_cast<Byte>(c);
            *out++ = static_cast<Byte>(c >> 8);
        }
    }
}

std::size_t encodedSize(std::u16string_view s) {
    return fitsOneByte(s) ? s.size() + 2 : s.size() * 2;
}

void startDataPage(Byte* page, std::uint32_t owner) {
    page[0] = 0x01;
    page[1] = 0x01;
    put16(page + 2, kPageSize - kDataHeaderSize);
    put32(page + 4, owner);
}

// Rows fill a data page from its end backwards; row 0 ends at the page end and each
// following row ends where the previous one starts.
std::optional<Byte*> reserveRow(Byte* page, std::size_t size) {
    const std::uint16_t rows = get16(page + kRowCountOffset);
    const std::size_t top = rows ? get16(page + kDataHeaderSize + 2 * (rows - 1)) : kPageSize;
    const std::size_t tableEnd = kDataHeaderSize + 2 * (rows + 1);
    if (top < tableEnd + size) return std::nullopt;
    const std::size_t start = top - size;
    put16(page + kDataHeaderSize + 2 * rows, static_cast<std::uint16_t>(start));
    put16(page + kRowCountOffset, rows + 1);
    put16(page + 2, static_cast<std::uint16_t>(start - tableEnd));
    return page + start;
}

void appendRow(Byte* page, std::span<const Byte> row) {
    auto at = reserveRow(page, row.size());
    if (!at) throw std::logic_error("row does not fit its page");
    std::memcpy(*at, row.data(), row.size());
}

struct Column {
    ColumnType type;
    std::u16string_view name;
    Byte flags;
    std::uint16_t fixedOffset; // fixed columns
    std::uint16_t varIndex;    // variable columns
    std::uint16_t length;      // bytes
};

void writeTableDef(Byte* page, TableType type, std::uint32_t rowCount,
                   std::span<const Column> columns, std::uint32_t usedMap, std::uint32_t freeMap) {
    page[0] = 0x02;
    page[1] = 0x01;
    std::uint16_t varColumns = 0;
    for (const Column& c : columns)
        varColumns += (c.flags & kFixed) ? 0 : 1;
    const auto count = static_cast<std::uint16_t>(columns.size());
    put32(page + 0x10, rowCount);
    page[0x18] = 0x01;
    page[0x28] = type;
    put16(page + 0x29, count);
    put16(page + 0x2B, varColumns);
    put16(page + 0x2D, count);
    put32(page + 0x37, usedMap);
    put32(page + 0x3B, freeMap);

    Byte* p = page + 0x3F;
    std::uint16_t number = 0;
    for (const Column& c : columns) {
        p[0] = c.type;
        put16(p + 5, number);
        put16(p + 7, (c.flags & kFixed) ? 0 : c.varIndex);
        put16(p + 9, number);
        if (c.type == kText) {
            put16(p + 11, 0x0409); // General sort order
            p[16] = 0x01;          // compressed Unicode allowed
        }
        p[15] = c.flags;
        put16(p + 21, (c.flags & kFixed) ? c.fixedOffset : 0);
        put16(p + 23, c.length);
        p += 25;
        ++number;
    }
    for (const Column& c : columns) {
        put16(p, static_cast<std::uint16_t>(c.name.size() * 2));
        p += 2;
        for (char16_t ch : c.name) {
            put16(p, ch);
            p += 2;
        }
    }
    put16(p, 0xFFFF);
    p += 2;
    const auto length = static_cast<std::uint32_t>(p - page);
    put32(page + 8, length);
    put16(page + 2, static_cast<std::uint16_t>(kPageSize - length - 8));
}

// Row with fixed data, then variable data, then (backwards from the end) the null mask,
// the variable-column count, the variable-column offsets and the end of the data.
std::vector<Byte> makeRow(std::uint16_t columnCount, std::span<const Byte> fixed,
                          std::span<const std::optional<std::vector<Byte>>> vars) {
    std::vector<Byte> row;
    append16(row, columnCount);
    row.insert(row.end(), fixed.begin(), fixed.end());
    std::vector<std::uint16_t> offsets;
    for (const auto& v : vars) {
        offsets.push_back(static_cast<std::uint16_t>(row.size()));
        if (v) row.insert(row.end(), v->begin(), v->end());
    }
    append16(row, static_cast<std::uint16_t>(row.size()));
    for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
        append16(row, *it);
    append16(row, static_cast<std::uint16_t>(vars.size()));
    return row;
}

std::vector<Byte> inlineMap(std::uint32_t firstPage, std::size_t pageCount) {
    std::vector<Byte> row(kMapRowSize, 0);
    row[0] = 0x00;
    put32(row.data() + 1, firstPage);
    for (std::size_t i = 0; i < pageCount; ++i)
        row[5 + i / 8] |= static_cast<Byte>(1u << (i % 8));
    return row;
}

void writeHeader(Byte* page, double creationDate) {
    static constexpr std::string_view magic{"Standard Jet DB\0", 16};
    page[1] = 0x01;
    std::memcpy(page + 4, magic.data(), magic.size());
    page[access::kVersionOffset] = 0x01; // Jet 4
    put16(page + 0x3C, 1252);
    // The database key stays 0: pages are not encoded.
    // Readers unmask the password with the integer part of the creation date; storing that
    // mask makes the password empty.
    std::array<Byte, 4> mask;
    put32(mask.data(),
          static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(creationDate))));
    for (std::size_t i = 0; i < 40; ++i)
        page[0x42 + i] = mask[i % 4];
    put16(page + 0x6E, 0x0409);
    std::memcpy(page + 0x72, &creationDate, sizeof creationDate);
    access::maskHeaderBlock(page + access::kMaskedOffset, access::kJet4MaskedSize);
}

} // namespace

double jetDateFromUnixTime(std::int64_t seconds) {
    return 25569.0 + static_cast<double>(seconds) / 86400.0;
}

std::vector<Byte> buildJet4(const Words& words, double creationDate) {
    if (words.size() > 0xFFFFFFFFu) throw std::length_error("too many words for one table");

    // Room for the worst case, where each page leaves a largest row's worth unused.
    std::size_t rowBytes = 0;
    for (std::u16string_view word : words)
        rowBytes += encodedSize(word) + 9 + 2;
    const std::size_t usable = kPageSize - kDataHeaderSize - (kMaxWordLength * 2 + 9 + 2);
    std::vector<Byte> out;
    out.reserve(std::min(kFirstDataPage + rowBytes / usable + 1 + kMaxMapPages, kMaxPages) *
                kPageSize);
    out.resize(kPageSize * kFirstDataPage, 0);

    // Data pages of `words`: one variable column, so a row is
    // count(2) text eod(2) offset(2) varcount(2) nullmask(1).
    std::size_t dataPages = 0;
    Byte* page = nullptr;
    for (std::u16string_view word : words) {
        if (auto why = unstorableReason(word)) throw std::invalid_argument(*why);
        const std::size_t textSize = encodedSize(word);
        const std::size_t rowSize = textSize + 9;
        std::optional<Byte*> at = page ? reserveRow(page, rowSize) : std::nullopt;
        if (!at) {
            if (kFirstDataPage + dataPages + 1 > kMaxPages)
                throw std::length_error("word list too large for a Jet file");
            out.resize(out.size() + kPageSize, 0);
            page = out.data() + out.size() - kPageSize;
            startDataPage(page, kWordsDefPage);
            ++dataPages;
            at = reserveRow(page, rowSize);
        }
        Byte* r = *at;
        put16(r, 1);
        encodeText(word, r + 2);
        const auto end = static_cast<std::uint16_t>(2 + textSize);
        put16(r + end, end);
        put16(r + end + 2, 2);
        put16(r + end + 4, 1);
        r[end + 6] = 0x01;
    }

    // Past 512 data pages the map row lists map pages, each a bitmap of 32,736 pages
    // counted from page 0; they go after the data.
    std::vector<Byte> wordsMap;
    const std::size_t lastDataPage = kFirstDataPage + dataPages - 1;
    if (dataPages <= kInlineMapPages) {
        wordsMap = inlineMap(kFirstDataPage, dataPages);
    } else {
        const std::size_t mapPages = lastDataPage / kPagesPerMapPage + 1;
        if (mapPages > kMaxMapPages || kFirstDataPage + dataPages + mapPages > kMaxPages)
            throw std::length_error("word list too large for a Jet file");
        wordsMap.assign(kMapRowSize, 0);
        wordsMap[0] = 0x01;
        const std::size_t firstMapPage = kFirstDataPage + dataPages;
        out.resize(out.size() + mapPages * kPageSize, 0);
        for (std::size_t m = 0; m < mapPages; ++m) {
            Byte* mp = out.data() + (firstMapPage + m) * kPageSize;
            mp[0] = 0x05;
            mp[1] = 0x01;
            put32(wordsMap.data() + 1 + 4 * m, static_cast<std::uint32_t>(firstMapPage + m));
        }
        for (std::size_t p = kFirstDataPage; p <= lastDataPage; ++p) {
            Byte* bitmap = out.data() + (firstMapPage + p / kPagesPerMapPage) * kPageSize + 4;
            const std::size_t bit = p % kPagesPerMapPage;
            bitmap[bit / 8] |= static_cast<Byte>(1u << (bit % 8));
        }
    }

    // Page 1: the usage maps of both tables. Free-space maps stay empty: nothing will be
    // added to this file.
    Byte* maps = out.data() + kMapRowsPage * kPageSize;
    startDataPage(maps, 0);
    appendRow(maps, inlineMap(kCatalogDataPage, 1));
    appendRow(maps, inlineMap(kCatalogDataPage, 0));
    appendRow(maps, wordsMap);
    appendRow(maps, inlineMap(kFirstDataPage, 0));

    static constexpr std::array<Column, 6> catalogColumns{{
        {kLong, u"Id", kFixed, 0, 0, 4},
        {kLong, u"ParentId", kFixed | kNullable, 4, 0, 4},
        {kText, u"Name", kNullable, 0, 0, 510},
        {kInt, u"Type", kFixed | kNullable, 8, 0, 2},
        {kLong, u"Flags", kFixed | kNullable, 10, 0, 4},
        {kOle, u"LvProp", kNullable, 0, 1, 0},
    }};
    writeTableDef(out.data() + kCatalogDefPage * kPageSize, kSystemTable, 3, catalogColumns,
                  pageRow(kMapRowsPage, 0), pageRow(kMapRowsPage, 1));

    static constexpr std::array<Column, 1> wordsColumns{{
        {kText, u"word", kNullable, 0, 0, kMaxWordLength * 2},
    }};
    writeTableDef(out.data() + kWordsDefPage * kPageSize, kUserTable,
                  static_cast<std::uint32_t>(words.size()), wordsColumns, pageRow(kMapRowsPage, 2),
                  pageRow(kMapRowsPage, 3));

    // MSysObjects: the two containers readers expect, then our table, whose Id is the page
    // of its definition.
    constexpr std::uint32_t kContainersId = 0x0F000000;
    constexpr std::uint32_t kTablesId = 0x0F000001;
    constexpr std::uint32_t kDatabasesId = 0x0F000002;
    struct CatalogRow {
        std::uint32_t id, parent;
        std::u16string_view name;
        std::uint16_t type;
    };
    static constexpr std::array<CatalogRow, 3> catalogRows{{
        {kTablesId, kContainersId, u"Tables", 3},
        {kDatabasesId, kContainersId, u"Databases", 3},
        {kWordsDefPage, kTablesId, u"words", 1},
    }};
    Byte* catalog = out.data() + kCatalogDataPage * kPageSize;
    startDataPage(catalog, kCatalogDefPage);
    for (const CatalogRow& c : catalogRows) {
        std::array<Byte, 14> fixed{};
        put32(fixed.data(), c.id);
        put32(fixed.data() + 4, c.parent);
        put16(fixed.data() + 8, c.type);
        put32(fixed.data() + 10, 0); // Flags
        std::vector<Byte> name;
        encodeText(c.name, std::back_inserter(name));
        const std::array<std::optional<std::vector<Byte>>, 2> vars{std::move(name), std::nullopt};
        std::vector<Byte> row = makeRow(6, fixed, vars);
        row.push_back(0x1F); // every column but LvProp present
        appendRow(catalog, row);
    }

    writeHeader(out.data(), creationDate);
    return out;
}

} // namespace lexivane::mkdb
