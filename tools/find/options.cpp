#include "options.h"

#include <optional>

namespace lexivane::find {
namespace {

struct SelectorOption {
    std::string_view name;
    Selector selector;
};

constexpr SelectorOption kSelectors[] = {
    {"--length", Selector::Length},   {"--pattern", Selector::Pattern},
    {"--regex", Selector::Regex},     {"--letters", Selector::Letters},
    {"--anagram", Selector::Anagram}, {"--starts", Selector::Starts},
    {"--ends", Selector::Ends},       {"--contains", Selector::Contains},
};

std::optional<Selector> selectorNamed(std::string_view name) {
    for (const auto& s : kSelectors)
        if (s.name == name) return s.selector;
    return std::nullopt;
}

// An option or argument as it appears in a message: printable, and not endless.
std::string shown(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 60))
        out.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
    if (s.size() > 60) out += "...";
    return "'" + out + "'";
}

} // namespace

std::string parseArguments(const std::vector<std::string_view>& args, Options& out) {
    bool haveDb = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "-0" || arg == "--null") {
            out.nulTerminated = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-')
            return "unexpected argument " + shown(arg) +
                   " (say what to find with options such as --pattern)";
        if (arg[1] != '-') return "unknown option " + shown(arg);

        const size_t eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        std::optional<std::string_view> value;
        if (eq != std::string_view::npos) value = arg.substr(eq + 1);

        bool* flag = name == "--count"      ? &out.count
                     : name == "--no-cache" ? &out.noCache
                     : name == "--version"  ? &out.version
                                            : nullptr;
        if (flag) {
            if (value) return "option " + shown(name) + " takes no value";
            *flag = true;
            continue;
        }
        const std::optional<Selector> selector = selectorNamed(name);
        if (!selector && name != "--db") return "unknown option " + shown(name);
        if (!value) {
            if (i + 1 >= args.size()) return "option " + shown(name) + " needs a value";
            value = args[++i];
        }
        if (!selector) {
            if (haveDb) return "option '--db' is given more than once";
            if (value->empty()) return "option '--db' needs a file name";
            haveDb = true;
            out.db = std::string(*value);
            continue;
        }
        const std::string wrong = out.query.add(*selector, *value);
        if (!wrong.empty()) return std::string(name) + ": " + wrong;
    }
    return {};
}

std::string usageText() {
    return "Usage: lexivane-find [OPTION]... [--db FILE]\n"
           "Print the words that pass every selector, one per line, in the order the\n"
           "Lexivane window shows them.\n"
           "\n"
           "Selectors (each may be given more than once):\n"
           "  --length N|N-M|N-|N,M,...  words of so many characters\n"
           "  --pattern P        crossword pattern: ? one letter, * any run of letters\n"
           "  --regex RE         whole-word regular expression (PCRE2, as QRegularExpression)\n"
           "  --letters SET      words spelled from these letters, each as often as it is\n"
           "                     in SET; ? is a blank\n"
           "  --anagram LETTERS  words that use exactly these letters; ? is a blank\n"
           "  --starts S, --ends S, --contains S\n"
           "Letters compare without case or accents (cafe finds Café); apostrophes and\n"
           "hyphens are passed over, as the order passes over them.\n"
           "\n"
           "Output and input:\n"
           "  --count            print only the number of matching words\n"
           "  -0, --null         end each word with NUL instead of a line end\n"
           "  --db FILE          an Access word database or a UTF-8 word list, one word a\n"
           "                     line (default: dbWords.mdb in the program folder)\n"
           "  --no-cache         neither read nor write the cache in\n"
           "                     $XDG_CACHE_HOME/lexivane\n"
           "  -h, --help         show this help and exit\n"
           "      --version      show the version and exit\n"
           "\n"
           "Exit status: 0 words found, 1 none, 2 bad usage or an unreadable file.\n";
}

} // namespace lexivane::find
