#include "word_index.h"

#include "db_collation.h"
#include "fold.h"
#include "hash.h"
#include "huge_pages.h"
#include "wordstore.h"

#include <QChar>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace lexivane::find {
namespace {

constexpr char kMagic[8] = {'L', 'X', 'V', 'F', 'I', 'N', 'D', '\n'};
constexpr uint32_t kByteOrder = 0x01020304;
// Whenever the layout, the fold or the order changes.
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kFlagFoldsSorted = 1;
constexpr uint32_t kFlagAllUtf8 = 2;
constexpr size_t kAlign = 64;
constexpr size_t kMaxPath = 1 << 16;
constexpr uint64_t kParallelChecksumBytes = 8 << 20;

struct SectionEntry {
    uint64_t offset;
    uint64_t size;
    uint64_t hash;
};

struct Header {
    char magic[8];
    uint32_t byteOrder;
    uint32_t version;
    uint64_t fileSize;
    uint32_t unicodeVersion;
    uint32_t flags;
    uint32_t wordCount;
    uint32_t pathLength;
    uint64_t sourceSize;
    uint64_t sourceDevice;
    uint64_t sourceInode;
    int64_t sourceMtimeNs;
    int64_t sourceCtimeNs;
    uint64_t sourceHeadHash;
    SectionEntry sections[kSectionCount];
    uint64_t headerHash; // of the header with this field zero, and the path after it
};
static_assert(std::is_trivially_copyable_v<Header>);

size_t alignUp(size_t n) {
    return (n + kAlign - 1) / kAlign * kAlign;
}

uint64_t headerHash(Header h, const unsigned char* path) {
    h.headerHash = 0;
    std::vector<unsigned char> bytes(sizeof h + h.pathLength);
    std::memcpy(bytes.data(), &h, sizeof h);
    if (h.pathLength) std::memcpy(bytes.data() + sizeof h, path, h.pathLength);
    return hash64(bytes.data(), bytes.size(), 0x4C58);
}

void freeBlock(unsigned char* p) {
    ::operator delete[](p, std::align_val_t(kAlign));
}

template <typename T> const T* arrayAt(const unsigned char* data, uint64_t offset) {
    return reinterpret_cast<const T*>(data + offset);
}

} // namespace

uint32_t maskOf(std::string_view folded, size_t letters) {
    uint32_t mask = 0;
    for (unsigned char c : folded)
        mask |= (c >= 'a' && c <= 'z') ? 1u << (c - 'a') : kMaskOther;
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(letters, kMaskCountMax));
    return mask | count << kMaskCountShift;
}

