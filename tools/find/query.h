#pragma once

// The selectors of one run and their scan over a word index. Every selector's text is checked
// when it is added, so a query that was built without error only fails while matching when a
// regular expression exceeds its limits.

#include "word_index.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace lexivane::find {

enum class Selector { Length, Pattern, Regex, Letters, Anagram, Starts, Ends, Contains };

// "--length" and so on.
const char* optionName(Selector s);

class Query {
  public:
    Query();
    ~Query();
    Query(Query&&) noexcept;
    Query& operator=(Query&&) noexcept;

    // Adds a selector; returns "" or why its text is refused (a sentence without the option).
    std::string add(Selector s, std::string_view text);
    bool empty() const;

    // The index sections the selectors read (word_index.h).
    unsigned sectionsNeeded() const;

    // A regular expression's scan stops with an error after this much wall time.
    void setRegexTimeLimit(std::chrono::milliseconds limit);

    // Calls onMatch(i) for every word that passes all selectors, in order. Returns "" or why
    // the scan was stopped. The index must have sectionsNeeded() checked.
    std::string run(const WordIndex& index, const std::function<void(uint32_t)>& onMatch) const;

    // The bounds of a regular expression, none of which its text can raise (PCRE2 lets an
    // expression's own (*LIMIT_...) only lower a limit). Compiling: its length, the nesting
    // of its parentheses, its capturing groups (each makes every backtracking step of the
    // interpreter dearer) and the memory PCRE2 may take for it, JIT compile included, counted
    // over all the expressions of a run. Per word and expression: the match,
    // depth and heap limits and the JIT stack, whose memory each scanning thread has once.
    static constexpr size_t kMaxPatternBytes = 4096;
    static constexpr uint32_t kParensNestLimit = 64;
    static constexpr uint32_t kMaxCaptures = 255;
    static constexpr size_t kCompileMemory = size_t(64) << 20; // all the expressions together
    static constexpr size_t kJitMemory = size_t(64) << 20;     // their JIT code, as much again
    static constexpr uint32_t kMatchLimit = 1000000;
    static constexpr uint32_t kDepthLimit = 10000;
    static constexpr uint32_t kHeapLimitKiB = 16 * 1024;
    static constexpr size_t kJitStackBytes = size_t(1) << 20;
    // From this many words on, a regular expression's scan is shared out over the cores.
    static constexpr uint32_t kParallelWords = 50000;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace lexivane::find
