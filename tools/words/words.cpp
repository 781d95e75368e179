// lexivane-words: prints the `word` column of table `words` of an Access file.
// The program runs this as a child process (see README.md for the raw record stream),
// so everything libmdb might do wrong on a bad file stays out of the program.

#include "common/utf8.h"

#include <glib.h> // before mdbtools.h, which includes it inside extern "C"

#include <mdbtools.h>

#include "common/child_process.h"
#include "common/confine.h"
#include "common/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

#ifndef LEXIVANE_VERSION
#error "LEXIVANE_VERSION is set by the build"
#endif

// Exit statuses. Every way a file can fail is 1: the line on stderr says which.
constexpr int kBadInput = 1;
constexpr int kUsage = 2;

constexpr char kUsageLine[] = "usage: lexivane-words [--raw] [--table NAME] [--column NAME] FILE\n";
constexpr char kHelp[] =
    "\n"
    "Prints the column \"word\" of the table \"words\" of FILE, an Access database\n"
    "(Jet 3, Jet 4 or ACE), one value per line in stored row order, as UTF-8.\n"
    "\n"
    "  --raw          write the record stream Lexivane reads instead of lines\n"
    "  --table NAME   read the table NAME instead of \"words\"\n"
    "  --column NAME  read the column NAME instead of \"word\"\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 read, 1 the file cannot be read as asked, 2 bad usage.\n";

int g_errFd = 2;
const char* g_path = "";

[[noreturn]] void fail(const std::string& problem) {
    std::string line = "lexivane-words: ";
    line += g_path;
    line += ": ";
    line += problem;
    line += '\n';
    ssize_t ignored = write(g_errFd, line.data(), line.size());
    (void)ignored;
    _exit(kBadInput);
}

// glib reports a failed allocation through g_error and then aborts; say so in our own words
// first, since libmdb's chatter on stderr is silenced.
void onGlibLog(const gchar*, GLogLevelFlags level, const gchar* message, gpointer) {
    if (!(level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))) return;
    if (message && std::strstr(message, "allocate")) fail("out of memory");
    if (level & G_LOG_LEVEL_ERROR)
        fail(std::string("damaged (") + (message ? message : "library error") + ")");
}

void onNoMemory() {
    fail("out of memory");
}

// The line said when the time is up, made beforehand: the signal handler only writes it.
std::string g_tooLong;

void onAlarm(int) {
    ssize_t ignored = write(g_errFd, g_tooLong.data(), g_tooLong.size());
    (void)ignored;
    _exit(kBadInput);
}

// Run by hand, the reader takes on the limits the program would give it: a process started
// without a processor limit gets them all; one that has limits keeps what it was given.
void limitWhenRunByHand() {
    namespace child = lexivane::child;
    struct rlimit cpu {};
    if (getrlimit(RLIMIT_CPU, &cpu) != 0 || cpu.rlim_cur != RLIM_INFINITY) return;
    const int seconds = child::cpuSecondsFor(child::kReaderTimeoutMs);
    cpu = {rlim_t(seconds), rlim_t(seconds) + 1};
    setrlimit(RLIMIT_CPU, &cpu);
#ifndef LEXIVANE_SANITIZED
    // ASan reserves terabytes of address space up front, so only plain builds cap it.
    const struct rlimit as = {rlim_t(child::kReaderMemoryBytes), rlim_t(child::kReaderMemoryBytes)};
    setrlimit(RLIMIT_AS, &as);
#endif
    g_tooLong = std::string("lexivane-words: ") + g_path + ": reading it took longer than " +
                std::to_string(child::kReaderTimeoutMs) + " ms and was stopped\n";
    signal(SIGALRM, onAlarm);
    alarm(unsigned(child::kReaderTimeoutMs + 999) / 1000);
}

class Out {
  public:
    explicit Out(bool raw) : raw_(raw) { buf_.reserve(kSize + 1024); }
    void header() {
        if (raw_) buf_.append("LXW1", 4);
    }
    void value(const char* s, size_t n) {
        if (raw_) {
            buf_.push_back('\x01');
            u32(static_cast<uint32_t>(n));
        }
        buf_.append(s, n);
        if (!raw_) buf_.push_back('\n');
        maybeFlush();
    }
    void null() {
        buf_.push_back(raw_ ? '\0' : '\n');
        maybeFlush();
    }
    void end(uint32_t rows) {
        if (raw_) {
            buf_.push_back('\xFF');
            u32(rows);
        }
        flush();
    }

