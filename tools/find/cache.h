#pragma once

// Where index blocks are kept between runs, one file per database, and how they are written
// (a temporary file renamed into place, so a reader sees a whole file or none) and mapped.

#include "expected.h"
#include "word_index.h"

#include <cstddef>
#include <string>
#include <sys/stat.h>

namespace lexivane::find {

// $XDG_CACHE_HOME/lexivane, else $HOME/.cache/lexivane; "" when neither names an absolute
// folder. Nothing is created here.
std::string cacheDirectory();

// The cache file's name (no folder) for the database at `sourcePath` (absolute).
std::string cacheFileName(const std::string& sourcePath);

// The cache folder, held open: every file in it is reached relative to it, so a symbolic
// link put in its place later changes nothing. Anyone who can write to the folder can put
// any file there, so it is used only when it is the user's own and no one else can write to
// it; a file in it only on the same terms.
class CacheFolder {
  public:
    CacheFolder() = default;
    CacheFolder(const CacheFolder&) = delete;
    CacheFolder& operator=(const CacheFolder&) = delete;
    ~CacheFolder();

    // Opens `dir` without following a symbolic link in its place; with `create`, makes it
    // first (mode 0700, and its missing parents). Whether it is there to use; refused when
    // it is there but not to be trusted.
    common::Expected<bool> open(const std::string& dir, bool create);
    bool usable() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

  private:
    int fd_ = -1;
    std::string path_;
};

// Refused unless a file or folder of this status may be trusted: the user's own, and not
// writable by group or others.
common::Expected<> trusted(const struct stat& st);

// A read-only private mapping of a whole file.
class MappedFile {
  public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    // Maps `name` in `folder`: whether there was a file to map (false when it is missing,
    // unreadable or empty); refused when it is not a regular file of the user's own that only
    // the user can write.
    common::Expected<bool> map(const CacheFolder& folder, const std::string& name);
    void unmap();
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

// Writes `block` as `name` in `folder`: into a new temporary file beside it, renamed over
// `name` when complete. Returns false, leaving nothing behind, when any step fails. Temporary
// files that an earlier run left behind are removed.
bool writeCacheFile(const CacheFolder& folder, const std::string& name, const Block& block);

} // namespace lexivane::find
