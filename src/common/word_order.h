#pragma once

// The parts of the word order that need no Unicode tables: the weight groups, the characters
// that only break ties, the letters it spells out and the weights of ASCII. The order itself
// is lookup/db_collation; tools/find/fold gives its first level as text. Both build on these,
// so that the two cannot drift apart.

#include <cstdint>

namespace lexivane::order {

// Primary weights: the group in the top byte, so symbols < digits < Latin letters < other
// letters; the character's value below it.
inline constexpr uint32_t kSymbol = 1u << 24;
inline constexpr uint32_t kDigit = 2u << 24;
inline constexpr uint32_t kLatin = 3u << 24;
inline constexpr uint32_t kOtherLetter = 4u << 24;

// Apostrophes and hyphens weigh nothing: they only break ties (so "cant" and "can't" sit
// together).
constexpr bool isIgnorable(char32_t c) {
    return c == U'\'' || c == U'-' || c == 0x2019 || c == 0x2010 || c == 0x2011 || c == 0x00AD;
}

// The primary weight of an ASCII character: 0 for an ignorable one, letters without case.
constexpr uint32_t asciiPrimary(char32_t c) {
    if (isIgnorable(c)) return 0;
    if (c >= U'0' && c <= U'9') return kDigit | static_cast<uint32_t>(c - U'0');
    if (c >= U'a' && c <= U'z') return kLatin | static_cast<uint32_t>(c - U'a');
    if (c >= U'A' && c <= U'Z') return kLatin | static_cast<uint32_t>(c - U'A');
    return kSymbol | static_cast<uint32_t>(c);
}

// Letters that no canonical decomposition takes apart. ß, æ and œ are two letters (ss, ae,
// oe: `second` is set), sorting after the plain pair and its accented forms; ø, ł and đ are
// the letter with its stroke as an accent (`mark`).
struct SpecialLetter {
    char first = 0; // 0: not one of them
    char second = 0;
    char32_t mark = 0;
};

constexpr SpecialLetter specialLetter(char32_t c) {
    switch (c) {
    case 0x00DF: // ß, ẞ
    case 0x1E9E:
        return {'s', 's'};
    case 0x00E6: // æ, Æ
    case 0x00C6:
        return {'a', 'e'};
    case 0x0153: // œ, Œ
    case 0x0152:
        return {'o', 'e'};
    case 0x00F8: // ø, Ø
    case 0x00D8:
        return {'o', 0, 0x0338};
    case 0x0142: // ł, Ł
    case 0x0141:
        return {'l', 0, 0x0335};
    case 0x0111: // đ, Đ
    case 0x0110:
        return {'d', 0, 0x0335};
    default:
        return {};
    }
}

} // namespace lexivane::order
