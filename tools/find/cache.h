#pragma once

// Where index blocks are kept between runs, one file per database, and how they are written
// (a temporary file renamed into place, so a reader sees a whole file or none) and mapped.

#include "word_index.h"

#include <cstddef>
#include <string>

namespace lexivane::find {

// $XDG_CACHE_HOME/lexivane, else $HOME/.cache/lexivane; "" when neither names an absolute
// folder. Nothing is created here.
std::string cacheDirectory();

// The cache file for the database at `sourcePath` (absolute) inside `dir`.
std::string cacheFileFor(const std::string& dir, const std::string& sourcePath);

// A read-only private mapping of a whole file.
class MappedFile {
  public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // False when the file is missing, unreadable or empty.
    bool map(const std::string& path);
    void unmap();
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

// Writes `block` as `file` in `dir` (creating the folder, mode 0700): into a new temporary
// file beside it, renamed over `file` when complete. Returns false, leaving nothing behind,
// when any step fails. Temporary files that an earlier run left behind are removed.
bool writeCacheFile(const std::string& dir, const std::string& file, const Block& block);

} // namespace lexivane::find
