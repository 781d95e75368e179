#include "libmdb_reader.h"

#include <glib.h> // before mdbtools.h, which includes it inside extern "C"

#include <mdbtools.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lexivane::access {

namespace {

struct Refusal {
    std::string why;
};

[[noreturn]] void refuse(std::string why) {
    throw Refusal{std::move(why)};
}

struct TableFree {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Table = std::unique_ptr<MdbTableDef, TableFree>;

// libmdb walks a table's usage map (the pages that hold its rows) without checking the map's
// size; a damaged one sends it past the end of its copy. A map starts with its type: 0 is a
// page number and a bitmap after it, 1 a list of map pages (each read and checked on its own).
bool usageMapSound(const MdbTableDef* table) {
    if (!table->usage_map || table->map_sz < 1) return false;
    if (table->usage_map[0] == 0) return table->map_sz >= 5;
    return true; // libmdb itself refuses any type but 0 and 1
}

// The table definition, with its usage map checked before anything walks it.
Table readTable(MdbCatalogEntry* entry) {
    Table table(mdb_read_table(entry));
    if (table && !usageMapSound(table.get())) table.reset();
    return table;
}

bool sameName(const char* a, std::string_view b) {
    return g_ascii_strcasecmp(a, std::string(b).c_str()) == 0;
}

// The catalog entry of the table named `name`. The catalog (MSysObjects) is a table on page 2,
// read here as libmdb reads it, but without mdb_read_catalog: that also parses every object's
// property blob (LvProp), in loops a damaged record length keeps going for ever, and nothing
// here needs the properties. At most `maxRows` rows, as for the words.
MdbCatalogEntry findTable(MdbHandle* mdb, std::string_view name, uint64_t maxRows) {
    MdbCatalogEntry objects{};
    objects.mdb = mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::snprintf(objects.object_name, sizeof objects.object_name, "MSysObjects");
    Table catalog = readTable(&objects);
    if (!catalog || !mdb_read_columns(catalog.get()))
        refuse("damaged (the catalog cannot be read)");
    std::vector<char> id(mdb->bind_size + 1), objectName(mdb->bind_size + 1),
        type(mdb->bind_size + 1);
    char idColumn[] = "Id", nameColumn[] = "Name", typeColumn[] = "Type";
    if (mdb_bind_column_by_name(catalog.get(), idColumn, id.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(catalog.get(), nameColumn, objectName.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(catalog.get(), typeColumn, type.data(), nullptr) < 0)
        refuse("damaged (the catalog cannot be read)");
    mdb_rewind_table(catalog.get());
    uint64_t rows = 0;
    while (mdb_fetch_row(catalog.get())) {
        if (++rows > maxRows) refuse("damaged (the catalog cannot be read)");
        if (std::atoi(type.data()) == MDB_TABLE && sameName(objectName.data(), name)) {
            MdbCatalogEntry found{};
            found.mdb = mdb;
            found.object_type = MDB_TABLE;
            found.table_pg = std::strtoul(id.data(), nullptr, 10) & 0x00FFFFFF;
            std::snprintf(found.object_name, sizeof found.object_name, "%s", objectName.data());
            return found;
        }
    }
    refuse("no table named " + std::string(name));
}

uint32_t readOpened(MdbHandle* mdb, std::uint64_t size, std::string_view tableName,
                    std::string_view columnName, ValueSink& sink) {
    if (!mdb) refuse("damaged (the database header cannot be read)");
    MdbCatalogEntry entry = findTable(mdb, tableName, size / 4);
    Table table = readTable(&entry);
    if (!table)
        refuse("damaged (the definition of table " + std::string(tableName) + " cannot be read)");
    if (!mdb_read_columns(table.get()))
        refuse("damaged (the columns of table " + std::string(tableName) + " cannot be read)");

    int column = -1;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (sameName(col->name, columnName)) {
            if (col->col_type != MDB_TEXT && col->col_type != MDB_MEMO)
                refuse("column " + std::string(columnName) + " is not a text column");
            column = static_cast<int>(i);
            break;
        }
    }
    if (column < 0)
        refuse("table " + std::string(tableName) + " has no column named " +
               std::string(columnName));

    // Jet 4 and ACE text is decoded here: libmdb's per-value iconv call is most of its cost.
    // Jet 3 (code-page text) and memo columns still go through libmdb's own conversion.
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, column));
    const bool decodeHere = !IS_JET3(mdb) && col->col_type == MDB_TEXT;
    std::vector<char> value(mdb->bind_size + 1);
    int length = 0;
    if (!decodeHere) mdb_bind_column(table.get(), column + 1, value.data(), &length);
    // Bound values give no way to tell NULL from an empty text, so the row is cracked
    // again for its null mask.
    std::vector<MdbField> fields(table->num_cols + 1);
    const int pageSize = static_cast<int>(mdb->fmt->pg_size);
    auto crackColumn = [&]() -> const MdbField* {
        int start = 0;
        size_t rowSize = 0;
        if (table->cur_row == 0 ||
            mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &start, &rowSize) != 0)
            return nullptr;
        const int n = mdb_crack_row(table.get(), start & 0x1FFF, rowSize, fields.data());
        for (int i = 0; i < n && i < static_cast<int>(table->num_cols); ++i)
            if (fields[i].colnum == column) return &fields[i];
        return nullptr;
    };

