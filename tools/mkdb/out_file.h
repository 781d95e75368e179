#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lexivane::mkdb {

// Writes `bytes` beside `out` and renames the copy over it once it is on the disk, so that
// `out` is either the old file or the whole new one; an interrupted run leaves no copy behind.
// Empty when done, else the message: "OUT: what: reason".
std::string writeAtomically(const std::string& out, const std::vector<std::uint8_t>& bytes);

} // namespace lexivane::mkdb
