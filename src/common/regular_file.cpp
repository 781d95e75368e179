#include "regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace lexivane::common {

namespace {
Error fromErrno(int e) {
    return {std::strerror(e), e};
}
} // namespace

RegularFile::RegularFile(RegularFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(other.status_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        status_ = other.status_;
    }
    return *this;
}

RegularFile::~RegularFile() {
    close();
}

long long RegularFile::readFrom(std::string& out, size_t from) const {
    size_t got = from;
    while (got < out.size()) {
        const long long r = readAt(got, out.data() + got, out.size() - got);
        if (r == -EINTR) continue;
        if (r < 0) return r;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<long long>(got - from);
}

Expected<std::string> RegularFile::readAll(size_t limit) {
    if (fd_ < 0) return fromErrno(EBADF);
    const auto expected = static_cast<size_t>(status_.st_size);
    const auto tooLarge = [&] {
        close();
        return Error{"larger than " + std::to_string(limit) + " bytes", EFBIG};
    };
    if (expected > limit) return tooLarge();
    std::string out;
    // The file may have grown since fstat: one byte past the limit tells.
    out.resize(expected + 1);
    size_t got = 0;
    for (;;) {
        const long long r = readFrom(out, got);
        if (r < 0) {
            close();
            return fromErrno(static_cast<int>(-r));
        }
        got += static_cast<size_t>(r);
        if (got < out.size() || got > limit) break;
        out.resize(std::min(limit + 1, got + std::max<size_t>(got, 1 << 16)));
    }
    if (got > limit) return tooLarge();
    out.resize(got);
    return out;
}

Expected<std::string> RegularFile::readHead(size_t n) {
    if (fd_ < 0) return fromErrno(EBADF);
    std::string out(n, '\0');
    const long long r = readFrom(out, 0);
    if (r < 0) {
        close();
        return fromErrno(static_cast<int>(-r));
    }
    out.resize(static_cast<size_t>(r));
    return out;
}

} // namespace lexivane::common