  private:
    static constexpr size_t kSize = 256 * 1024;
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    void maybeFlush() {
        if (buf_.size() >= kSize) flush();
    }
    void flush() {
        size_t done = 0;
        while (done < buf_.size()) {
            ssize_t n = write(1, buf_.data() + done, buf_.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail(std::string("cannot write output: ") + strerror(errno));
            done += static_cast<size_t>(n);
        }
        buf_.clear();
    }
    bool raw_;
    std::string buf_;
};

// The header block at 0x18 is masked with a fixed RC4 keystream; only the database key
// inside it matters here (non-zero: the pages are encrypted).
void unmaskHeader(unsigned char* block, size_t n) {
    static const unsigned char key[4] = {0xC7, 0xDA, 0x39, 0x6B};
    unsigned char s[256];
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (size_t k = 0, i = 0, j = 0; k < n; ++k) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        block[k] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

bool preadAll(int fd, unsigned char* buf, size_t n, off_t at) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = pread(fd, buf + done, n - done, at + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// Cheap checks before libmdb gets the file: libmdb trusts what it reads and may loop or
// crash on garbage, so anything we can refuse here we refuse here.
// The file stays open in `file`: libmdb, which opens by name, is given it as /proc/self/fd/N,
// so that what it reads is what was checked here.
off_t checkFile(const char* path, lexivane::common::RegularFile& file) {
    if (!file.open(path, "an Access database")) {
        if (file.errorNumber() == ENOENT) fail("file not found");
        if (file.errorNumber() == EISDIR || S_ISDIR(file.status().st_mode))
            fail("is a directory, not an Access database");
        if (file.errorNumber() == 0) fail(file.error());
        fail("cannot open: " + file.error());
    }
    const int fd = file.fd();
    const struct stat& st = file.status();
    if (st.st_size == 0) fail("empty file, not an Access database");

    unsigned char hdr[0x98] = {};
    static const char jet[] = "Standard Jet DB";
    static const char ace[] = "Standard ACE DB";
    if (st.st_size < static_cast<off_t>(sizeof hdr) || !preadAll(fd, hdr, sizeof hdr, 0) ||
        std::memcmp(hdr, "\x00\x01\x00\x00", 4) != 0 ||
        (std::memcmp(hdr + 4, jet, sizeof jet) != 0 && std::memcmp(hdr + 4, ace, sizeof ace) != 0))
        fail("not an Access database (no Jet/ACE signature)");

    const int version = hdr[0x14];
    if (version > 0x06) fail("unknown Access file version " + std::to_string(version));
    const off_t page = version == 0 ? 2048 : 4096;
    if (st.st_size % page != 0)
        fail("damaged (size " + std::to_string(st.st_size) + " is not a multiple of " +
             std::to_string(page) + "-byte pages)");
    if (st.st_size < 3 * page) fail("damaged (too short to hold a catalog)");

    unmaskHeader(hdr + 0x18, version == 0 ? 126 : 128);
    if (hdr[0x3E] | hdr[0x3F] | hdr[0x40] | hdr[0x41])
        fail("encrypted (a password-protected database cannot be read)");

    unsigned char catalog = 0;
    if (!preadAll(fd, &catalog, 1, 2 * page) || catalog != 0x02)
        fail("damaged (page 2 is not the catalog table definition)");
    return st.st_size;
}

// Jet 4 text: UTF-16LE, or "compressed": FF FE, then one byte per character for U+0001..U+00FF,
// where a 0x00 byte switches between that and two-byte units.
void decodeJet4Text(const unsigned char* p, size_t n, std::string& out) {
    out.clear();
    uint32_t high = 0; // pending high surrogate
    auto unit = [&](uint32_t u) {
        if (high) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                lexivane::appendUtf8(0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00), out);
                high = 0;
                return;
            }
            lexivane::appendUtf8(0xFFFD, out);
            high = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF)
            high = u;
        else if (u >= 0xDC00 && u <= 0xDFFF)
            lexivane::appendUtf8(0xFFFD, out);
        else
            lexivane::appendUtf8(u, out);
    };
    size_t i = 0;
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        for (i = 2; i < n;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                unit(p[i++]);
            } else if (i + 1 < n) {
                unit(uint32_t(p[i]) | uint32_t(p[i + 1]) << 8);
                i += 2;
            } else {
                break;
            }
        }
    } else {
        for (; i + 1 < n; i += 2)
            unit(uint32_t(p[i]) | uint32_t(p[i + 1]) << 8);
    }
    if (high) lexivane::appendUtf8(0xFFFD, out);
}

// libmdb walks a table's usage map (the pages that hold its rows) without checking the map's
// size; a damaged one sends it past the end of its copy. A map starts with its type: 0 is a
// page number and a bitmap after it, 1 a list of map pages (each read and checked on its own).
bool usageMapSound(const MdbTableDef* table) {
    if (!table->usage_map || table->map_sz < 1) return false;
    if (table->usage_map[0] == 0) return table->map_sz >= 5;
    return true; // libmdb itself refuses any type but 0 and 1
}

