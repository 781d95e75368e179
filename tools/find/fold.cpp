#include "fold.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>

namespace lexivane::find {
namespace {

constexpr uint32_t kSymbol = 1u << 24;
constexpr uint32_t kDigit = 2u << 24;
constexpr uint32_t kLatin = 3u << 24;
constexpr uint32_t kOtherLetter = 4u << 24;

// A letter the order weighs zero (none in today's Unicode data, but the order allows it);
// upper-case ASCII never appears in a folded form otherwise.
constexpr char32_t kZeroWeight = U'A';

bool isIgnorable(char32_t c) {
    return c == U'\'' || c == U'-' || c == 0x2019 || c == 0x2010 || c == 0x2011 || c == 0x00AD;
}

// ASCII: which bytes the order passes over, what the others fold to, and their weights.
struct AsciiFold {
    std::array<bool, 128> skip{};
    std::array<unsigned char, 128> fold{};
    std::array<uint32_t, 128> weight{};
    AsciiFold() {
        for (int c = 0; c < 128; ++c) {
            skip[size_t(c)] = isIgnorable(static_cast<char32_t>(c));
            fold[size_t(c)] = (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a')
                                                     : static_cast<unsigned char>(c);
            weight[size_t(c)] = (c >= 'a' && c <= 'z')   ? kLatin | uint32_t(c - 'a')
                                : (c >= '0' && c <= '9') ? kDigit | uint32_t(c - '0')
                                : c == 'A'               ? 0
                                                         : kSymbol | uint32_t(c);
        }
    }
};
const AsciiFold kAscii;

// What the order weighs a base character as, as a folded code point; `base` is case folded
// already.
char32_t foldBase(char32_t base) {
    if (base < 0x80) return kAscii.skip[base] ? kZeroWeight : kAscii.fold[base];
    if (QChar::isDigit(base)) {
        const int v = QChar::digitValue(base);
        if (v >= 0 && v <= 9) return U'0' + static_cast<char32_t>(v);
    }
    if (QChar::isLetter(base)) return base;
    return base;
}

} // namespace

char32_t decodeUtf8(const unsigned char* s, size_t n, size_t& i) {
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

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | ((c >> 18) & 0x07)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
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
            return false;
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

uint32_t charCount(std::string_view s) {
    uint32_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

int foldChar(char32_t c, bool afterLetter, char32_t out[2]) {
    if (c < 0x80) {
        if (kAscii.skip[c]) return 0;
        out[0] = kAscii.fold[c];
        return 1;
    }
    if (isIgnorable(c)) return 0;
    switch (c) {
    case 0x00DF: // ß, ẞ
    case 0x1E9E:
        out[0] = U's', out[1] = U's';
        return 2;
    case 0x00E6: // æ, Æ
    case 0x00C6:
        out[0] = U'a', out[1] = U'e';
        return 2;
    case 0x0153: // œ, Œ
    case 0x0152:
        out[0] = U'o', out[1] = U'e';
        return 2;
    case 0x00F8: // ø, Ø
    case 0x00D8:
        out[0] = U'o';
        return 1;
    case 0x0142: // ł, Ł
    case 0x0141:
        out[0] = U'l';
        return 1;
    case 0x0111: // đ, Đ
    case 0x0110:
        out[0] = U'd';
        return 1;
    default:
        break;
    }
    // The base letter of the canonical decomposition; the marks it drops are accents.
    char32_t base = c;
    for (int depth = 0; depth < 4; ++depth) {
        if (QChar::decompositionTag(base) != QChar::Canonical) break;
        const QString d = QChar::decomposition(base);
        if (d.isEmpty()) break;
        base = d.at(0).isHighSurrogate() && d.size() > 1 ? QChar::surrogateToUcs4(d.at(0), d.at(1))
                                                         : d.at(0).unicode();
    }
    if (afterLetter && QChar::category(base) == QChar::Mark_NonSpacing) return 0;
    out[0] = foldBase(QChar::toCaseFolded(base));
    return 1;
}

size_t appendFolded(std::string_view text, std::string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t letters = 0;
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            const unsigned char c = s[i++];
            if (!kAscii.skip[c]) {
                out.push_back(static_cast<char>(kAscii.fold[c]));
                ++letters;
            }
            continue;
        }
        char32_t folded[2];
        const int k = foldChar(decodeUtf8(s, n, i), letters > 0, folded);
        for (int j = 0; j < k; ++j)
            appendUtf8(folded[j], out);
        letters += static_cast<size_t>(k);
    }
    return letters;
}

uint32_t foldedWeight(char32_t f) {
    if (f < 0x80) return kAscii.weight[f];
    return QChar::isLetter(f) ? kOtherLetter | f : kSymbol | f;
}

namespace {

// Letter by letter over two folded forms: the first weight that differs, or which ran out.
template <bool PrefixOnly> int compareImpl(std::string_view a, std::string_view b) {
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (x[i] == y[j] && x[i] < 0x80) {
            ++i, ++j;
            continue;
        }
        const uint32_t wx = foldedWeight(decodeUtf8(x, a.size(), i));
        const uint32_t wy = foldedWeight(decodeUtf8(y, b.size(), j));
        if (wx != wy) return wx < wy ? -1 : 1;
    }
    const bool aLeft = i < a.size(), bLeft = j < b.size();
    if (PrefixOnly && !bLeft) return 0;
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

} // namespace

int compareFolded(std::string_view a, std::string_view b) {
    return compareImpl<false>(a, b);
}

int comparePrefix(std::string_view folded, std::string_view prefix) {
    return compareImpl<true>(folded, prefix);
}

} // namespace lexivane::find
