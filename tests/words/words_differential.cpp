// words_differential: reads Access files with the project's reader and with libmdb, which
// must give the same values (NULLs included) in the same order, or both refuse.
//
//   words_differential [--every-column] FILE|DIR...
//
// Each file's `words`.`word` is compared; with --every-column also every text and memo column
// of every user table libmdb lists (only for sound files: libmdb's catalog walk can loop on a
// damaged one). Prints one line per comparison; exits 1 on any difference.

#include "access_reader.h"
#include "libmdb_reader.h"

#include <glib.h>

#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace lexivane::access;
namespace fs = std::filesystem;

struct Values final : ValueSink {
    std::vector<std::string> v;
    void value(const char* s, std::size_t n) override { v.emplace_back("=").append(s, n); }
    void null() override { v.emplace_back("NULL"); }
};

std::vector<std::pair<std::string, std::string>> textColumns(std::vector<std::uint8_t> bytes) {
    std::vector<std::pair<std::string, std::string>> out;
    MdbHandle* mdb = mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS);
    if (!mdb) return out;
    if (mdb_read_catalog(mdb, MDB_TABLE)) {
        for (guint i = 0; i < mdb->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (!mdb_is_user_table(e)) continue;
            MdbTableDef* t = mdb_read_table(e);
            if (t && mdb_read_columns(t))
                for (guint c = 0; c < t->num_cols; ++c) {
                    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
                    if (col->col_type == MDB_TEXT || col->col_type == MDB_MEMO)
                        out.emplace_back(e->object_name, col->name);
                }
            if (t) mdb_free_tabledef(t);
        }
    }
    mdb_close(mdb);
    return out;
}

// One comparison; false on a difference, which it prints.
bool compare(const std::string& name, std::vector<std::uint8_t>& bytes, const std::string& table,
             const std::string& column, std::size_t& values) {
    Values own, ref;
    MemorySource source(bytes);
    const auto a = readColumn(source, table, column, own);
    const auto b = libmdbReadColumn(bytes, table, column, ref);
    const std::string what = name + " " + table + "." + column;
    if (!a || !b) {
        std::printf("%s %s: %s | libmdb: %s\n", a || b ? "DIFFERENT" : "both refuse", what.c_str(),
                    a ? "read" : a.error().why.c_str(), b ? "read" : b.error().why.c_str());
        return !a && !b;
    }
    for (std::size_t i = 0; i < std::max(own.v.size(), ref.v.size()); ++i) {
        const std::string mine = i < own.v.size() ? own.v[i] : "(none)";
        const std::string theirs = i < ref.v.size() ? ref.v[i] : "(none)";
        if (mine != theirs) {
            std::printf("DIFFERENT %s row %zu: [%s] | libmdb: [%s]\n", what.c_str(), i,
                        mine.c_str(), theirs.c_str());
            return false;
        }
    }
    std::printf("same %s: %zu rows\n", what.c_str(), own.v.size());
    values += own.v.size();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool every = false;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--every-column") {
            every = true;
        } else if (fs::is_directory(arg)) {
            for (const auto& e : fs::directory_iterator(arg))
                if (e.path().extension() == ".mdb" || e.path().extension() == ".accdb")
                    files.push_back(e.path());
        } else {
            files.emplace_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    std::size_t compared = 0, values = 0, differences = 0;
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        if (!in.eof() && !in) {
            std::printf("cannot read %s\n", f.c_str());
            return 1;
        }
        auto columns = every ? textColumns(bytes) : decltype(textColumns(bytes)){};
        columns.emplace(columns.begin(), "words", "word");
        for (const auto& [table, column] : columns) {
            ++compared;
            differences += !compare(f.filename().string(), bytes, table, column, values);
        }
    }
    std::printf("%zu comparisons, %zu values, %zu differences\n", compared, values, differences);
    return compared == 0 || differences ? 1 : 0;
}