// The table definition, with its usage map checked before anything walks it.
MdbTableDef* readTable(MdbCatalogEntry* entry) {
    MdbTableDef* table = mdb_read_table(entry);
    if (table && !usageMapSound(table)) {
        mdb_free_tabledef(table);
        return nullptr;
    }
    return table;
}

bool sameName(const char* a, const char* b) {
    return g_ascii_strcasecmp(a, b) == 0;
}

// The catalog entry of the table named `name`. The catalog (MSysObjects) is a table on page 2,
// read here as libmdb reads it, but without mdb_read_catalog: that also parses every object's
// property blob (LvProp), in loops a damaged record length keeps going for ever, and nothing
// here needs the properties. At most `maxRows` rows, as for the words.
MdbCatalogEntry findTable(MdbHandle* mdb, const char* name, uint64_t maxRows) {
    MdbCatalogEntry objects{};
    objects.mdb = mdb;
    objects.object_type = MDB_TABLE;
    objects.table_pg = 2;
    std::snprintf(objects.object_name, sizeof objects.object_name, "MSysObjects");
    MdbTableDef* catalog = readTable(&objects);
    if (!catalog || !mdb_read_columns(catalog)) fail("damaged (the catalog cannot be read)");
    std::vector<char> id(mdb->bind_size + 1), objectName(mdb->bind_size + 1),
        type(mdb->bind_size + 1);
    char idColumn[] = "Id", nameColumn[] = "Name", typeColumn[] = "Type";
    if (mdb_bind_column_by_name(catalog, idColumn, id.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(catalog, nameColumn, objectName.data(), nullptr) < 0 ||
        mdb_bind_column_by_name(catalog, typeColumn, type.data(), nullptr) < 0)
        fail("damaged (the catalog cannot be read)");
    MdbCatalogEntry found{};
    mdb_rewind_table(catalog);
    uint64_t rows = 0;
    while (mdb_fetch_row(catalog)) {
        if (++rows > maxRows) fail("damaged (the catalog cannot be read)");
        if (std::atoi(type.data()) == MDB_TABLE && sameName(objectName.data(), name)) {
            found.mdb = mdb;
            found.object_type = MDB_TABLE;
            found.table_pg = std::strtoul(id.data(), nullptr, 10) & 0x00FFFFFF;
            std::snprintf(found.object_name, sizeof found.object_name, "%s", objectName.data());
            break;
        }
    }
    mdb_free_tabledef(catalog);
    if (!found.mdb) fail(std::string("no table named ") + name);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    // Nothing inherited but the standard streams: run by hand, a shell may pass on others.
    syscall(SYS_close_range, 3u, ~0u, 0u);
    namespace confine = lexivane::confine;
    const lexivane::common::Expected<unsigned> use =
        confine::withoutFromText(getenv(confine::kWithoutVariable));
    bool raw = false;
    const char* path = nullptr;
    const char* tableName = "words";
    const char* columnName = "word";
    auto usageError = [](const std::string& problem) {
        std::string text = "lexivane-words: " + problem + "\n" + kUsageLine +
                           "Try 'lexivane-words --help' for more information.\n";
        ssize_t ignored = write(2, text.data(), text.size());
        (void)ignored;
        return kUsage;
    };
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && (arg == "-h" || arg == "--help")) {
            std::printf("%s%s", kUsageLine, kHelp);
            return 0;
        }
        if (options && arg == "--version") {
            if (!use) return usageError(use.error().why);
            std::printf("lexivane-words " LEXIVANE_VERSION "\nconfinement: %s\n",
                        confine::describe(confine::available(*use)).c_str());
            return 0;
        }
        if (options && arg == "--raw") {
            raw = true;
        } else if (options && (arg == "--table" || arg == "--column")) {
            if (i + 1 >= argc) return usageError("option " + arg + " needs a NAME");
            if (arg == "--table")
                tableName = argv[++i];
            else
                columnName = argv[++i];
        } else if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (path) {
            return usageError("only one FILE at a time");
        } else {
            path = argv[i];
        }
    }
    if (!path) return usageError("needs a FILE");
    if (!use) return usageError(use.error().why);
    g_path = path;
    std::set_new_handler(onNoMemory);
    limitWhenRunByHand();

    lexivane::common::RegularFile file;
    const off_t size = checkFile(path, file);
    const std::string checked = "/proc/self/fd/" + std::to_string(file.fd());
    const char* opened = access(checked.c_str(), R_OK) == 0 ? checked.c_str() : path;

    // libmdb prints its own diagnostics; keep stderr for our one line.
    g_errFd = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (g_errFd < 0)
        g_errFd = 2;
    else if (int devNull = open("/dev/null", O_WRONLY); devNull >= 0) {
        dup2(devNull, 2);
        close(devNull);
    }
    g_log_set_default_handler(onGlibLog, nullptr);

    // From here on the file's bytes drive libmdb: it may read this file and its libraries,
    // and nothing else, whoever started it.
    const auto confinement = confine::Prepared::forReader(path, "", *use);
    if (!confinement) fail("cannot confine itself (" + confinement.error().why + ")");
    if (const confine::Failure f = (*confinement)->apply(); f.mechanism != 0)
        fail("cannot confine itself (" + confine::describe(f) + ")");

    MdbHandle* mdb = mdb_open(opened, MDB_NOFLAGS);
    if (!mdb) fail("damaged (the database header cannot be read)");
    MdbCatalogEntry entry = findTable(mdb, tableName, static_cast<uint64_t>(size) / 4);
    MdbTableDef* table = readTable(&entry);
    if (!table)
        fail(std::string("damaged (the definition of table ") + tableName + " cannot be read)");
    if (!mdb_read_columns(table))
        fail(std::string("damaged (the columns of table ") + tableName + " cannot be read)");

    int column = -1;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        if (sameName(col->name, columnName)) {
            if (col->col_type != MDB_TEXT && col->col_type != MDB_MEMO)
                fail(std::string("column ") + columnName + " is not a text column");
            column = static_cast<int>(i);
            break;
        }
    }
    if (column < 0) fail(std::string("table ") + tableName + " has no column named " + columnName);

    // Jet 4 and ACE text is decoded here: libmdb's per-value iconv call is most of its cost.
    // Jet 3 (code-page text) and memo columns still go through libmdb's own conversion.
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, column));
    const bool decodeHere = !IS_JET3(mdb) && col->col_type == MDB_TEXT;
    std::vector<char> value(mdb->bind_size + 1);
    int length = 0;
    if (!decodeHere) mdb_bind_column(table, column + 1, value.data(), &length);
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
        const int n = mdb_crack_row(table, start & 0x1FFF, rowSize, fields.data());
        for (int i = 0; i < n && i < static_cast<int>(table->num_cols); ++i)
            if (fields[i].colnum == column) return &fields[i];
        return nullptr;
    };

    // A row takes at least a 2-byte offset and a few bytes of its own; more rows than that
    // means libmdb is going round in circles.
    const uint64_t maxRows = static_cast<uint64_t>(size) / 4;
    Out out(raw);
    out.header();
    mdb_rewind_table(table);
    uint32_t rows = 0;
    std::string text;
    auto putText = [&](const MdbField* f) {
        if (!f || (!f->is_null && (f->start < 0 || f->siz < 0 || f->start + f->siz > pageSize)))
            fail("damaged (a row of the table cannot be read)");
        if (f->is_null) {
            out.null();
            return;
        }
        const unsigned char* p = mdb->pg_buf + f->start;
        const auto n = static_cast<size_t>(f->siz);
        // Most words are compressed text of plain ASCII: already their own UTF-8.
        if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE &&
            std::all_of(p + 2, p + n, [](unsigned char c) { return c != 0 && c < 0x80; })) {
            out.value(reinterpret_cast<const char*>(p + 2), n - 2);
            return;
        }
        decodeJet4Text(p, n, text);
        out.value(text.data(), text.size());
    };
    if (decodeHere) {
        // The data pages' rows, as libmdb's own row fetch walks them (deleted rows and rows
        // it cannot find skipped), each cracked once: the fetch cracks a row to fill bound
        // columns, and this needs none.
        while (mdb_read_next_dpg(table)) {
            const int onPage = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
            for (int row = 0; row < onPage; ++row) {
                int start = 0;
                size_t rowSize = 0;
                if (mdb_find_row(mdb, row, &start, &rowSize) != 0 || rowSize == 0) continue;
                if (start & 0x4000) continue; // deleted
                const int n = mdb_crack_row(table, start & 0x1FFF, rowSize, fields.data());
                if (n < 0) continue;
                if (++rows > maxRows) fail("damaged (the table's pages do not add up)");
                const MdbField* f = nullptr;
                for (int i = 0; i < n && i < static_cast<int>(table->num_cols) && !f; ++i)
                    if (fields[i].colnum == column) f = &fields[i];
                putText(f);
            }
        }
    } else {
        while (mdb_fetch_row(table)) {
            if (++rows > maxRows) fail("damaged (the table's pages do not add up)");
            const MdbField* f = length == 0 ? crackColumn() : nullptr;
            if (f && f->is_null)
                out.null();
            else
                out.value(value.data(), static_cast<size_t>(length));
        }
    }
    // libmdb stops quietly at a page it cannot read; the definition's row count gives it away.
    if (rows != table->num_rows)
        fail("damaged (the table's definition counts " + std::to_string(table->num_rows) +
             " rows, its pages hold " + std::to_string(rows) + ")");
    out.end(rows);
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return 0;
}