Block buildIndex(const db::WordTable& table, const SourceKey& key) {
    if (key.path.size() > kMaxPath) throw std::length_error("the database path is too long");
    const char* text = table.text.data();
    // The window's own sort, so the order is the window's; its NULL rows come first, and the
    // window cannot show them.
    const db::WordOrder order = db::wordOrder(table);
    size_t first = 0;
    while (first < order.rows.size() && order.lengths[order.rows[first]] < 0)
        ++first;
    const size_t n = order.rows.size() - first;
    auto rowOf = [&](size_t k) -> const db::WordTable::Slot& {
        return table.rows[order.rows[first + k]];
    };
    uint64_t textSize = 0;
    for (size_t k = 0; k < n; ++k)
        textSize += uint64_t(rowOf(k).length) + 1;
    if (textSize > std::numeric_limits<uint32_t>::max() ||
        n >= std::numeric_limits<uint32_t>::max())
        throw std::length_error("the word list is too large (over 4 GiB of text)");

    // Each word's folded form, its letters and its length, in that order.
    std::string folds;
    folds.reserve(static_cast<size_t>(textSize));
    preferHugePages(folds.data(), folds.capacity());
    std::vector<uint32_t> lengths, foldOffsets, masks;
    for (auto* v : {&lengths, &foldOffsets, &masks}) {
        v->reserve(n + 1);
        preferHugePages(v->data(), 4 * (n + 1));
    }
    bool allUtf8 = true, sorted = true;
    for (size_t k = 0; k < n; ++k) {
        const db::WordTable::Slot& r = rowOf(k);
        const std::string_view w(text + r.offset, r.length);
        lengths.push_back(static_cast<uint32_t>(order.lengths[order.rows[first + k]]));
        allUtf8 = allUtf8 && isValidUtf8(w);
        const size_t at = folds.size();
        const size_t letters = appendFolded(w, folds);
        if (folds.size() > std::numeric_limits<uint32_t>::max())
            throw std::length_error("the word list is too large (over 4 GiB of text)");
        foldOffsets.push_back(static_cast<uint32_t>(at));
        const std::string_view f = std::string_view(folds).substr(at);
        masks.push_back(maskOf(f, letters));
        if (sorted && k > 0) {
            const size_t before = foldOffsets[k - 1];
            sorted = compareFolded(std::string_view(folds).substr(before, at - before), f) <= 0;
        }
    }
    foldOffsets.push_back(static_cast<uint32_t>(folds.size()));

    Header h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.byteOrder = kByteOrder;
    h.version = kFormatVersion;
    h.unicodeVersion = static_cast<uint32_t>(QChar::currentUnicodeVersion());
    h.flags = (sorted ? kFlagFoldsSorted : 0) | (allUtf8 ? kFlagAllUtf8 : 0);
    h.wordCount = static_cast<uint32_t>(n);
    h.pathLength = static_cast<uint32_t>(key.path.size());
    h.sourceSize = key.size;
    h.sourceDevice = key.device;
    h.sourceInode = key.inode;
    h.sourceMtimeNs = key.mtimeNs;
    h.sourceCtimeNs = key.ctimeNs;
    h.sourceHeadHash = key.headHash;
    const uint64_t sizes[kSectionCount] = {textSize,     4 * (uint64_t(n) + 1), 4 * uint64_t(n),
                                           folds.size(), 4 * (uint64_t(n) + 1), 4 * uint64_t(n)};
    size_t at = alignUp(sizeof h + key.path.size());
    for (unsigned s = 0; s < kSectionCount; ++s) {
        h.sections[s].offset = at;
        h.sections[s].size = sizes[s];
        at = alignUp(at + static_cast<size_t>(sizes[s]));
    }
    h.fileSize = at;

    Block block;
    block.bytes = {static_cast<unsigned char*>(::operator new[](at, std::align_val_t(kAlign))),
                   freeBlock};
    block.size = at;
    unsigned char* out = block.bytes.get();
    preferHugePages(out, at);
    // Only the gaps are not written below.
    std::memset(out, 0, h.sections[0].offset);
    for (unsigned s = 0; s < kSectionCount; ++s) {
        const size_t end = h.sections[s].offset + h.sections[s].size;
        const size_t next = s + 1 < kSectionCount ? h.sections[s + 1].offset : at;
        std::memset(out + end, 0, next - end);
    }
    std::memcpy(out + sizeof h, key.path.data(), key.path.size());
    {
        unsigned char* t = out + h.sections[kText].offset;
        auto* offsets = reinterpret_cast<uint32_t*>(out + h.sections[kOffsets].offset);
        uint32_t pos = 0;
        for (size_t k = 0; k < n; ++k) {
            const auto& r = rowOf(k);
            offsets[k] = pos;
            std::memcpy(t + pos, text + r.offset, r.length);
            pos += r.length;
            t[pos++] = '\n';
        }
        offsets[n] = pos;
    }
    std::memcpy(out + h.sections[kLengths].offset, lengths.data(), 4 * n);
    std::memcpy(out + h.sections[kFolds].offset, folds.data(), folds.size());
    std::memcpy(out + h.sections[kFoldOffsets].offset, foldOffsets.data(), 4 * (n + 1));
    std::memcpy(out + h.sections[kMasks].offset, masks.data(), 4 * n);
    std::memcpy(out, &h, sizeof h);
    sealBlock(out, at);
    return block;
}

void sealBlock(unsigned char* data, size_t size) {
    Header h;
    if (size < sizeof h) return;
    std::memcpy(&h, data, sizeof h);
    for (unsigned s = 0; s < kSectionCount; ++s) {
        SectionEntry& e = h.sections[s];
        if (e.offset <= size && e.size <= size - e.offset)
            e.hash = hash64(data + e.offset, static_cast<size_t>(e.size), s);
    }
    if (h.pathLength <= size - sizeof h) h.headerHash = headerHash(h, data + sizeof h);
    std::memcpy(data, &h, sizeof h);
}

