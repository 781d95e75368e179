#pragma once

// What lexivane-words does differently on each system before it reads: its standard streams
// and, run by hand, the limits the program would give it.

#include <string>
#include <vector>

namespace lexivane::words {

// The command line, as UTF-8 on Windows too.
std::vector<std::string> argumentsOf(int argc, char** argv);

// Nothing inherited but the standard streams (a shell may pass on others); on Windows they
// are binary, so that the output is the same bytes everywhere.
void prepareStreams();

// Run by hand, the reader takes on the limits the program would give it: a process started
// without them gets them all; one that has limits keeps what it was given. When the time is
// up, `tooLong` is written to the descriptor `errFd` holds then, and the reader exits with 1.
void limitWhenRunByHand(std::string tooLong, const int& errFd);

// What --version says after the confinement line about the limits beyond it: nothing on
// Linux (the rlimits are the program's own), the job and what the system enforces of it on
// Windows.
std::string versionNote();

} // namespace lexivane::words
