#include "query.h"

#include "fold.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace lexivane::find {
namespace {

using Clock = std::chrono::steady_clock;

// A pattern position that takes any one letter.
constexpr char32_t kAny = 0xFFFFFFFF;

std::vector<char32_t> codePoints(std::string_view s) {
    std::vector<char32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (size_t i = 0; i < s.size();)
        out.push_back(decodeUtf8(p, s.size(), i));
    return out;
}

// The user's text inside a message: quoted, and cut short when long.
std::string quoted(std::string_view s) {
    constexpr size_t kShown = 40;
    std::string out = "'";
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t i = 0, shown = 0;
    while (i < s.size() && shown < kShown) {
        const size_t start = i;
        decodeUtf8(p, s.size(), i);
        out.append(s.substr(start, i - start));
        ++shown;
    }
    if (i < s.size()) out += "...";
    return out + "'";
}

// ---- lengths ----

struct LengthSet {
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    bool has(uint32_t n) const {
        for (const auto& [lo, hi] : ranges)
            if (n >= lo && n <= hi) return true;
        return false;
    }
};

bool parseNumber(std::string_view s, uint32_t& value) {
    if (s.empty() || s.size() > 9) return false;
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    value = v;
    return true;
}

std::string parseLengths(std::string_view text, LengthSet& out) {
    if (text.empty()) return "give a length, a range N-M or a list such as 3,5-7";
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string_view item =
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        const size_t dash = item.find('-');
        uint32_t lo = 0, hi = 0;
        const auto bad = [&] {
            std::string why = quoted(item) + " is not a length (a whole number of characters) or a "
                                             "range N-M";
            return item.size() == text.size() ? why : why + " (in " + quoted(text) + ")";
        };
        if (dash == std::string_view::npos) {
            if (!parseNumber(item, lo)) return bad();
            hi = lo;
        } else {
            if (!parseNumber(item.substr(0, dash), lo)) return bad();
            const std::string_view upper = item.substr(dash + 1);
            if (upper.empty())
                hi = std::numeric_limits<uint32_t>::max();
            else if (!parseNumber(upper, hi))
                return bad();
            if (hi < lo) return quoted(item) + " is an empty range";
        }
        out.ranges.emplace_back(lo, hi);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return {};
}

// ---- crossword patterns, starts, ends, contains: over folded letters ----

// Literal runs with single-letter wildcards, with "any run" between consecutive segments.
struct Glob {
    std::vector<std::vector<char32_t>> segments;
    size_t minLetters = 0;
    uint32_t needMask = 0; // mask bits a word must have
    std::string prefix;    // folded letters every match starts with
};

Glob makeGlob(std::string_view text, bool wildcards, bool anyBefore, bool anyAfter) {
    Glob g;
    g.segments.emplace_back();
    if (anyBefore) g.segments.emplace_back();
    bool afterLetter = anyBefore;
    for (char32_t c : codePoints(text)) {
        if (wildcards && c == U'*') {
            // A run of stars is one star; a middle segment is never empty.
            if (g.segments.size() == 1 || !g.segments.back().empty()) g.segments.emplace_back();
            afterLetter = true;
            continue;
        }
        if (wildcards && c == U'?') {
            g.segments.back().push_back(kAny);
            afterLetter = true;
            continue;
        }
        char32_t f[2];
        const int k = foldChar(c, afterLetter, f);
        for (int j = 0; j < k; ++j)
            g.segments.back().push_back(f[j]);
        afterLetter = afterLetter || k > 0;
    }
    if (anyAfter && (g.segments.size() == 1 || !g.segments.back().empty()))
        g.segments.emplace_back();
    for (const auto& seg : g.segments) {
        g.minLetters += seg.size();
        for (char32_t c : seg) {
            if (c == kAny) continue;
            g.needMask |= (c >= U'a' && c <= U'z') ? 1u << (c - U'a') : kMaskOther;
        }
    }
    for (char32_t c : g.segments.front()) {
        if (c == kAny) break;
        appendUtf8(c, g.prefix);
    }
    return g;
}

template <typename T> bool segmentAt(const std::vector<char32_t>& seg, const T* e, size_t at) {
    for (size_t k = 0; k < seg.size(); ++k)
        if (seg[k] != kAny && seg[k] != static_cast<char32_t>(e[at + k])) return false;
    return true;
}

// Leftmost placement of each middle segment is enough: any match can be moved there.
template <typename T> bool globMatch(const Glob& g, const T* e, size_t n) {
    const auto& segs = g.segments;
    if (segs.size() == 1) return n == segs[0].size() && segmentAt(segs[0], e, 0);
    if (n < g.minLetters) return false;
    const auto& last = segs.back();
    const size_t end = n - last.size();
    if (!segmentAt(segs[0], e, 0) || !segmentAt(last, e, end)) return false;
    size_t pos = segs[0].size();
    for (size_t j = 1; j + 1 < segs.size(); ++j) {
        const auto& seg = segs[j];
        bool found = false;
        for (size_t p = pos; p + seg.size() <= end; ++p) {
            if (segmentAt(seg, e, p)) {
                pos = p + seg.size();
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

// The letters of a folded form one by one: the bytes themselves when it is ASCII.
struct Letters {
    const unsigned char* bytes = nullptr;
    const char32_t* wide = nullptr;
    size_t size = 0;
};

Letters lettersOf(std::string_view folded, uint32_t mask, std::vector<char32_t>& buffer) {
    const auto* p = reinterpret_cast<const unsigned char*>(folded.data());
    bool ascii = !(mask & kMaskOther);
    if (!ascii)
        ascii = std::none_of(p, p + folded.size(), [](unsigned char c) { return c >= 0x80; });
    if (ascii) return {p, nullptr, folded.size()};
    buffer.clear();
    for (size_t i = 0; i < folded.size();)
        buffer.push_back(decodeUtf8(p, folded.size(), i));
    return {nullptr, buffer.data(), buffer.size()};
}

bool matchGlob(const Glob& g, std::string_view folded, uint32_t mask,
               std::vector<char32_t>& buffer) {
    const uint32_t count = mask >> kMaskCountShift;
    if (count < kMaskCountMax &&
        (g.segments.size() == 1 ? count != g.minLetters : count < g.minLetters))
        return false;
    if ((mask & g.needMask) != g.needMask) return false;
    const Letters l = lettersOf(folded, mask, buffer);
    return l.bytes ? globMatch(g, l.bytes, l.size) : globMatch(g, l.wide, l.size);
}

// ---- letter sets and anagrams: letter counts ----

// Without -mpopcnt, std::popcount is a library call; this is a few instructions.
uint32_t bitCount(uint32_t x) {
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
}

struct Rack {
    uint32_t counts[26] = {};
    std::vector<std::pair<char32_t, uint32_t>> others; // sorted by letter
    uint32_t blanks = 0;
    size_t total = 0;
    uint32_t setMask = 0;
    bool exact = false; // anagram: every tile used
};

Rack makeRack(std::string_view text, bool exact) {
    Rack r;
    r.exact = exact;
    bool afterLetter = false;
    std::vector<char32_t> others;
    for (char32_t c : codePoints(text)) {
        if (c == U'?') {
            ++r.blanks;
            ++r.total;
            afterLetter = true;
            continue;
        }
        char32_t f[2];
        const int k = foldChar(c, afterLetter, f);
        for (int j = 0; j < k; ++j) {
            if (f[j] >= U'a' && f[j] <= U'z') {
                ++r.counts[f[j] - U'a'];
                r.setMask |= 1u << (f[j] - U'a');
            } else {
                others.push_back(f[j]);
            }
            ++r.total;
        }
        afterLetter = afterLetter || k > 0;
    }
    std::sort(others.begin(), others.end());
    for (char32_t c : others) {
        if (r.others.empty() || r.others.back().first != c)
            r.others.emplace_back(c, 1);
        else
            ++r.others.back().second;
    }
    return r;
}

bool matchRack(const Rack& r, std::string_view folded, uint32_t mask,
               std::vector<char32_t>& buffer) {
    // Cheap refusals from the mask first: too many or too few letters, or more letters the
    // rack lacks than it has blanks.
    const uint32_t count = mask >> kMaskCountShift;
    if (count < kMaskCountMax) {
        if (r.exact ? count != r.total : count > r.total) return false;
    } else if (r.total < kMaskCountMax) {
        return false;
    }
    if (bitCount(mask & kMaskLetters & ~r.setMask) > r.blanks) return false;
    if ((mask & kMaskOther) && r.others.empty() && r.blanks == 0) return false;
    if (r.exact && r.blanks == 0 && (r.setMask & ~mask)) return false;

    uint32_t counts[26] = {};
    size_t letters = 0;
    buffer.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(folded.data());
    for (size_t i = 0; i < folded.size(); ++letters) {
        if (p[i] >= 'a' && p[i] <= 'z')
            ++counts[p[i++] - 'a'];
        else
            buffer.push_back(decodeUtf8(p, folded.size(), i));
    }
    if (r.exact ? letters != r.total : letters > r.total) return false;
    size_t excess = 0;
    bool short_ = false; // a tile of the rack left unused
    for (int k = 0; k < 26; ++k) {
        if (counts[k] > r.counts[k])
            excess += counts[k] - r.counts[k];
        else if (counts[k] < r.counts[k])
            short_ = true;
    }
    if (!buffer.empty() || !r.others.empty()) {
        std::sort(buffer.begin(), buffer.end());
        for (size_t i = 0; i < buffer.size();) {
            size_t j = i;
            while (j < buffer.size() && buffer[j] == buffer[i])
                ++j;
            const auto it = std::lower_bound(r.others.begin(), r.others.end(),
                                             std::make_pair(buffer[i], uint32_t(0)));
            const uint32_t have = (it != r.others.end() && it->first == buffer[i]) ? it->second : 0;
            const size_t used = j - i;
            if (used > have) excess += used - have;
            i = j;
        }
        for (const auto& [c, have] : r.others) {
            const auto range = std::equal_range(buffer.begin(), buffer.end(), c);
            if (size_t(range.second - range.first) < have) short_ = true;
        }
    }
    if (r.exact) return !short_; // same number of letters, none missing: blanks fill the rest
    return excess <= r.blanks;
}

// ---- regular expressions: PCRE2, the engine and syntax of QRegularExpression ----

// Memory PCRE2 may take, counted over every block it holds at once: a block past the
// budget is refused, and PCRE2 then fails cleanly ("failed to get memory").
class Budget {
  public:
    explicit Budget(size_t limit) : limit_(limit) {
        context_ = pcre2_general_context_create(&Budget::take, &Budget::give, this);
        if (!context_) throw std::bad_alloc();
    }
    Budget(const Budget&) = delete;
    Budget& operator=(const Budget&) = delete;
    ~Budget() { pcre2_general_context_free(context_); }
    pcre2_general_context* context() const { return context_; }

  private:
    static constexpr size_t kHeader = alignof(std::max_align_t);
    static void* take(PCRE2_SIZE n, void* self) {
        auto* b = static_cast<Budget*>(self);
        if (n > b->limit_) return nullptr;
        const size_t total = n + kHeader;
        if (b->used_.fetch_add(total) + total > b->limit_) {
            b->used_.fetch_sub(total);
            return nullptr;
        }
        auto* p = static_cast<unsigned char*>(std::malloc(total));
        if (!p) {
            b->used_.fetch_sub(total);
            return nullptr;
        }
        std::memcpy(p, &total, sizeof total);
        return p + kHeader;
    }
    static void give(void* block, void* self) {
        if (!block) return;
        auto* p = static_cast<unsigned char*>(block) - kHeader;
        size_t total = 0;
        std::memcpy(&total, p, sizeof total);
        static_cast<Budget*>(self)->used_.fetch_sub(total);
        std::free(p);
    }
    size_t limit_;
    std::atomic<size_t> used_{0};
    pcre2_general_context* context_ = nullptr;
};

// The compiled expression, shared by the threads of a scan. All the expressions of a run
// compile within one budget, and their JIT code within one limit.
class Regex {
  public:
    Regex(Budget& budget, size_t& jitBytes) : budget_(budget), jitBytes_(jitBytes) {}
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;
    ~Regex() {
        pcre2_code_free(code_);
        pcre2_compile_context_free(context_);
    }

    std::string compile(std::string_view text) {
        if (text.size() > Query::kMaxPatternBytes)
            return "the regular expression is longer than " +
                   std::to_string(Query::kMaxPatternBytes) + " bytes; simplify it";
        context_ = pcre2_compile_context_create(budget_.context());
        if (!context_) throw std::bad_alloc();
        pcre2_set_max_pattern_length(context_, Query::kMaxPatternBytes);
        pcre2_set_parens_nest_limit(context_, Query::kParensNestLimit);
        int error = 0;
        PCRE2_SIZE offset = 0;
        // Whole words: anchored at both ends by option rather than by wrapping the text, so
        // that nothing the user writes can reach outside it. \C could split a character.
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                              PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ANCHORED |
                                  PCRE2_ENDANCHORED | PCRE2_NEVER_BACKSLASH_C,
                              &error, &offset, context_);
        if (!code_ && error == PCRE2_ERROR_HEAP_FAILED)
            return "the regular expressions need more than " +
                   std::to_string(Query::kCompileMemory >> 20) + " MiB to compile; simplify them";
        if (!code_) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(error, message, sizeof message);
            const size_t at = charCount(text.substr(0, std::min<size_t>(offset, text.size())));
            return "not a valid regular expression: " +
                   std::string(reinterpret_cast<const char*>(message)) + " (at character " +
                   std::to_string(at + 1) + ")";
        }
        uint32_t captures = 0;
        pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &captures);
        if (captures > Query::kMaxCaptures)
            return "the regular expression has more than " + std::to_string(Query::kMaxCaptures) +
                   " capturing groups; simplify it";
        // (*NO_JIT) in the expression makes the compile "succeed" without code; a JIT compile
        // that runs out of its budget leaves the interpreter, under the same limits.
        // Past the JIT limit the interpreter matches the rest, under the same limits.
        size_t jitSize = 0;
        jit_ = jitBytes_ < Query::kJitMemory && pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0 &&
               pcre2_pattern_info(code_, PCRE2_INFO_JITSIZE, &jitSize) == 0 && jitSize > 0;
        jitBytes_ += jitSize;
        pcre2_pattern_info(code_, PCRE2_INFO_MINLENGTH, &minLength_);
        learnFirstBytes();
        return {};
    }

    // False when no match can start with the word's first byte: a call to the matcher saved.
    bool mayStartWith(std::string_view word) const {
        return word.empty() || firstBytes_[static_cast<unsigned char>(word[0])];
    }

    const pcre2_code* code() const { return code_; }
    bool jit() const { return jit_; }
    uint32_t minLength() const { return minLength_; }

  private:
    // What PCRE2 itself knows about how a match starts (it skips start positions with it).
    // A fixed first code unit may stand for others under (?i): the other ASCII case, and any
    // character beyond ASCII (the Kelvin sign is a K) are let through too.
    void learnFirstBytes() {
        firstBytes_.fill(true);
        if (minLength_ == 0) return;
        uint32_t type = 0;
        if (pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODETYPE, &type) != 0) return;
        if (type == 1) {
            uint32_t unit = 0;
            if (pcre2_pattern_info(code_, PCRE2_INFO_FIRSTCODEUNIT, &unit) != 0) return;
            firstBytes_.fill(false);
            for (int b = 0x80; b < 0x100; ++b)
                firstBytes_[size_t(b)] = true;
            if (unit < 0x80) {
                firstBytes_[unit] = true;
                if (unit >= 'a' && unit <= 'z') firstBytes_[unit - 'a' + 'A'] = true;
                if (unit >= 'A' && unit <= 'Z') firstBytes_[unit - 'A' + 'a'] = true;
            } else {
                for (int c = 'A'; c <= 'Z'; ++c)
                    firstBytes_[size_t(c)] = firstBytes_[size_t(c - 'A' + 'a')] = true;
            }
        } else if (type == 0) {
            const uint8_t* bitmap = nullptr;
            if (pcre2_pattern_info(code_, PCRE2_INFO_FIRSTBITMAP, &bitmap) != 0 || !bitmap) return;
            for (int b = 0; b < 0x100; ++b)
                firstBytes_[size_t(b)] = (bitmap[b / 8] >> (b % 8)) & 1;
        }
    }

    Budget& budget_;
    size_t& jitBytes_;
    pcre2_compile_context* context_ = nullptr;
    pcre2_code* code_ = nullptr;
    bool jit_ = false;
    uint32_t minLength_ = 0;
    std::array<bool, 256> firstBytes_{};
};

// What one thread needs to match the expressions, one after the other: its own match data,
// limits and JIT stack, the same whatever the number of expressions.
class Matcher {
  public:
    Matcher() {
        // The interpreter's backtracking frames live in the match data.
        context_ = pcre2_match_context_create(budget_.context());
        data_ = pcre2_match_data_create(1, budget_.context());
        if (!context_ || !data_) throw std::bad_alloc();
        pcre2_set_match_limit(context_, Query::kMatchLimit);
        pcre2_set_depth_limit(context_, Query::kDepthLimit);
        pcre2_set_heap_limit(context_, Query::kHeapLimitKiB);
        stack_ = pcre2_jit_stack_create(32 * 1024, Query::kJitStackBytes, budget_.context());
        if (stack_) pcre2_jit_stack_assign(context_, nullptr, stack_);
    }
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;
    ~Matcher() {
        pcre2_match_data_free(data_);
        pcre2_match_context_free(context_);
        pcre2_jit_stack_free(stack_);
    }

