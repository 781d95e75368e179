#include "fold.h"

#include "word_order.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <array>

namespace lexivane::find {
namespace {

using order::isIgnorable;
using order::kOtherLetter;
using order::kSymbol;

// A letter the order weighs zero (none in today's Unicode data, but the order allows it);
// upper-case ASCII never appears in a folded form otherwise.
constexpr char32_t kZeroWeight = U'A';

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
            // Upper case and the ignorables never stand in a folded form.
            const bool folds = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
            weight[size_t(c)] = folds      ? order::asciiPrimary(static_cast<char32_t>(c))
                                : c == 'A' ? 0
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

int foldChar(char32_t c, bool afterLetter, char32_t out[2]) {
    if (c < 0x80) {
        if (kAscii.skip[c]) return 0;
        out[0] = kAscii.fold[c];
        return 1;
    }
    if (isIgnorable(c)) return 0;
    if (const order::SpecialLetter l = order::specialLetter(c); l.first) {
        out[0] = static_cast<char32_t>(l.first);
        if (!l.second) return 1;
        out[1] = static_cast<char32_t>(l.second);
        return 2;
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
