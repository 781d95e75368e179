// Reading one text column of one table of an Access file (Jet 3, Jet 4, ACE), in stored row
// order, as UTF-8. Portable C++: the bytes come through a ByteSource, so the same code reads
// a file on any system or a buffer in a test. Every offset read from the file is checked and
// every walk is bounded by the file's size: a damaged file is refused, never followed.
#pragma once

#include "expected.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace lexivane::access {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly n bytes from `at`, or false.
    virtual bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) override;

  private:
    std::span<const std::uint8_t> bytes_;
};

// A file read through the standard library, for systems without pread.
class StreamSource final : public ByteSource {
  public:
    explicit StreamSource(const std::string& path);
    bool isOpen() const { return in_.is_open(); }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t at, std::uint8_t* out, std::size_t n) override;

  private:
    std::ifstream in_;
    std::uint64_t size_ = 0;
};

// Where the values go: each row's value or its NULL, in row order.
class ValueSink {
  public:
    virtual ~ValueSink() = default;
    virtual void value(const char* text, std::size_t n) = 0;
    virtual void null() = 0;
};

struct FileFormat {
    int version = 0; // 0 Jet 3, 1 Jet 4, 2 and up ACE
    std::size_t pageSize = 0;
};

// The checks made before a file's pages are read: signature, version, whole pages, room for
// the catalog, no database key, the catalog's definition on page 2. The reasons are the
// helper's ("encrypted (...)", "damaged (...)", "not an Access database (...)").
common::Expected<FileFormat> checkFile(ByteSource& file);

// Reads the column `column` of table `table` (names without regard to ASCII case) into
// `sink`, after checkFile. Gives the number of rows; on failure the sink may have had some.
common::Expected<std::uint32_t> readColumn(ByteSource& file, std::string_view table,
                                           std::string_view column, ValueSink& sink);

// Jet 4 text: UTF-16LE, or "compressed": FF FE, then one byte per character for
// U+0001..U+00FF, where a 0x00 byte switches between that and two-byte units. Unpaired
// surrogates become U+FFFD.
void decodeJet4Text(const std::uint8_t* p, std::size_t n, std::string& out);

// Jet 3 text, in code page 1252, up to its first NUL.
void decodeJet3Text(const std::uint8_t* p, std::size_t n, std::string& out);

} // namespace lexivane::access
