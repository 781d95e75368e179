#pragma once

// The words of one database in the program's order, with what the selectors need precomputed,
// laid out as one block that is both the cache file and the in-memory index:
//
//   header (magic, version, the database's key, one entry per section), the database path,
//   then 64-byte aligned sections:
//     text         every word followed by '\n', in order
//     offsets      u32[n + 1]: where each word starts in text (the last is text's size)
//     lengths      u32[n]: characters (code points) per word, as the window counts them
//     folds        every word's folded form (fold.h), back to back
//     foldOffsets  u32[n + 1]
//     masks        u32[n]: bits 0-25 the letters a-z the folded form holds, bit 26 any other
//                  letter, bits 27-31 the number of letters (31: 31 or more)
//
// Everything read from a file is checked before use: the header and its checksum, the key
// against the database as it is now, and each section's checksum and structure the first
// time a query needs it. A block that fails any check is never used. The checksum is not a
// seal (anyone who can write the file can recompute it): the checks after it are what keep
// a forged block from being read outside its sections.

#include "db_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace lexivane::find {

// What identifies the database file a block was made from.
struct SourceKey {
    std::string path; // absolute, symbolic links resolved
    uint64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t headHash = 0; // checksum of the file's first 64 KiB
    bool operator==(const SourceKey&) const = default;
};

enum Section : unsigned { kText, kOffsets, kLengths, kFolds, kFoldOffsets, kMasks, kSectionCount };
// Sets of sections, as bits.
inline constexpr unsigned sectionBit(Section s) {
    return 1u << s;
}
inline constexpr unsigned kWordsNeeded = sectionBit(kText) | sectionBit(kOffsets);
inline constexpr unsigned kFoldsNeeded = sectionBit(kFolds) | sectionBit(kFoldOffsets);

inline constexpr uint32_t kMaskOther = 1u << 26;
inline constexpr uint32_t kMaskLetters = kMaskOther - 1;
inline constexpr int kMaskCountShift = 27;
inline constexpr uint32_t kMaskCountMax = 31;

// An owned, 64-byte aligned block of bytes.
struct Block {
    std::unique_ptr<unsigned char[], void (*)(unsigned char*)> bytes{nullptr, nullptr};
    size_t size = 0;
};

// Builds the block for the rows of `table` (NULL rows left out, the window cannot show them),
// sorted by db::compareWords. Throws std::length_error when the words do not fit (4 GiB).
Block buildIndex(const db::WordTable& table, const SourceKey& key);

// A view of a block; the block (or mapping) must outlive it.
class WordIndex {
  public:
    enum class Status { Ok, Damaged, Stale };

    // Checks the header; with `expected`, also that the block was made from that file.
    // `why` says what was wrong.
    Status open(const unsigned char* data, size_t size, const SourceKey* expected,
                std::string* why = nullptr);

    // Checks the given sections (checksums and structure) once each; false when one is
    // damaged. Every accessor below needs its section checked first.
    bool require(unsigned sections);
    // Marks sections as good without checking (a block this process just built).
    void trust() { checked_ = (1u << kSectionCount) - 1; }

    uint32_t size() const { return count_; }
    bool foldsSorted() const;
    bool allUtf8() const;

    // The accessors stay inside their sections whatever the block holds, also when a mapped
    // file is changed after its checks: each offset is read once and held to its section.
    std::string_view word(uint32_t i) const {
        const uint32_t a = clamp(offsets_ + i, textSize_);
        const uint32_t b = clamp(offsets_ + i + 1, textSize_);
        return {text_ + a, b > a ? b - a - 1 : 0};
    }
    // Words i..j-1 with their line ends, as one piece of text.
    std::string_view lines(uint32_t i, uint32_t j) const {
        const uint32_t a = clamp(offsets_ + i, textSize_);
        const uint32_t b = clamp(offsets_ + j, textSize_);
        return {text_ + a, b > a ? b - a : 0};
    }
    std::string_view fold(uint32_t i) const {
        const uint32_t a = clamp(foldOffsets_ + i, foldsSize_);
        const uint32_t b = clamp(foldOffsets_ + i + 1, foldsSize_);
        return {folds_ + a, b > a ? b - a : 0};
    }
    uint32_t length(uint32_t i) const { return once(lengths_ + i); }
    uint32_t mask(uint32_t i) const { return once(masks_ + i); }

    // Where a section lies in the block: offset and size in bytes.
    std::pair<uint64_t, uint64_t> extent(Section s) const {
        return {sectionOffset_[s], sectionSize_[s]};
    }

  private:
    // One load, which the compiler may not repeat: a check and a use see the same value.
    static uint32_t once(const uint32_t* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
    static uint32_t clamp(const uint32_t* p, uint32_t end) {
        const uint32_t v = once(p);
        return v < end ? v : end;
    }

    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
    uint32_t count_ = 0;
    uint32_t flags_ = 0;
    unsigned checked_ = 0;
    uint64_t sectionOffset_[kSectionCount] = {};
    uint64_t sectionSize_[kSectionCount] = {};
    uint64_t sectionHash_[kSectionCount] = {};
    const char* text_ = nullptr;
    const uint32_t* offsets_ = nullptr;
    const uint32_t* lengths_ = nullptr;
    const char* folds_ = nullptr;
    const uint32_t* foldOffsets_ = nullptr;
    const uint32_t* masks_ = nullptr;
    uint32_t textSize_ = 0;
    uint32_t foldsSize_ = 0;
};

// Recomputes the checksums a block stores (of each section that lies inside it, and of its
// header) in place: the last step of building one.
void sealBlock(unsigned char* data, size_t size);

// The mask of a folded form (see the layout above).
uint32_t maskOf(std::string_view folded, size_t letters);

} // namespace lexivane::find
