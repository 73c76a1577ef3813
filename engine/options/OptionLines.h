// Option text: lines of the form name=value, separated by line breaks or the marker
// "<CRLF>". The encoder component carries extra options of inputs and outputs this way.
#pragma once

#include <string>
#include <vector>

struct TOptionLine {
    std::string Name;  // lower-cased; the whole line when it has no "="
    std::string Value; // everything after the first "=", possibly empty
};

// The text is trimmed; CR LF, CR, LF and "<CRLF>" all end a line. An empty line gives an
// empty name.
std::vector<TOptionLine> ParseOptionLines(const std::string& text);
