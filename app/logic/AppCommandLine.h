// The application's own command-line options, answered before any window or display is needed.
#pragma once

#include <iosfwd>

// Answers --help (-h) and --version when the command line holds one of them before a "--":
// prints the text on `out` and returns the exit status, 0. Returns -1 when the application goes
// on (every other argument is left to the toolkit and the window).
int AnswerAppCommandLine(int argc, const char* const* argv, std::ostream& out);

// The text --help prints.
const char* AppHelpText();
