#pragma once

// A plain, slow statement of the word order the store must give, written from the rules
// rather than from the production code: build a multi-level key per word out of QString's
// own normalisation and compare the keys level by level.
//   1. letters without case or accents; apostrophes and hyphens skipped; symbols < digits <
//      Latin letters < other letters; æ œ ß count as two letters
//   2. accents, position by position (none first)
//   3. case, position by position (lower first)
//   4. fewer apostrophes/hyphens first
//   5. code points

#include <QList>
#include <QMap>
#include <QString>
#include <algorithm>
#include <utility>
#include <vector>

namespace reference {

struct Letter {
    int group = 0; // 1 symbol, 2 digit, 3 Latin letter, 4 other letter
    uint value = 0;
    QList<uint> marks; // {0x7FFFFFFF} for one half of æ, œ, ß
    bool upper = false;
};

struct Key {
    QList<Letter> letters;
    int skipped = 0;
    QList<uint> codePoints;
};

inline bool skippable(uint c) {
    return c == '\'' || c == '-' || c == 0x2019 || c == 0x2010 || c == 0x2011 || c == 0xAD;
}

inline Letter plain(uint folded) {
    Letter l;
    if (folded >= 'a' && folded <= 'z')
        l.group = 3, l.value = folded - 'a';
    else if (folded >= '0' && folded <= '9')
        l.group = 2, l.value = folded - '0';
    else if (folded < 0x80)
        l.group = 1, l.value = folded;
    else if (QChar::isDigit(folded))
        l.group = 2, l.value = uint(QChar::digitValue(folded));
    else if (QChar::isLetter(folded))
        l.group = 4, l.value = folded;
    else
        l.group = 1, l.value = folded;
    return l;
}

inline Key keyOf(const QString& word) {
    Key key;
    key.codePoints = word.toUcs4();
    for (uint c : key.codePoints) {
        if (skippable(c)) {
            ++key.skipped;
            continue;
        }
        const bool upper = QChar::isUpper(c) || QChar::isTitleCase(c);
        const QString lower = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1).toLower();
        const QString twoLetters = lower == QStringLiteral("ß") || c == 0x1E9E
                                       ? QStringLiteral("ss")
                                   : lower == QStringLiteral("æ") ? QStringLiteral("ae")
                                   : lower == QStringLiteral("œ") ? QStringLiteral("oe")
                                                                  : QString();
        if (!twoLetters.isEmpty()) {
            for (QChar half : twoLetters) {
                Letter l = plain(half.unicode());
                l.marks = {0x7FFFFFFF};
                l.upper = upper;
                key.letters.append(l);
            }
            continue;
        }
        static const QMap<QString, QPair<char, uint>> stroked = {
            {QStringLiteral("ø"), {'o', 0x338}},
            {QStringLiteral("ł"), {'l', 0x335}},
            {QStringLiteral("đ"), {'d', 0x335}}};
        if (stroked.contains(lower)) {
            Letter l = plain(uint(stroked[lower].first));
            l.marks = {stroked[lower].second};
            l.upper = upper;
            key.letters.append(l);
            continue;
        }
        const QList<uint> parts = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1)
                                      .normalized(QString::NormalizationForm_D)
                                      .toUcs4();
        if (QChar::category(parts[0]) == QChar::Mark_NonSpacing && !key.letters.isEmpty()) {
            key.letters.last().marks += parts;
            continue;
        }
        Letter l = plain(QChar::toCaseFolded(parts[0]));
        l.marks = parts.mid(1);
        l.upper = upper;
        key.letters.append(l);
    }
    return key;
}

template <typename T> int cmp(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

inline int compareKeys(const Key& a, const Key& b) {
    const qsizetype n = std::min(a.letters.size(), b.letters.size());
    for (qsizetype i = 0; i < n; ++i) {
        if (int r = cmp(a.letters[i].group, b.letters[i].group)) return r;
        if (int r = cmp(a.letters[i].value, b.letters[i].value)) return r;
    }
    if (int r = cmp(a.letters.size(), b.letters.size())) return r;
    for (qsizetype i = 0; i < n; ++i)
        if (int r = cmp(a.letters[i].marks, b.letters[i].marks)) return r;
    for (qsizetype i = 0; i < n; ++i)
        if (int r = cmp(a.letters[i].upper, b.letters[i].upper)) return r;
    if (int r = cmp(a.skipped, b.skipped)) return r;
    return cmp(a.codePoints, b.codePoints);
}

inline int compare(const QString& x, const QString& y) {
    return compareKeys(keyOf(x), keyOf(y));
}

// Each word's key made once: making them is most of the work.
inline void sort(QStringList& words) {
    std::vector<std::pair<Key, QString>> keyed;
    keyed.reserve(size_t(words.size()));
    for (const QString& w : words)
        keyed.emplace_back(keyOf(w), w);
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return compareKeys(a.first, b.first) < 0; });
    for (qsizetype i = 0; i < words.size(); ++i)
        words[i] = keyed[size_t(i)].second;
}

inline int length(const QString& word) {
    return int(word.toUcs4().size());
}

} // namespace reference
