// Reading the `word` column back through libmdb, the reader the program's helper uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lexivane::mkdb::test {

// The words in table order, UTF-8, or nothing with `error` set.
std::optional<std::vector<std::string>> libmdbWordsFromFile(const std::string& path,
                                                            std::string* error);
std::optional<std::vector<std::string>> libmdbWordsFromBuffer(std::vector<std::uint8_t>& bytes,
                                                              std::string* error);

} // namespace lexivane::mkdb::test
