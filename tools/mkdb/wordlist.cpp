#include "wordlist.h"

#include "utf8.h"

#include <cstdint>
#include <cstdio>

namespace lexivane::mkdb {

namespace {

std::string codePointName(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

enum class Decode { Ok, Invalid, OutsideBmp };

// Strict decoding, so that what we store is exactly what the file says.
Decode decodeWord(std::string_view in, std::u16string& out, char32_t& outsideBmp) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    for (size_t i = 0; i < in.size();) {
        const char32_t c = decodeUtf8Strict(p, in.size(), i);
        if (c == kNotUtf8) return Decode::Invalid;
        if (c > 0xFFFF) {
            outsideBmp = c;
            return Decode::OutsideBmp;
        }
        out.push_back(static_cast<char16_t>(c));
    }
    return Decode::Ok;
}

} // namespace

std::optional<std::string> unstorableReason(std::u16string_view word) {
    if (word.empty()) return "empty word";
    if (word.size() > kMaxWordLength)
        return "word of " + std::to_string(word.size()) + " characters; at most " +
               std::to_string(kMaxWordLength) + " fit the word column";
    // Readers take a value starting FF FE for compressed text, which is how U+FEFF looks
    // in UCS-2.
    if (word.front() == 0xFEFF) return "word starts with U+FEFF, which Jet text cannot begin with";
    for (char16_t c : word) {
        if (c == 0) return "NUL character";
        if (c >= 0xD800 && c <= 0xDFFF) return "character outside U+0001..U+FFFF";
    }
    return std::nullopt;
}

WordList parseWordList(std::string_view bytes) {
    WordList result;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);

    std::size_t lineNo = 0;
    auto fail = [&](std::string message) {
        result.words.clear();
        result.error = WordListError{lineNo, std::move(message)};
        return result;
    };

    std::size_t lines = 1;
    for (char c : bytes)
        lines += c == '\n';
    result.words.reserve(lines, bytes.size());

    std::u16string word;
    while (!bytes.empty()) {
        ++lineNo;
        const std::size_t nl = bytes.find('\n');
        std::string_view line = bytes.substr(0, nl);
        bytes.remove_prefix(nl == std::string_view::npos ? bytes.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;

        char32_t outside = 0;
        switch (decodeWord(line, word, outside)) {
        case Decode::Invalid:
            return fail("invalid UTF-8");
        case Decode::OutsideBmp:
            return fail("character " + codePointName(outside) +
                        " is outside U+0001..U+FFFF, which Jet text holds");
        case Decode::Ok:
            break;
        }
        if (auto why = unstorableReason(word)) return fail(*why);
        result.words.add(word);
    }
    return result;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        appendUtf8(c, out);
    }
    return out;
}

} // namespace lexivane::mkdb