    // 1 for a match, 0 for none, else a PCRE2 error code.
    int match(const Regex& re, std::string_view word) {
        const auto* s = reinterpret_cast<PCRE2_SPTR>(word.data());
        const int r = re.jit() && stack_
                          ? pcre2_jit_match(re.code(), s, word.size(), 0, 0, data_, context_)
                          : pcre2_match(re.code(), s, word.size(), 0, 0, data_, context_);
        if (r >= 0) return 1; // 0: the match did not fit the (one-pair) vector, still a match
        return r == PCRE2_ERROR_NOMATCH ? 0 : r;
    }

  private:
    // The heap limit, and room for the match data and the JIT stack's own bookkeeping.
    Budget budget_{(size_t(Query::kHeapLimitKiB) << 10) + (size_t(1) << 20)};
    pcre2_match_context* context_ = nullptr;
    pcre2_match_data* data_ = nullptr;
    pcre2_jit_stack* stack_ = nullptr;
};

std::string regexFailure(int code, std::string_view word) {
    if (code == PCRE2_ERROR_MATCHLIMIT || code == PCRE2_ERROR_DEPTHLIMIT ||
        code == PCRE2_ERROR_HEAPLIMIT || code == PCRE2_ERROR_JIT_STACKLIMIT ||
        code == PCRE2_ERROR_NOMEMORY)
        return "the regular expression backtracks too much on the word " + quoted(word) +
               " (more than PCRE2's limits allow); simplify it";
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof message);
    return "cannot match the regular expression on the word " + quoted(word) + ": " +
           reinterpret_cast<const char*>(message);
}

} // namespace

