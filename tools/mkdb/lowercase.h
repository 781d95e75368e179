#pragma once

#include "wordlist.h"

#include <string_view>

namespace lexivane::mkdb {

// Every character is a lower-case letter (Unicode category Ll), so "émigré" passes and
// "o'clock", "x-ray", "Paris" and "mp3" do not.
bool isLowercaseWord(std::u16string_view word);

// The lower-case words, each once, in their first position.
Words keepLowercaseOnly(const Words& words);

} // namespace lexivane::mkdb
