#pragma once

// The command line of lexivane-find.

#include "query.h"

#include <string>
#include <string_view>
#include <vector>

namespace lexivane::find {

struct Options {
    Query query;
    std::string db; // empty: dbWords.mdb in the program folder
    bool count = false;
    bool nulTerminated = false;
    bool noCache = false;
    bool help = false;
    bool version = false;
};

// Fills `out` from the arguments (without the program name); returns "" or what is wrong.
std::string parseArguments(const std::vector<std::string_view>& args, Options& out);

// The --help text.
std::string usageText();

} // namespace lexivane::find
