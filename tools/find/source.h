#pragma once

// Reading a database file: an Access file through the isolated reader helper, or a word list
// (UTF-8 text, one word per line).

#include "db_reader.h"
#include "word_index.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace lexivane::find {

// A failure to report as "PATH: reason".
class SourceError : public std::runtime_error {
  public:
    SourceError(const std::string& path, const std::string& reason)
        : std::runtime_error(path + ": " + reason) {}
};

// Resolves the path and takes the file's key (SourceKey) as it is now. Throws SourceError.
SourceKey keyOf(const std::string& path);

// Access files start with their signature, and no word list holds a NUL; anything else is
// read as a word list.
bool looksLikeAccess(std::string_view head);

// Reads the words of the file `key.path`. Throws SourceError naming `shownPath` (the path as
// the user gave it), with the reader's reason.
db::WordTable readSource(const SourceKey& key, const std::string& shownPath,
                         const std::string& helperPath);

// The words of a word list: a leading byte order mark is skipped, CR LF is a line end, empty
// lines are skipped. Returns the reason it is refused ("" when it is not), naming the line.
std::string parseWordList(std::string&& bytes, db::WordTable& out);

// Words of more characters than this are refused in a word list, as the builder refuses them.
inline constexpr size_t kMaxListWordLength = 255;

} // namespace lexivane::find
