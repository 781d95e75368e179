#include "cache.h"

#include "hash.h"

#include <cstdio>

namespace lexivane::find {

std::string cacheFileName(const std::string& sourcePath) {
    char name[40];
    std::snprintf(
        name, sizeof name, "find-%016llx.index",
        static_cast<unsigned long long>(hash64(sourcePath.data(), sourcePath.size(), 0x5041)));
    return name;
}

} // namespace lexivane::find
