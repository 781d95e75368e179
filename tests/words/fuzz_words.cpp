// Damaged Access files, read by the project's reader and by libmdb: both must give the same
// values in the same order, or both refuse. Any other end aborts.
//
// Input: one byte choosing a sample file (and its text column), then patches of four bytes
// each (page, u16 offset in that page, new byte) applied to a copy of it. Patches keep
// libFuzzer's mutations on the structures, where whole-file inputs would mostly be
// refused at the signature.

#include "access_reader.h"
#include "libmdb_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace lexivane::access;

struct Sample {
    const char* file;
    const char* table;
    const char* column;
    std::vector<std::uint8_t> bytes;
};

std::vector<Sample>& samples() {
    static std::vector<Sample> s = [] {
        std::vector<Sample> list{
            {"words/sample-3000.mdb", "words", "word", {}},
            {"access-files/jet3-testV1997.mdb", "Table1", "A", {}},
            {"access-files/ace14-testV2010.accdb", "Table1", "B", {}},
            {"access-files/jet4-overflowTestV2000.mdb", "Table1", "data1", {}},
            {"access-files/jet4-testUnicodeCompV2003.mdb", "Table", "Unicode", {}},
        };
        for (Sample& each : list) {
            std::ifstream in(std::string(LEXIVANE_TEST_DATA) + "/" + each.file, std::ios::binary);
            each.bytes.assign(std::istreambuf_iterator<char>(in), {});
            if (each.bytes.empty()) {
                std::fprintf(stderr, "fuzz_words: cannot read %s\n", each.file);
                std::abort();
            }
        }
        return list;
    }();
    return s;
}

struct Values final : ValueSink {
    std::vector<std::string> v;
    void value(const char* s, std::size_t n) override { v.emplace_back("=").append(s, n); }
    void null() override { v.emplace_back("NULL"); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Sample& sample = samples()[data[0] % samples().size()];
    std::vector<std::uint8_t> bytes = sample.bytes;
    const std::size_t pageSize = bytes[0x14] == 0 ? 2048 : 4096;
    const std::size_t pages = bytes.size() / pageSize;
    for (std::size_t at = 1; at + 4 <= size; at += 4) {
        const std::size_t offset = (data[at + 1] | data[at + 2] << 8) % pageSize;
        bytes[(data[at] % pages) * pageSize + offset] = data[at + 3];
    }
    Values own, ref;
    MemorySource source(bytes);
    const auto a = readColumn(source, sample.table, sample.column, own);
    const auto b = libmdbReadColumn(bytes, sample.table, sample.column, ref);
    if (bool(a) != bool(b) || (a && own.v != ref.v)) {
        std::fprintf(stderr, "fuzz_words: %s %s.%s: own %s (%zu values), libmdb %s (%zu values)\n",
                     sample.file, sample.table, sample.column, a ? "read" : a.error().why.c_str(),
                     own.v.size(), b ? "read" : b.error().why.c_str(), ref.v.size());
        std::abort();
    }
    return 0;
}