const char* optionName(Selector s) {
    switch (s) {
    case Selector::Length:
        return "--length";
    case Selector::Pattern:
        return "--pattern";
    case Selector::Regex:
        return "--regex";
    case Selector::Letters:
        return "--letters";
    case Selector::Anagram:
        return "--anagram";
    case Selector::Starts:
        return "--starts";
    case Selector::Ends:
        return "--ends";
    case Selector::Contains:
        return "--contains";
    }
    return "?";
}

// What stops every part of a scan: the time limit, or an error in one of them.
struct Halt {
    std::atomic<bool> expired{false};
    std::atomic<bool> failed{false};
};

struct Query::Impl {
    std::vector<LengthSet> lengths;
    std::vector<Glob> globs;
    std::vector<Rack> racks;
    // Before the expressions, which give their memory back to it when they go.
    std::unique_ptr<Budget> compileBudget = std::make_unique<Budget>(kCompileMemory);
    size_t jitBytes = 0;
    std::vector<std::unique_ptr<Regex>> regexes;
    std::chrono::milliseconds regexTimeLimit{60000};

    std::string scan(const WordIndex& index, uint32_t lo, uint32_t hi, Halt& halt,
                     const std::function<void(uint32_t)>& onMatch) const;
};

Query::Query() : d(std::make_unique<Impl>()) {}
Query::~Query() = default;
Query::Query(Query&&) noexcept = default;
Query& Query::operator=(Query&&) noexcept = default;