    // A row takes at least a 2-byte offset and a few bytes of its own; more rows than that
    // means libmdb is going round in circles.
    const uint64_t maxRows = size / 4;
    mdb_rewind_table(table.get());
    uint32_t rows = 0;
    std::string text;
    auto putText = [&](const MdbField* f) {
        if (!f || (!f->is_null && (f->start < 0 || f->siz < 0 || f->start + f->siz > pageSize)))
            refuse("damaged (a row of the table cannot be read)");
        if (f->is_null) {
            sink.null();
            return;
        }
        const unsigned char* p = mdb->pg_buf + f->start;
        const auto n = static_cast<size_t>(f->siz);
        // Most words are compressed text of plain ASCII: already their own UTF-8.
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE &&
            std::all_of(p + 2, p + n, [](unsigned char c) { return c != 0 && c < 0x80; })) {
            sink.value(reinterpret_cast<const char*>(p + 2), n - 2);
            return;
        }
        decodeJet4Text(p, n, text);
        sink.value(text.data(), text.size());
    };
    if (decodeHere) {
        // The data pages' rows, as libmdb's own row fetch walks them (deleted rows and rows
        // it cannot find skipped), each cracked once: the fetch cracks a row to fill bound
        // columns, and this needs none.
        while (mdb_read_next_dpg(table.get())) {
            const int onPage = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
            for (int row = 0; row < onPage; ++row) {
                int start = 0;
                size_t rowSize = 0;
                if (mdb_find_row(mdb, row, &start, &rowSize) != 0 || rowSize == 0) continue;
                if (start & 0x4000) continue; // deleted
                const int n = mdb_crack_row(table.get(), start & 0x1FFF, rowSize, fields.data());
                if (n < 0) continue;
                if (++rows > maxRows) refuse("damaged (the table's pages do not add up)");
                const MdbField* f = nullptr;
                for (int i = 0; i < n && i < static_cast<int>(table->num_cols) && !f; ++i)
                    if (fields[i].colnum == column) f = &fields[i];
                putText(f);
            }
        }
    } else {
        while (mdb_fetch_row(table.get())) {
            if (++rows > maxRows) refuse("damaged (the table's pages do not add up)");
            const MdbField* f = length == 0 ? crackColumn() : nullptr;
            if (f && f->is_null)
                sink.null();
            else
                sink.value(value.data(), static_cast<size_t>(length));
        }
    }
    // libmdb stops quietly at a page it cannot read; the definition's row count gives it away.
    if (rows != table->num_rows)
        refuse("damaged (the table's definition counts " + std::to_string(table->num_rows) +
               " rows, its pages hold " + std::to_string(rows) + ")");
    return rows;
}

struct Closer {
    void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};

common::Expected<std::uint32_t> guarded(MdbHandle* opened, std::uint64_t size,
                                        std::string_view table, std::string_view column,
                                        ValueSink& sink) {
    std::unique_ptr<MdbHandle, Closer> mdb(opened);
    try {
        return readOpened(mdb.get(), size, table, column, sink);
    } catch (const Refusal& r) {
        return common::Error{r.why};
    }
}

} // namespace

common::Expected<std::uint32_t> libmdbReadColumn(const std::string& openPath, std::uint64_t size,
                                                 std::string_view table, std::string_view column,
                                                 ValueSink& sink) {
    return guarded(mdb_open(openPath.c_str(), MDB_NOFLAGS), size, table, column, sink);
}

common::Expected<std::uint32_t> libmdbReadColumn(std::vector<std::uint8_t>& bytes,
                                                 std::string_view table, std::string_view column,
                                                 ValueSink& sink) {
    MemorySource source(bytes);
    if (const common::Expected<FileFormat> format = checkFile(source); !format)
        return format.error();
    return guarded(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS), bytes.size(), table,
                   column, sink);
}

} // namespace lexivane::access
