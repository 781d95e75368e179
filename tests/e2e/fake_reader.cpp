// Put in the reader's place by the end-to-end test, it writes what a broken reader would. The
// reader runs confined and may read only its database and its own file, so the test names the
// fault on the last line of this program's file: "fake-reader: FAULT".

#include <climits>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <time.h>
#include <unistd.h>

namespace {

void put(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(1, bytes.data(), bytes.size());
        if (n <= 0) _exit(1);
        bytes.remove_prefix(size_t(n));
    }
}

std::string fault() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    self[n] = '\0';
    const int fd = open(self, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char tail[64] = {};
    const off_t size = lseek(fd, 0, SEEK_END);
    const ssize_t got = pread(fd, tail, sizeof tail, size > 64 ? size - 64 : 0);
    close(fd);
    const std::string_view text(tail, got > 0 ? size_t(got) : 0);
    const size_t at = text.rfind("fake-reader: ");
    if (at == std::string_view::npos) return {};
    std::string name(text.substr(at + 13));
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

} // namespace

int main() {
    using namespace std::string_view_literals;
    const std::string f = fault();
    if (f == "garbage") {
        std::string bytes(65536, '\0');
        uint64_t x = 0x9E3779B97F4A7C15U;
        for (char& c : bytes) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            c = char(x);
        }
        put(bytes);
    } else if (f == "huge_length") {
        put("LXW1\x01\xff\xff\xff\xff"
            "abc\xff\x01\x00\x00\x00"sv);
    } else if (f == "ten_mb_word") {
        put("LXW1\x01\x00\x00\xa0\x00"sv);
        put(std::string(10 << 20, 'a'));
        put("\xff\x01\x00\x00\x00"sv);
    } else if (f == "not_utf8") {
        put("LXW1\x01\x03\x00\x00\x00"
            "a\xff"
            "b\xff\x01\x00\x00\x00"sv);
    } else if (f == "utf16") {
        put("LXW1\x01\x04\x00\x00\x00\x00\xd8"
            "a\x00\xff\x01\x00\x00\x00"sv);
    } else if (f == "cut") {
        // A good stream that stops inside a record, as a reader killed mid-write leaves it.
        std::string bytes("LXW1");
        while (bytes.size() < 100000)
            bytes.append("\x01\x05\x00\x00\x00"
                         "apple"sv);
        bytes.resize(100000 - 3);
        put(bytes);
    } else if (f == "endless") {
        const std::string zeros(1 << 16, '\0');
        for (;;)
            put(zeros);
    } else if (f == "hang") {
        put("LXW1"sv);
        const timespec tenMinutes{600, 0};
        nanosleep(&tenMinutes, nullptr);
    } else {
        put("lexivane-words: fake-reader: no fault named\n"sv);
        return 2;
    }
    return 0;
}