std::string Query::add(Selector s, std::string_view text) {
    if (!isValidUtf8(text)) return "the text is not valid UTF-8";
    switch (s) {
    case Selector::Length: {
        LengthSet set;
        std::string wrong = parseLengths(text, set);
        if (!wrong.empty()) return wrong;
        d->lengths.push_back(std::move(set));
        return {};
    }
    case Selector::Pattern:
        d->globs.push_back(makeGlob(text, true, false, false));
        return {};
    case Selector::Starts:
        d->globs.push_back(makeGlob(text, false, false, true));
        return {};
    case Selector::Ends:
        d->globs.push_back(makeGlob(text, false, true, false));
        return {};
    case Selector::Contains:
        d->globs.push_back(makeGlob(text, false, true, true));
        return {};
    case Selector::Letters:
    case Selector::Anagram:
        d->racks.push_back(makeRack(text, s == Selector::Anagram));
        return {};
    case Selector::Regex: {
        auto re = std::make_unique<Regex>(*d->compileBudget, d->jitBytes);
        std::string wrong = re->compile(text);
        if (!wrong.empty()) return wrong;
        d->regexes.push_back(std::move(re));
        return {};
    }
    }
    return "unknown selector";
}

bool Query::empty() const {
    return d->lengths.empty() && d->globs.empty() && d->racks.empty() && d->regexes.empty();
}

