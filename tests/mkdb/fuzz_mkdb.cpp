// Arbitrary bytes as a word list: whatever the parser accepts must build, and libmdb must
// give back exactly the list's non-empty lines.

#include "jet4.h"
#include "libmdb_words.h"
#include "wordlist.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace lexivane::mkdb;
using lexivane::mkdb::test::libmdbWordsFromBuffer;

[[noreturn]] void mismatch(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "fuzz_mkdb: %s %s\n", what, detail.c_str());
    std::abort();
}

// The lines a list should yield, split here independently of the parser.
std::vector<std::string> nonEmptyLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const WordList list = parseWordList(text);
    if (list.error) {
        if (list.error->line == 0 || list.error->message.empty() || !list.words.empty())
            mismatch("bad error report");
        return 0;
    }
    const std::vector<std::string> lines = nonEmptyLines(text);
    if (lines.size() != list.words.size()) mismatch("parser dropped or added lines");
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (toUtf8(list.words[i]) != lines[i]) mismatch("parser changed line", lines[i]);

    std::vector<std::uint8_t> file = buildJet4(list.words, 45000.25);
    if (file.size() % kPageSize != 0) mismatch("file is not whole pages");
    std::string error;
    const auto read = libmdbWordsFromBuffer(file, &error);
    if (!read) mismatch("libmdb cannot read the file:", error);
    if (*read != lines) mismatch("libmdb read other words");
    return 0;
}
