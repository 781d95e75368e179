// lexivane-find: prints the words of a word database that pass the given selectors, in the
// order the window shows them. See docs/man/lexivane-find.1 and tools/find/README.md.

#include "cache.h"
#include "options.h"
#include "platform.h"
#include "source.h"
#include "word_index.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using namespace lexivane::find;

namespace {

constexpr const char* kName = "lexivane-find";

// ---- output ----

class Output {
  public:
    explicit Output(char end) : end_(end) { buf_.reserve(kSize); }
    ~Output() { flush(); }

    void word(std::string_view w) {
        if (buf_.size() + w.size() + 1 > kSize) flush();
        if (w.size() + 1 > kSize) {
            writeAll(w);
            writeAll(std::string_view(&end_, 1));
            return;
        }
        buf_.append(w);
        buf_.push_back(end_);
    }
    // Text that already holds its line ends.
    void lines(std::string_view text) {
        if (buf_.size() + text.size() > kSize) flush();
        if (text.size() > kSize)
            writeAll(text);
        else
            buf_.append(text);
    }
    void flush() {
        writeAll(buf_);
        buf_.clear();
    }
    int error() const { return error_; }

  private:
    static constexpr size_t kSize = 1 << 16;
    void writeAll(std::string_view s) {
        if (error_ == 0) error_ = writeOut(s.data(), s.size());
    }
    char end_;
    std::string buf_;
    int error_ = 0;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
    return 2;
}

int run(Options& opts) {
    const std::string program = programFolder(LEXIVANE_FIND_PROGRAM_DIR);
    const std::string shown = opts.db.empty() ? databaseIn(program) : opts.db;
    const SourceKey key = keyOf(shown);

    const unsigned needed = opts.query.sectionsNeeded() | (opts.count ? 0u : kWordsNeeded);
    const std::string cacheDir = opts.noCache ? std::string() : cacheDirectory();
    const std::string cacheName = cacheFileName(key.path);

    // A cache that someone else could have written is neither read nor replaced.
    CacheFolder folder;
    bool refused = false;
    const auto refuse = [&](const std::string& what, const std::string& why) {
        std::fprintf(stderr, "%s: not using the cache %s: %s; working without a cache\n", kName,
                     what.c_str(), why.c_str());
        refused = true;
    };
    if (!cacheDir.empty())
        if (const auto opened = folder.open(cacheDir, false); !opened)
            refuse("folder " + cacheDir, opened.error().why);

    MappedFile mapped;
    WordIndex index;
    Block built;
    bool ready = false;
    if (const auto found = mapped.map(folder, cacheName); !found) {
        refuse("file " + cacheDir + "/" + cacheName, found.error().why);
    } else if (*found) {
        guardMapping(mapped.data(), mapped.size());
        ready = index.open(mapped.data(), mapped.size(), &key) == WordIndex::Status::Ok &&
                index.require(needed);
    }
    if (!ready) {
        // Missing, stale or damaged: made again from the database, and kept for next time
        // when the file did not change while it was read.
        mapped.unmap();
        guardMapping(nullptr, 0);
        {
            const lexivane::db::WordTable table = readSource(key, shown, helperIn(program));
            try {
                built = buildIndex(table, key);
            } catch (const std::length_error& e) {
                throw SourceError(shown, e.what());
            }
        }
        if (index.open(built.bytes.get(), built.size, nullptr) != WordIndex::Status::Ok)
            return fail("internal error: the index just built does not read back");
        index.trust();
        if (!cacheDir.empty() && !refused) {
            if (!folder.usable())
                if (const auto opened = folder.open(cacheDir, true); !opened)
                    refuse("folder " + cacheDir, opened.error().why);
            try {
                if (folder.usable() && keyOf(shown) == key)
                    writeCacheFile(folder, cacheName, built);
            } catch (const SourceError&) {
                // gone or changed meanwhile: nothing worth keeping
            }
        }
    }

    Output out(opts.nulTerminated ? '\0' : '\n');
    uint64_t matches = 0;
    std::string wrong;
    if (opts.query.empty()) {
        matches = index.size();
        if (!opts.count) {
            if (!opts.nulTerminated)
                out.lines(index.lines(0, index.size()));
            else
                for (uint32_t i = 0; i < index.size(); ++i)
                    out.word(index.word(i));
        }
    } else if (opts.count) {
        wrong = opts.query.run(index, [&](uint32_t) { ++matches; });
    } else if (opts.nulTerminated) {
        wrong = opts.query.run(index, [&](uint32_t i) {
            ++matches;
            out.word(index.word(i));
        });
    } else {
        // Neighbouring matches go out as one piece of the text, line ends included.
        uint32_t first = 0, next = 0;
        wrong = opts.query.run(index, [&](uint32_t i) {
            ++matches;
            if (i != next) {
                if (next > first) out.lines(index.lines(first, next));
                first = i;
            }
            next = i + 1;
        });
        if (next > first) out.lines(index.lines(first, next));
    }
    if (opts.count && wrong.empty()) {
        char line[32];
        std::snprintf(line, sizeof line, "%llu\n", static_cast<unsigned long long>(matches));
        out.lines(line);
    }
    out.flush();
    if (!wrong.empty()) return fail("--regex: " + wrong);
    if (out.error()) return fail(std::string("write error: ") + std::strerror(out.error()));
    return matches > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    Options opts;
    const std::string wrong = parseArguments(args, opts);
    if (!wrong.empty()) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kName,
                     wrong.c_str(), kName);
        return 2;
    }
    if (opts.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (opts.version) {
        std::printf("%s (Lexivane) %s\n", kName, LEXIVANE_VERSION);
        return 0;
    }
    try {
        return run(opts);
    } catch (const SourceError& e) {
        return fail(e.what());
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
}
