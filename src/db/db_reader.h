#pragma once

// Runs the lexivane-words helper on an Access file in a child process, under a time and a
// memory limit, and collects its raw record stream (tools/words/README.md).

#include "child_process.h"
#include "confine.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace lexivane::db {

// The words as read: all values back to back in `text`, one slot per row in stored order.
struct WordTable {
    static constexpr uint32_t kNull = 0xFFFFFFFFu;
    struct Slot {
        uint32_t offset;
        uint32_t length; // kNull: the row holds NULL
    };
    std::string text;
    std::vector<Slot> rows;

    void add(const char* s, size_t n);
    void addNull() { rows.push_back({0, kNull}); }
};

// What the program takes from the reader: anything past these is refused at Open. A word
// written by the builder is at most 255 characters (765 bytes); libmdb hands out at most 16 KiB
// of a memo.
inline constexpr uint32_t kMaxValueBytes = 64 * 1024;
inline constexpr size_t kMaxRows = size_t(1) << 22;          // 4,194,304 words
inline constexpr size_t kMaxStreamBytes = size_t(256) << 20; // 256 MiB of output

struct ReadLimits {
    QString helperPath;
    int timeoutMs = child::kReaderTimeoutMs;
    qint64 memoryLimitBytes = child::kReaderMemoryBytes;
    QString table = QStringLiteral("words"); // the helper's --table / --column
    QString column = QStringLiteral("word");
    // The helper runs confined with these mechanisms, where the kernel has them; a test
    // leaves one out as a kernel without it would.
    unsigned confinement = confine::kAll;
};

// Reads the column (`word` of `words` unless told otherwise) of `path`. Throws lexivane::AppError
// naming the file and the problem. The child is always reaped before this returns, also when it
// throws.
WordTable readWords(const QString& path, const ReadLimits& limits);

// The most the helper may write for a file of `fileSize` bytes.
size_t maxReaderOutput(qint64 fileSize);

// Runs the helper on `absolute` as readWords does, with its limits and its confinement, and
// collects its output: for a caller that judges the outcome itself.
// Fails when the confinement the kernel offers cannot be prepared.
common::Expected<child::Outcome> runHelper(const QString& absolute, const ReadLimits& limits,
                                           size_t maxOutput, std::string& stream,
                                           std::string& errText);

// A read begun before it is asked for: start-up begins reading the word database while Qt
// starts and the window is made. The helper runs and its output is collected on a thread of
// its own; the object's end waits for it.
class ReadAhead {
  public:
    ReadAhead(const QString& path, const ReadLimits& limits);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The words of `path` read with `limits`, or the read's failure thrown, when those are
    // what the read was begun with; nothing otherwise (and after the first time), and the
    // caller reads for itself.
    std::optional<WordTable> take(const QString& path, const ReadLimits& limits);

  private:
    QString path_;
    ReadLimits limits_;
    bool taken_ = false;
    std::future<WordTable> result_;
};

// Takes over a complete raw stream as `out.text` (slots point into it); returns an empty
// string on success, else what is wrong with the stream. Every value it accepts is valid UTF-8
// of at most kMaxValueBytes, and there are at most kMaxRows rows.
QString parseRawStream(std::string&& stream, WordTable& out);

} // namespace lexivane::db
