// bench_find [RUNS [WORDS]]: lexivane-find on the shipped word database and on a generated
// list of WORDS words (default 1,000,000), each selector cold (no cache: the index built from
// the Access file) and warm, beside grep -xE with the equivalent expression and, for the rack
// and the anagram, an awk one-liner, on a text file of the same words, all in the same run.
// Also process start, and the window's path to Display Entire List (open the file, build the
// word table, fetch every row) on the same file for the cold figure. Figures only; see
// README.md for how to read them.

#include "ado.h"
#include "bench_util.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

extern char** environ;

using lexivane::bench::median;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double wallMs = 0;
    double cpuMs = 0; // user + system of the command (and its children)
    int status = -1;
};

std::string g_bin;   // the build's bin folder
std::string g_cache; // XDG_CACHE_HOME for lexivane-find

std::vector<std::string> environment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("XDG_CACHE_HOME=", 0) == 0 || v.rfind("LC_ALL=", 0) == 0) continue;
        env.push_back(v);
    }
    env.push_back("XDG_CACHE_HOME=" + g_cache);
    env.push_back("LC_ALL=C.UTF-8"); // so that grep's . is one character
    return env;
}

// Runs argv with its output to `out` (a file: grep treats /dev/null as "stop at the first
// match").
Timing run(std::vector<std::string> argv, const std::string& out) {
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> env = environment();
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Timing t;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), envp.data()) != 0) {
        std::fprintf(stderr, "bench_find: cannot start %s\n", args[0]);
        std::exit(1);
    }
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    t.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    t.cpuMs = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
              double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&fa);
    return t;
}

size_t lineCount(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    size_t n = 0;
    char buf[1 << 16];
    while (in.read(buf, sizeof buf) || in.gcount() > 0)
        n += size_t(std::count(buf, buf + in.gcount(), '\n'));
    return n;
}

std::u32string decode(const std::string& s) {
    std::u32string out;
    const QString q = QString::fromUtf8(s.data(), qsizetype(s.size()));
    for (char32_t c : q.toUcs4())
        out.push_back(c);
    return out;
}

std::string encode(const std::u32string& s) {
    return QString::fromUcs4(s.data(), qsizetype(s.size())).toStdString();
}

// Words that look like the shipped ones: their letter pairs and their lengths.
std::vector<std::string> generateWords(const std::vector<std::string>& model, size_t count) {
    std::map<char32_t, std::map<char32_t, uint64_t>> pairs; // 0 = start, U'\n' = end
    std::vector<size_t> lengths;
    for (const std::string& w : model) {
        const std::u32string u = decode(w);
        lengths.push_back(u.size());
        char32_t prev = 0;
        for (char32_t c : u) {
            ++pairs[prev][c];
            prev = c;
        }
        ++pairs[prev][U'\n'];
    }
    struct Table {
        std::vector<char32_t> next;
        std::vector<uint64_t> cumulative;
    };
    std::map<char32_t, Table> tables;
    for (const auto& [prev, nexts] : pairs) {
        Table& t = tables[prev];
        uint64_t sum = 0;
        for (const auto& [c, n] : nexts) {
            t.next.push_back(c);
            t.cumulative.push_back(sum += n);
        }
    }
    std::mt19937_64 rng(15);
    std::unordered_set<std::string> seen;
    std::vector<std::string> out;
    out.reserve(count);
    for (const std::string& w : model)
        if (out.size() < count && seen.insert(w).second) out.push_back(w);
    while (out.size() < count) {
        const size_t length = std::max<size_t>(2, lengths[rng() % lengths.size()]);
        std::u32string w;
        char32_t prev = 0;
        while (w.size() < length) {
            const Table& t = tables[prev];
            const uint64_t r = rng() % t.cumulative.back();
            const size_t k = size_t(std::upper_bound(t.cumulative.begin(), t.cumulative.end(), r) -
                                    t.cumulative.begin());
            const char32_t c = t.next[k];
            if (c == U'\n') {
                if (w.size() >= 2) break;
                prev = 0;
                w.clear();
                continue;
            }
            w.push_back(c);
            prev = c;
        }
        std::string s = encode(w);
        if (seen.insert(s).second) out.push_back(std::move(s));
    }
    std::shuffle(out.begin(), out.end(), rng); // a list in no particular order
    return out;
}

