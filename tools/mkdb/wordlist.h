// Reading the plain-text word list the database is made from.
#pragma once

#include <cstddef>
#include <initializer_list>
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

// Words end to end in one buffer: a quarter of a million small strings would otherwise cost
// as many allocations.
class Words {
  public:
    Words() = default;
    Words(std::initializer_list<std::u16string_view> words) {
        for (std::u16string_view w : words)
            add(w);
    }

    void add(std::u16string_view word) {
        m_text.append(word);
        m_ends.push_back(m_text.size());
    }
    void reserve(std::size_t words, std::size_t characters) {
        m_ends.reserve(words);
        m_text.reserve(characters);
    }
    void clear() {
        m_text.clear();
        m_ends.clear();
    }

    std::size_t size() const { return m_ends.size(); }
    bool empty() const { return m_ends.empty(); }
    std::size_t characters() const { return m_text.size(); }
    std::u16string_view operator[](std::size_t i) const {
        const std::size_t begin = i ? m_ends[i - 1] : 0;
        return std::u16string_view(m_text).substr(begin, m_ends[i] - begin);
    }
    bool operator==(const Words& other) const {
        return m_text == other.m_text && m_ends == other.m_ends;
    }

    class const_iterator {
      public:
        const_iterator(const Words* words, std::size_t i) : m_words(words), m_i(i) {}
        std::u16string_view operator*() const { return (*m_words)[m_i]; }
        const_iterator& operator++() {
            ++m_i;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return m_i == other.m_i; }

      private:
        const Words* m_words;
        std::size_t m_i;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

  private:
    std::u16string m_text;
    std::vector<std::size_t> m_ends;
};

struct WordList {
    Words words;
    std::optional<WordListError> error; // the first fault; words is then empty
};

// UTF-8, one word per line, LF or CR LF; empty lines are skipped and a leading byte order
// mark is ignored. Stops at the first line that cannot become a row.
WordList parseWordList(std::string_view bytes);

// Why a word cannot be stored as Jet text, or nothing when it can.
std::optional<std::string> unstorableReason(std::u16string_view word);

std::string toUtf8(std::u16string_view text);

} // namespace lexivane::mkdb
