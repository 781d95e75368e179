#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lexivane::mkdb {

// Where a build is written first: ".NAME.tmp-" beside the target, to which each system adds
// its own unique end.
inline std::filesystem::path tempStem(const std::filesystem::path& target) {
    // Joined as paths, never through narrow text: Windows names keep every character.
    std::filesystem::path stem = target.parent_path();
    if (stem.empty()) stem = ".";
    stem /= ".";
    stem += target.filename();
    stem += ".tmp-";
    return stem;
}

// Writes `bytes` beside `out` and renames the copy over it once it is on the disk, so that
// `out` is either the old file or the whole new one; an interrupted run leaves no copy behind.
// Empty when done, else the message: "OUT: what: reason".
std::string writeAtomically(const std::string& out, const std::vector<std::uint8_t>& bytes);

} // namespace lexivane::mkdb