unsigned Query::sectionsNeeded() const {
    unsigned s = 0;
    if (!d->lengths.empty()) s |= sectionBit(kLengths);
    if (!d->globs.empty() || !d->racks.empty()) s |= kFoldsNeeded | sectionBit(kMasks);
    if (!d->regexes.empty()) s |= kWordsNeeded | sectionBit(kLengths);
    return s;
}

void Query::setRegexTimeLimit(std::chrono::milliseconds limit) {
    d->regexTimeLimit = limit;
}

std::string Query::Impl::scan(const WordIndex& index, uint32_t lo, uint32_t hi, Halt& halt,
                              const std::function<void(uint32_t)>& onMatch) const {
    std::optional<Matcher> matcher;
    if (!regexes.empty()) matcher.emplace();
    uint32_t regexMin = 0;
    for (const auto& re : regexes)
        regexMin = std::max(regexMin, re->minLength());
    const bool masks = !globs.empty() || !racks.empty();
    std::vector<char32_t> buffer;
    for (uint32_t i = lo; i < hi; ++i) {
        if (!lengths.empty()) {
            const uint32_t n = index.length(i);
            if (!std::all_of(lengths.begin(), lengths.end(),
                             [n](const LengthSet& set) { return set.has(n); }))
                continue;
        }
        if (masks) {
            const uint32_t mask = index.mask(i);
            const std::string_view folded = index.fold(i);
            bool pass = true;
            for (const Rack& r : racks)
                if (!(pass = matchRack(r, folded, mask, buffer))) break;
            if (!pass) continue;
            for (const Glob& g : globs)
                if (!(pass = matchGlob(g, folded, mask, buffer))) break;
            if (!pass) continue;
        }
        if (matcher) {
            if (index.length(i) < regexMin) continue;
            const std::string_view word = index.word(i);
            bool pass = true;
            // After every expression: one costs at most the match limit's worth of steps on a
            // word, and a word may meet many.
            for (const auto& re : regexes) {
                if (!(pass = re->mayStartWith(word))) break;
                const int r = matcher->match(*re, word);
                if (r < 0) {
                    halt.failed = true;
                    return regexFailure(r, word);
                }
                if (halt.expired.load(std::memory_order_relaxed)) break;
                if (!(pass = r == 1)) break;
            }
            if (halt.failed.load(std::memory_order_relaxed)) return {}; // another part's error
            if (halt.expired.load(std::memory_order_relaxed)) {
                const auto ms = regexTimeLimit.count();
                return "matching the regular expression took longer than " +
                       (ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s") +
                       " and was stopped; simplify it";
            }
            if (!pass) continue;
        }
        onMatch(i);
    }
    return {};
}

std::string Query::run(const WordIndex& index, const std::function<void(uint32_t)>& onMatch) const {
    uint32_t lo = 0, hi = index.size();
    // Words that start with given letters are one run of the order: find it by bisection.
    if (index.foldsSorted()) {
        for (const Glob& g : d->globs) {
            if (g.prefix.empty()) continue;
            const auto cmp = [&](uint32_t i) { return comparePrefix(index.fold(i), g.prefix); };
            uint32_t a = lo, b = hi;
            while (a < b) {
                const uint32_t m = a + (b - a) / 2;
                if (cmp(m) < 0)
                    a = m + 1;
                else
                    b = m;
            }
            uint32_t c = a, e = hi;
            while (c < e) {
                const uint32_t m = c + (e - c) / 2;
                if (cmp(m) <= 0)
                    c = m + 1;
                else
                    e = m;
            }
            lo = a;
            hi = c;
        }
    }
    // The time limit is kept by a watchdog that raises a flag the scan looks at after every
    // word: cheaper than reading the clock there.
    Halt halt;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog;
    if (!d->regexes.empty()) {
        const auto deadline = Clock::now() + d->regexTimeLimit;
        watchdog = std::thread([&, deadline] {
            std::unique_lock lock(mutex);
            if (!finished.wait_until(lock, deadline, [&] { return done; })) halt.expired = true;
        });
    }
    struct Stop {
        std::mutex& mutex;
        std::condition_variable& finished;
        bool& done;
        std::thread& watchdog;
        ~Stop() {
            {
                const std::lock_guard lock(mutex);
                done = true;
            }
            finished.notify_all();
            if (watchdog.joinable()) watchdog.join();
        }
    } stop{mutex, finished, done, watchdog};
    // A regular expression costs a call per word: long scans are shared out over the cores,
    // and their matches put back in order.
    const unsigned cores = std::min(4u, std::thread::hardware_concurrency());
    if (d->regexes.empty() || cores < 2 || hi - lo < kParallelWords)
        return d->scan(index, lo, hi, halt, onMatch);
    std::vector<uint32_t> bounds;
    for (unsigned p = 0; p <= cores; ++p)
        bounds.push_back(lo + static_cast<uint32_t>(uint64_t(hi - lo) * p / cores));
    std::vector<std::vector<uint32_t>> found(cores);
    std::vector<std::string> errors(cores);
    const auto part = [&](unsigned p, const std::function<void(uint32_t)>& deliver) {
        try {
            errors[p] = d->scan(index, bounds[p], bounds[p + 1], halt, deliver);
        } catch (const std::bad_alloc&) {
            errors[p] = "out of memory";
            halt.failed = true;
        }
    };
    std::vector<std::thread> workers;
    for (unsigned p = 1; p < cores; ++p)
        workers.emplace_back(part, p, [&found, p](uint32_t i) { found[p].push_back(i); });
    part(0, onMatch);
    for (auto& w : workers)
        w.join();
    for (unsigned p = 0; p < cores; ++p) {
        if (p > 0)
            for (uint32_t i : found[p])
                onMatch(i);
        if (!errors[p].empty()) return errors[p];
    }
    return {};
}

} // namespace lexivane::find
