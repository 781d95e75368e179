#pragma once

// What lexivane-find asks of the system beyond the index: where it is, the name a user gave
// a file turned into one name for it, file times, writing to standard output, and the guard
// over a mapped cache file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace lexivane::find {

// The program folder: beside this program (a build tree), else `installed`, relative to this
// program's folder, where installs put it.
std::string programFolder(const std::string& installed);

// The reader helper in `folder`.
std::string helperIn(const std::string& folder);

// The database in `folder`, named as the system names paths.
std::string databaseIn(const std::string& folder);

// `path` made absolute, links and dot folders resolved; empty with errno set when it cannot be.
std::string resolvedPath(const std::string& path);

// Last change of the content and of the status, in nanoseconds, as precisely as the system
// keeps them.
int64_t modifiedNs(const struct stat& st);
int64_t changedNs(const struct stat& st);

// Writes all of `n` bytes to standard output: 0, or the errno of the failure.
int writeOut(const char* p, size_t n);

// A cache file cut short while mapped ends the run with a message instead of a crash.
void guardMapping(const unsigned char* data, size_t size);

} // namespace lexivane::find
