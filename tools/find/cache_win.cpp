#include "cache.h"

// No index cache here: every run builds its index from the database. The cache is trusted
// only when no one else can have written it (owner and mode, no link in its place, a folder
// held open), and the mapping of a file cut short needs its own guard; neither is small on
// this system.

namespace lexivane::find {

std::string cacheDirectory() {
    return {};
}

common::Expected<> trusted(const struct stat&) {
    return common::Error{"there is no cache on this system"};
}

CacheFolder::~CacheFolder() = default;

common::Expected<bool> CacheFolder::open(const std::string& dir, bool) {
    path_ = dir;
    return false;
}

MappedFile::~MappedFile() = default;

void MappedFile::unmap() {}

common::Expected<bool> MappedFile::map(const CacheFolder&, const std::string&) {
    return false;
}

bool writeCacheFile(const CacheFolder&, const std::string&, const Block&) {
    return false;
}

} // namespace lexivane::find
