#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lexivane::mkdb {

// Every character is a lower-case letter (Unicode category Ll), so "émigré" passes and
// "o'clock", "x-ray", "Paris" and "mp3" do not.
bool isLowercaseWord(std::u16string_view word);

// The lower-case words, each once, in their first position.
std::vector<std::u16string> keepLowercaseOnly(std::vector<std::u16string> words);

} // namespace lexivane::mkdb