WordIndex::Status WordIndex::open(const unsigned char* data, size_t size, const SourceKey* expected,
                                  std::string* why) {
    *this = WordIndex();
    auto fail = [&](Status s, const char* reason) {
        if (why) *why = reason;
        return s;
    };
    if (reinterpret_cast<uintptr_t>(data) % kAlign != 0)
        return fail(Status::Damaged, "the block is not aligned");
    if (size < sizeof(Header)) return fail(Status::Damaged, "shorter than its header");
    Header h;
    std::memcpy(&h, data, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0)
        return fail(Status::Damaged, "not a cache file of this program");
    if (h.byteOrder != kByteOrder || h.version != kFormatVersion)
        return fail(Status::Stale, "made by another version");
    if (h.fileSize != size) return fail(Status::Damaged, "truncated or extended");
    if (h.pathLength > kMaxPath || sizeof h + h.pathLength > size)
        return fail(Status::Damaged, "the header is damaged");
    if (headerHash(h, data + sizeof h) != h.headerHash)
        return fail(Status::Damaged, "the header checksum does not match");
    if (h.unicodeVersion != static_cast<uint32_t>(QChar::currentUnicodeVersion()))
        return fail(Status::Stale, "made with other Unicode data");
    if (expected) {
        const SourceKey got{
            std::string(reinterpret_cast<const char*>(data + sizeof h), h.pathLength),
            h.sourceSize,
            h.sourceDevice,
            h.sourceInode,
            h.sourceMtimeNs,
            h.sourceCtimeNs,
            h.sourceHeadHash};
        if (!(got == *expected)) return fail(Status::Stale, "made from another state of the file");
    }
    const uint64_t n = h.wordCount;
    const uint64_t wanted[kSectionCount] = {0, 4 * (n + 1), 4 * n, 0, 4 * (n + 1), 4 * n};
    const uint64_t headerEnd = sizeof h + h.pathLength;
    for (unsigned s = 0; s < kSectionCount; ++s) {
        const SectionEntry& e = h.sections[s];
        if (e.offset % kAlign != 0 || e.offset < headerEnd || e.offset > size ||
            e.size > size - e.offset)
            return fail(Status::Damaged, "a section lies outside the file");
        if (wanted[s] ? e.size != wanted[s] : e.size > std::numeric_limits<uint32_t>::max())
            return fail(Status::Damaged, "a section has the wrong size");
        sectionOffset_[s] = e.offset;
        sectionSize_[s] = e.size;
        sectionHash_[s] = e.hash;
    }
    data_ = data;
    size_ = size;
    count_ = h.wordCount;
    flags_ = h.flags;
    text_ = reinterpret_cast<const char*>(data + sectionOffset_[kText]);
    offsets_ = arrayAt<uint32_t>(data, sectionOffset_[kOffsets]);
    lengths_ = arrayAt<uint32_t>(data, sectionOffset_[kLengths]);
    folds_ = reinterpret_cast<const char*>(data + sectionOffset_[kFolds]);
    foldOffsets_ = arrayAt<uint32_t>(data, sectionOffset_[kFoldOffsets]);
    masks_ = arrayAt<uint32_t>(data, sectionOffset_[kMasks]);
    textSize_ = static_cast<uint32_t>(sectionSize_[kText]);
    foldsSize_ = static_cast<uint32_t>(sectionSize_[kFolds]);
    return Status::Ok;
}

bool WordIndex::require(unsigned sections) {
    if (!data_) return false;
    if (sections & kWordsNeeded) sections |= kWordsNeeded;
    if (sections & kFoldsNeeded) sections |= kFoldsNeeded;
    const unsigned todo = sections & ~checked_;
    if (!todo) return true;
    // Checksums cost a pass over everything the run reads: on a large index the biggest
    // section is summed on another core meanwhile.
    const auto good = [this](unsigned s) {
        return hash64(data_ + sectionOffset_[s], static_cast<size_t>(sectionSize_[s]), s) ==
               sectionHash_[s];
    };
    unsigned biggest = kSectionCount;
    uint64_t total = 0;
    for (unsigned s = 0; s < kSectionCount; ++s) {
        if (!(todo & (1u << s))) continue;
        total += sectionSize_[s];
        if (biggest == kSectionCount || sectionSize_[s] > sectionSize_[biggest]) biggest = s;
    }
    bool biggestGood = true;
    std::thread helper;
    if (total >= kParallelChecksumBytes && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread([&] { biggestGood = good(biggest); });
        } catch (const std::system_error&) {
            biggestGood = good(biggest);
        }
    } else {
        biggestGood = good(biggest);
    }
    bool othersGood = true;
    for (unsigned s = 0; s < kSectionCount && othersGood; ++s)
        if ((todo & (1u << s)) && s != biggest) othersGood = good(s);
    if (helper.joinable()) helper.join();
    if (!biggestGood || !othersGood) return false;
    const uint32_t n = count_;
    if (todo & kWordsNeeded) {
        // Every word ends with its line end inside the text, one after the other.
        // Each offset is held to the text before it is used to read there.
        if (once(offsets_) != 0 || once(offsets_ + n) != textSize_) return false;
        for (uint32_t i = 0, at = 0; i < n; ++i) {
            const uint32_t next = once(offsets_ + i + 1);
            if (next <= at || next > textSize_ || text_[next - 1] != '\n') return false;
            at = next;
        }
    }
    if (todo & kFoldsNeeded) {
        if (once(foldOffsets_) != 0 || once(foldOffsets_ + n) != foldsSize_) return false;
        for (uint32_t i = 0, at = 0; i < n; ++i) {
            const uint32_t next = once(foldOffsets_ + i + 1);
            if (next < at || next > foldsSize_) return false;
            at = next;
        }
    }
    checked_ |= todo;
    return true;
}

bool WordIndex::foldsSorted() const {
    return flags_ & kFlagFoldsSorted;
}

bool WordIndex::allUtf8() const {
    return flags_ & kFlagAllUtf8;
}

} // namespace lexivane::find