struct Case {
    const char* name;
    std::vector<std::string> findArgs;
    std::string grep; // grep -xE expression
    bool grepExact;   // the same words as the selector (on these lists)
    std::string awk;  // an awk program, or ""
};

const char* const kRackAwk =
    "BEGIN { n = split(rack, t, \"\"); for (i = 1; i <= n; i++) if (t[i] == \"?\") b++; "
    "else have[t[i]]++ } "
    "length($0) <= n { split(\"\", used); extra = 0; "
    "for (i = 1; i <= length($0); i++) if (++used[c = substr($0, i, 1)] > have[c]) extra++; "
    "if (extra <= b) print }";
const char* const kAnagramAwk =
    "BEGIN { n = split(rack, t, \"\"); for (i = 1; i <= n; i++) if (t[i] == \"?\") b++; "
    "else have[t[i]]++ } "
    "length($0) == n { split(\"\", used); extra = 0; "
    "for (i = 1; i <= length($0); i++) if (++used[c = substr($0, i, 1)] > have[c]) extra++; "
    "if (extra <= b) print }";

lexivane::ado::Options g_dataObjects;

double windowPathMs(const std::string& mdb) {
    lexivane::ado::Connection c(g_dataObjects);
    const auto start = Clock::now();
    c.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= ") +
           QString::fromStdString(mdb));
    lexivane::ado::Recordset rs;
    rs.Open(QStringLiteral("select word from words order by word"), &c, 3, 1);
    size_t n = 0;
    while (!rs.Eof()) {
        const QString w = rs.Fields(0).Value();
        n += !w.isNull();
        rs.MoveNext();
    }
    rs.Close();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void benchList(const char* title, const std::string& mdb, const std::string& text, int runs,
               const fs::path& work) {
    const std::string find = g_bin + "/lexivane-find";
    const std::string out = (work / "out").string();
    const std::string rack = "retain?", anagram = "painter";
    const std::vector<Case> cases = {
        {"length 5", {"--length", "5"}, ".{5}", true, ""},
        {"lengths 4-7", {"--length", "4-7"}, ".{4,7}", true, ""},
        {"pattern c?t*", {"--pattern", "c?t*"}, "c.t.*", true, ""},
        {"regex (un|re).*(ing|ed)",
         {"--regex", "(un|re).*(ing|ed)"},
         "(un|re).*(ing|ed)",
         true,
         ""},
        {"rack retain? (7 tiles)", {"--letters", rack}, ".{1,7}", false, kRackAwk},
        {"anagram painter", {"--anagram", anagram}, "[painter]{7}", false, kAnagramAwk},
        {"entire list", {}, ".*", true, ""},
    };
    std::printf("\n== %s: %s, %zu words (text copy %s)\n", title, mdb.c_str(), lineCount(text),
                text.c_str());
    std::printf("%-26s %8s %9s %9s %9s %8s %9s %8s %7s\n", "selector", "words", "cold ms",
                "warm ms", "grep ms", "w/grep", "awk ms", "w/awk", "cold/w");
    double coldEntire = 0;
    for (const Case& c : cases) {
        std::vector<std::string> findArgv = {find, "--db", mdb};
        findArgv.insert(findArgv.end(), c.findArgs.begin(), c.findArgs.end());
        const std::vector<std::string> grepArgv = {"grep", "-xE", c.grep, text};
        const std::string& letters = c.awk == kRackAwk ? rack : anagram;
        const std::vector<std::string> awkArgv = {"awk", "-v", "rack=" + letters, c.awk, text};

        std::vector<double> cold, warm, warmCpu, grep, awk;
        for (int i = 0; i < 3; ++i) {
            fs::remove_all(g_cache);
            cold.push_back(run(findArgv, out).wallMs);
        }
        const size_t words = lineCount(out);
        for (int i = 0; i < runs; ++i) { // interleaved, so all meet the same machine load
            const Timing w = run(findArgv, out);
            warm.push_back(w.wallMs);
            warmCpu.push_back(w.cpuMs);
            grep.push_back(run(grepArgv, out).wallMs);
            if (!c.awk.empty()) awk.push_back(run(awkArgv, out).wallMs);
        }
        const size_t grepWords = lineCount((run(grepArgv, out), out));
        size_t awkWords = 0;
        if (!c.awk.empty()) awkWords = lineCount((run(awkArgv, out), out));
        const double m = median(warm), g = median(grep);
        std::printf("%-26s %8zu %9.1f %9.1f %9.1f %8.2f", c.name, words, median(cold), m, g, m / g);
        if (!c.awk.empty())
            std::printf(" %9.1f %8.3f", median(awk), m / median(awk));
        else
            std::printf(" %9s %8s", "", "");
        std::printf(" %7.1f   (warm cpu %.1f ms; grep found %zu%s", median(cold) / m,
                    median(warmCpu), grepWords, c.grepExact ? "" : ", not the same selection");
        if (!c.awk.empty()) std::printf("; awk found %zu", awkWords);
        std::printf(")\n");
        if (c.findArgs.empty()) coldEntire = median(cold);
    }
    std::vector<double> window;
    for (int i = 0; i < 3; ++i)
        window.push_back(windowPathMs(mdb));
    std::printf("window's path to Display Entire List (open, word table, every row fetched): "
                "%.1f ms; cold entire list / window %.2f\n",
                median(window), coldEntire / median(window));
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const size_t words = argc > 2 ? size_t(std::max(1000, std::atoi(argv[2]))) : 1000000;
    g_bin = fs::canonical("/proc/self/exe").parent_path().string();
    for (const char* f : {"lexivane-find", "lexivane-words", "lexivane-mkdb", "dbWords.mdb"})
        if (!fs::exists(fs::path(g_bin) / f)) {
            std::fprintf(stderr, "bench_find: %s/%s is missing (build bench_find)\n", g_bin.c_str(),
                         f);
            return 1;
        }
    const fs::path work = fs::temp_directory_path() / ("bench_find." + std::to_string(getpid()));
    fs::create_directories(work);
    g_cache = (work / "cache").string();
    g_dataObjects.reader.helperPath = QString::fromStdString(g_bin + "/lexivane-words");

    // The shipped database and a text copy of its words.
    const std::string shipped = g_bin + "/dbWords.mdb";
    const std::string shippedText = (work / "shipped.txt").string();
    if (run({g_bin + "/lexivane-words", shipped}, shippedText).status != 0) return 1;
    std::vector<std::string> model;
    {
        std::ifstream in(shippedText);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) model.push_back(line);
    }

    // The generated list, as text and as an Access file.
    const auto genStart = Clock::now();
    const std::vector<std::string> generated = generateWords(model, words);
    const std::string genText = (work / "generated.txt").string();
    {
        std::ofstream f(genText, std::ios::binary);
        for (const std::string& w : generated)
            f << w << '\n';
    }
    const std::string genMdb = (work / "generated.mdb").string();
    const Timing mkdb = run({g_bin + "/lexivane-mkdb", genText, genMdb}, (work / "mkdb").string());
    if (mkdb.status != 0) return 1;
    std::printf("generated %zu words (pairs and lengths of the shipped list) in %.0f ms, "
                "lexivane-mkdb %.0f ms, %.1f MB\n",
                generated.size(),
                std::chrono::duration<double, std::milli>(Clock::now() - genStart).count(),
                mkdb.wallMs, double(fs::file_size(genMdb)) / 1e6);

    // Process start: a command that does nothing, grep on an empty file, ours with nothing to do.
    {
        const std::string empty = (work / "empty").string();
        std::ofstream{empty};
        std::vector<double> t, g, f, c;
        for (int i = 0; i < 4 * runs; ++i) {
            t.push_back(run({"true"}, (work / "o").string()).wallMs);
            g.push_back(run({"grep", "-xE", "x", empty}, (work / "o").string()).wallMs);
            f.push_back(run({g_bin + "/lexivane-find", "--version"}, (work / "o").string()).wallMs);
        }
        run({g_bin + "/lexivane-find", "--db", shipped, "--count"}, (work / "o").string());
        for (int i = 0; i < 4 * runs; ++i)
            c.push_back(
                run({g_bin + "/lexivane-find", "--db", shipped, "--count"}, (work / "o").string())
                    .wallMs);
        std::printf("process start (median of %d): true %.2f ms, grep on an empty file %.2f ms, "
                    "lexivane-find --version %.2f ms, --count on the cached shipped list %.2f ms\n",
                    4 * runs, median(t), median(g), median(f), median(c));
    }

    benchList("shipped list", shipped, shippedText, runs, work);
    benchList("generated list", genMdb, genText, runs, work);
    fs::remove_all(work);
    return 0;
}
