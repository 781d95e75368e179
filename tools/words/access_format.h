// What the project knows of the Access (Jet/ACE) file layout, shared by the file builder
// (tools/mkdb) and the reader (access_reader.h). Offsets are bytes; integers little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace lexivane::access {

inline constexpr std::size_t kJet3PageSize = 2048;
inline constexpr std::size_t kJet4PageSize = 4096;

// Page 0.
inline constexpr std::size_t kVersionOffset = 0x14; // 0 Jet 3, 1 Jet 4, 2.. ACE
inline constexpr std::size_t kMaskedOffset = 0x18;  // start of the RC4-masked block
inline constexpr std::size_t kJet3MaskedSize = 126;
inline constexpr std::size_t kJet4MaskedSize = 128;
inline constexpr std::size_t kDatabaseKeyOffset = 0x3E; // non-zero: pages are encrypted
inline constexpr std::uint32_t kCatalogDefPage = 2;     // MSysObjects' table definition

enum PageType : std::uint8_t { kDataPage = 0x01, kTableDefPage = 0x02, kUsageMapPage = 0x05 };
enum ColumnType : std::uint8_t {
    kInt = 0x03,
    kLong = 0x04,
    kText = 0x0A,
    kOle = 0x0B,
    kMemo = 0x0C,
};
enum ColumnFlags : std::uint8_t { kFixedColumn = 0x01, kNullableColumn = 0x02 };
inline constexpr std::int16_t kTableObject = 1; // MSysObjects.Type of a table

// Where things are on the pages of each format.
struct Layout {
    std::size_t pageSize;
    std::size_t rowCountOffset; // on a data page
    std::size_t rowTableOffset; // first row offset on a data page
    std::size_t numRowsOffset;  // table definition: row count
    std::size_t varColumnCountOffset;
    std::size_t columnCountOffset;
    std::size_t realIndexCountOffset;
    std::size_t usedPagesOffset;
    std::size_t columnsOffset; // first column entry, before the per-index entries
    std::size_t realIndexSize;
    std::size_t columnSize;
    std::size_t columnNumberOffset, varIndexOffset, flagsOffset, fixedOffsetOffset, lengthOffset;
    bool jet3;
};

inline constexpr Layout kJet3Layout{
    kJet3PageSize, 0x08, 0x0A, 0x0C, 0x17, 0x19, 0x1F, 0x23, 0x2B, 8, 18, 1, 3, 13, 14, 16, true};
inline constexpr Layout kJet4Layout{
    kJet4PageSize, 0x0C, 0x0E, 0x10, 0x2B, 0x2D, 0x33, 0x37, 0x3F, 12, 25, 5, 7, 15, 21, 23, false};

// A row's position on its page: the low 13 bits of its entry in the row table. 0x4000 marks
// a row that only points to where the row now lives, 0x8000 a deleted one.
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kLookupRow = 0x4000;
inline constexpr std::uint16_t kDeletedRow = 0x8000;

// The header block at 0x18 is stored XORed with the RC4 keystream of a fixed key; applying
// it again unmasks it.
inline void maskHeaderBlock(std::uint8_t* block, std::size_t size) {
    static constexpr std::array<std::uint8_t, 4> key{0xC7, 0xDA, 0x39, 0x6B};
    std::array<std::uint8_t, 256> s{};
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0, j = 0; i < s.size(); ++i) {
        j = (j + s[i] + key[i % key.size()]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        block[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

} // namespace lexivane::access
