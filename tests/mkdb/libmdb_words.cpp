#include "libmdb_words.h"

// Debian's mdbtools.h includes glib.h inside extern "C".
#include <glib.h>

#include <mdbtools.h>

#include <cstring>
#include <memory>

namespace lexivane::mkdb::test {

namespace {

struct Closer {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

std::optional<std::vector<std::string>> readWords(MdbHandle* raw, std::string* error) {
    std::unique_ptr<MdbHandle, Closer> mdb(raw);
    auto fail = [error](const char* why) {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!mdb) return fail("libmdb cannot open the file");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) return fail("libmdb cannot read the catalog");

    MdbCatalogEntry* entry = nullptr;
    int tables = 0;
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (!mdb_is_user_table(e)) continue;
        ++tables;
        if (std::strcmp(e->object_name, "words") == 0) entry = e;
    }
    if (!entry) return fail("no table named words");
    if (tables != 1) return fail("more user tables than words");

    std::unique_ptr<MdbTableDef, TableFree> table(mdb_read_table(entry));
    if (!table || !mdb_read_columns(table.get())) return fail("libmdb cannot read the words table");
    if (table->num_cols != 1) return fail("words does not have exactly one column");
    auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, 0));
    if (std::strcmp(column->name, "word") != 0 || column->col_type != MDB_TEXT ||
        column->col_size != 510)
        return fail("the column is not word TEXT(255)");

    std::vector<char> value(mdb->bind_size + 1, '\0');
    int length = 0;
    if (mdb_bind_column(table.get(), 1, value.data(), &length) != 1)
        return fail("libmdb cannot bind word");
    mdb_rewind_table(table.get());
    std::vector<std::string> words;
    while (mdb_fetch_row(table.get()))
        words.emplace_back(value.data(), static_cast<std::size_t>(length));
    if (words.size() != table->num_rows)
        return fail("row count in the table definition differs from the rows read");
    return words;
}

} // namespace

std::optional<std::vector<std::string>> libmdbWordsFromFile(const std::string& path,
                                                            std::string* error) {
    return readWords(mdb_open(path.c_str(), MDB_NOFLAGS), error);
}

std::optional<std::vector<std::string>> libmdbWordsFromBuffer(std::vector<std::uint8_t>& bytes,
                                                              std::string* error) {
    return readWords(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS), error);
}

} // namespace lexivane::mkdb::test
