// Writing a Jet 4.0 (Access 2000) file holding one table, words(word TEXT(255)).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "access_format.h"
#include "wordlist.h"
#include <vector>

namespace lexivane::mkdb {

inline constexpr std::size_t kPageSize = access::kJet4PageSize;

// Jet keeps dates as days since 1899-12-30.
double jetDateFromUnixTime(std::int64_t seconds);

// The whole file, rows in the order given. Throws std::invalid_argument for a word that
// unstorableReason() rejects and std::length_error when the list outgrows a Jet file.
std::vector<std::uint8_t> buildJet4(const Words& words, double creationDate);

} // namespace lexivane::mkdb
