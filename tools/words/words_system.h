#pragma once

// What lexivane-words does differently on each system before it reads: its standard streams
// and, run by hand, the limits the program would give it.

#include <string>

namespace lexivane::words {

// Nothing inherited but the standard streams (a shell may pass on others); on Windows they
// are binary, so that the output is the same bytes everywhere.
void prepareStreams();

// Run by hand, the reader takes on the limits the program would give it: a process started
// without them gets them all; one that has limits keeps what it was given. When the time is
// up, `tooLong` is written to the descriptor `errFd` holds then, and the reader exits with 1.
void limitWhenRunByHand(std::string tooLong, const int& errFd);

} // namespace lexivane::words
