#include "confine.h"

#include <utility>

namespace lexivane::confine {

using common::Error;
using common::Expected;

namespace {

// The names kWithoutVariable knows; only this system's mechanisms (kAll) count.
constexpr std::pair<Mechanism, const char*> kNames[] = {
    {kNoNewPrivs, "no_new_privs"},          {kLandlock, "landlock"},          {kSeccomp, "seccomp"},
    {kRestrictedToken, "restricted_token"}, {kLowIntegrity, "low_integrity"},
};

} // namespace

Expected<unsigned> withoutFromText(const char* text) {
    unsigned use = kAll;
    if (!text) return use;
    const std::string t = text;
    for (size_t at = 0; at <= t.size();) {
        size_t end = t.find(',', at);
        if (end == std::string::npos) end = t.size();
        const std::string name = t.substr(at, end - at);
        bool known = name.empty();
        for (auto [m, n] : kNames)
            if ((m & kAll) && name == n) {
                use &= ~unsigned(m);
                known = true;
            }
        if (!known)
            return Error{std::string(kWithoutVariable) + ": unknown mechanism \"" + name + "\""};
        at = end + 1;
    }
    return use;
}

std::string withoutText(unsigned use) {
    std::string t;
    for (auto [m, name] : kNames)
        if ((m & kAll) && !(use & m)) t += (t.empty() ? "" : ",") + std::string(name);
    return t;
}

} // namespace lexivane::confine
