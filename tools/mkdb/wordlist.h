// Reading the plain-text word list the database is made from.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lexivane::mkdb {

// A Jet TEXT column of 255 characters: 510 bytes of UCS-2.
inline constexpr std::size_t kMaxWordLength = 255;

struct WordListError {
    std::size_t line = 0; // 1-based
    std::string message;
};

struct WordList {
    std::vector<std::u16string> words;
    std::optional<WordListError> error; // the first fault; words is then empty
};

// UTF-8, one word per line, LF or CR LF; empty lines are skipped and a leading byte order
// mark is ignored. Stops at the first line that cannot become a row.
WordList parseWordList(std::string_view bytes);

// Why a word cannot be stored as Jet text, or nothing when it can.
std::optional<std::string> unstorableReason(std::u16string_view word);

std::string toUtf8(std::u16string_view text);

} // namespace lexivane::mkdb
