#include "source.h"

#include "apperror.h"
#include "fold.h"
#include "hash.h"
#include "platform.h"
#include "regular_file.h"

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace lexivane::find {
namespace {

constexpr size_t kHeadBytes = 64 * 1024;
constexpr size_t kMaxListBytes = size_t(2) << 30;

// The end of the refusal of a file that is not a regular one: "it is a FIFO, not ...".
constexpr const char* kWhat = "a word database";

std::string errnoText(int e) {
    return std::strerror(e);
}

// The reader says "Cannot open the word database "PATH": reason."; the path is said once.
std::string readerReason(const QString& description, const std::string& path) {
    const QString prefix = QStringLiteral("Cannot open the word database \"") +
                           QFile::decodeName(path.c_str()) + QStringLiteral("\": ");
    QString reason = description;
    if (reason.startsWith(prefix)) {
        reason = reason.mid(prefix.size());
        if (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
    }
    return reason.toStdString();
}

} // namespace

bool looksLikeAccess(std::string_view head) {
    if (head.size() >= 19 &&
        (head.substr(4, 15) == "Standard Jet DB" || head.substr(4, 15) == "Standard ACE DB"))
        return true;
    return head.substr(0, 4096).find('\0') != std::string_view::npos;
}

SourceKey keyOf(const std::string& path) {
    SourceKey key;
    key.path = resolvedPath(path);
    if (key.path.empty()) throw SourceError(path, errnoText(errno));
    auto f = common::RegularFile::open(key.path, kWhat);
    if (!f) throw SourceError(path, f.error().why);
    const struct stat& st = f->status();
    const auto head = f->readHead(kHeadBytes);
    if (!head) throw SourceError(path, head.error().why);
    key.size = static_cast<uint64_t>(st.st_size);
    key.device = static_cast<uint64_t>(st.st_dev);
    key.inode = static_cast<uint64_t>(st.st_ino);
    key.mtimeNs = modifiedNs(st);
    key.ctimeNs = changedNs(st);
    key.headHash = hash64(head->data(), head->size(), 0x4845);
    return key;
}

std::string parseWordList(std::string&& bytes, db::WordTable& out) {
    out.rows.clear();
    out.text.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t at = (n >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0) ? 3 : 0;
    size_t lineNo = 0;
    while (at < n) {
        ++lineNo;
        const void* nl = std::memchr(p + at, '\n', n - at);
        const size_t end = nl ? static_cast<size_t>(static_cast<const unsigned char*>(nl) - p) : n;
        size_t len = end - at;
        if (len > 0 && p[at + len - 1] == '\r') --len;
        if (len > 0) {
            const std::string line = "line " + std::to_string(lineNo);
            if (std::memchr(p + at, '\0', len)) {
                out.rows.clear();
                return line + " holds a NUL character";
            }
            const std::string_view word(reinterpret_cast<const char*>(p + at), len);
            if (!isValidUtf8(word)) {
                out.rows.clear();
                return line + " is not valid UTF-8";
            }
            if (charCount(word) > kMaxListWordLength) {
                out.rows.clear();
                return line + " has more than " + std::to_string(kMaxListWordLength) +
                       " characters";
            }
            out.rows.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(len)});
        }
        at = end + 1;
    }
    out.text = std::move(bytes);
    return {};
}

db::WordTable readSource(const SourceKey& key, const std::string& shownPath,
                         const std::string& helperPath) {
    const std::string& path = shownPath;
    auto f = common::RegularFile::open(key.path, kWhat);
    if (!f) throw SourceError(path, f.error().why);
    const auto head = f->readHead(4096);
    if (!head) throw SourceError(path, head.error().why);
    if (looksLikeAccess(*head)) {
        f->close();
        db::ReadLimits limits;
        limits.helperPath = QFile::decodeName(helperPath.c_str());
        try {
            return db::readWords(QFile::decodeName(key.path.c_str()), limits);
        } catch (const AppError& e) {
            throw SourceError(path, readerReason(e.description(), key.path));
        }
    }
    auto bytes = f->readAll(kMaxListBytes);
    if (!bytes && bytes.error().errorNumber == EFBIG)
        throw SourceError(path, "it is too large for a word list (over 2 GiB)");
    if (!bytes) throw SourceError(path, bytes.error().why);
    db::WordTable table;
    const std::string wrong = parseWordList(std::move(*bytes), table);
    if (!wrong.empty()) throw SourceError(path, wrong);
    return table;
}

} // namespace lexivane::find
