// The cache reader of lexivane-find on any bytes. The checksums are recomputed first, so that
// they stop nothing: what is left to keep a forged file out is the rest of the checks. A block
// that opens is read only inside its sections by every accessor and by the selectors, whether
// its checks pass or not (a file changed after its checks is read as it then is), and one
// that passes them holds its words back to back, each with its line end.

#include "query.h"
#include "word_index.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

using namespace lexivane::find;

namespace {

const Query& everySelector() {
    static const Query q = [] {
        Query made;
        const std::pair<Selector, const char*> selectors[] = {
            {Selector::Length, "0-40"},      {Selector::Pattern, "*a?*"},
            {Selector::Letters, "??????ab"}, {Selector::Starts, "b"},
            {Selector::Contains, "e"},       {Selector::Regex, "(?s).*"}};
        for (const auto& [kind, text] : selectors)
            if (!made.add(kind, text).empty()) std::abort();
        made.setRegexTimeLimit(std::chrono::milliseconds(500));
        return made;
    }();
    return q;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (size_t(1) << 20)) return 0;
    // Exactly `size` bytes, so that a read past the end is seen; aligned as a mapping is.
    constexpr std::align_val_t kAlign{64};
    auto release = [](unsigned char* p) { ::operator delete(p, kAlign); };
    const std::unique_ptr<unsigned char, decltype(release)> block(
        static_cast<unsigned char*>(::operator new(size ? size : 1, kAlign)), release);
    if (size) std::memcpy(block.get(), data, size);
    sealBlock(block.get(), size);

    WordIndex index;
    if (index.open(block.get(), size, nullptr) != WordIndex::Status::Ok) return 0;
    const bool good = index.require((1u << kSectionCount) - 1);
    const uint32_t n = index.size();
    size_t words = 0;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < n; ++i) {
        words += index.word(i).size() + 1;
        sum += index.fold(i).size() + index.length(i) + index.mask(i);
    }
    const size_t text = index.lines(0, n).size();
    if (good && words != text) std::abort();
    everySelector().run(index, [&](uint32_t i) { sum += index.word(i).size(); });
    (void)sum;
    return 0;
}
