#pragma once

// UTF-8 as every part of the program reads and writes it. The decoders are inline: they sit
// in the inner loops of the word order and of the finder's index.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lexivane {

// One code point from s[i], advancing i, as the word order reads text: a byte that does not
// start a complete sequence is U+FFFD and one byte long. Needs i < n.
inline char32_t decodeUtf8(const unsigned char* s, size_t n, size_t& i) {
    const unsigned char c = s[i];
    const int extra = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
    if (extra < 0 || (extra > 0 && n - i <= static_cast<size_t>(extra))) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = extra == 0 ? c : (c & (0x3F >> extra));
    for (int k = 1; k <= extra; ++k) {
        const unsigned char cc = s[i + static_cast<size_t>(k)];
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Strict decoding: an overlong form, a surrogate, a code point past U+10FFFF or a cut
// sequence gives kNotUtf8 and leaves i where it was. Needs i < n.
inline char32_t decodeUtf8Strict(const unsigned char* s, size_t n, size_t& i) {
    const unsigned char c = s[i];
    if (c < 0x80) {
        ++i;
        return c;
    }
    size_t extra;
    char32_t cp, min;
    if ((c >> 5) == 6)
        extra = 1, cp = c & 0x1F, min = 0x80;
    else if ((c >> 4) == 14)
        extra = 2, cp = c & 0x0F, min = 0x800;
    else if ((c >> 3) == 30)
        extra = 3, cp = c & 0x07, min = 0x10000;
    else
        return kNotUtf8;
    if (n - i <= extra) return kNotUtf8;
    for (size_t k = 1; k <= extra; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return kNotUtf8;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kNotUtf8;
    i += extra + 1;
    return cp;
}

inline bool isValidUtf8(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80)
            ++i;
        else if (decodeUtf8Strict(s, n, i) == kNotUtf8)
            return false;
    }
    return true;
}

// Characters as the window's len() counts them: every byte that does not continue a sequence.
inline uint32_t charCount(std::string_view s) {
    uint32_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

void appendUtf8(char32_t c, std::string& out);

} // namespace lexivane
