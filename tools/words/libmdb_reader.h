// The same read as access_reader.h, through libmdb: the helper's reader where the build asks
// for it, and the reference the project's own reader is checked against.
#pragma once

#include "access_reader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lexivane::access {

// `openPath` is what libmdb opens (the helper passes the checked descriptor as
// /proc/self/fd/N); `size` is the file's size. checkFile must have accepted the file.
common::Expected<std::uint32_t> libmdbReadColumn(const std::string& openPath, std::uint64_t size,
                                                 std::string_view table, std::string_view column,
                                                 ValueSink& sink);

// The whole read, checkFile included, of a file in memory.
common::Expected<std::uint32_t> libmdbReadColumn(std::vector<std::uint8_t>& bytes,
                                                 std::string_view table, std::string_view column,
                                                 ValueSink& sink);

} // namespace lexivane::access
