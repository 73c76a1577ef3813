// Small text helpers of the engine: printf-style formatting into a string, trimming, letter
// case, and splitting text into lines.
#pragma once

#include <string>
#include <vector>

// printf-style formatting into a new string.
std::string FormatText(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Removes leading and trailing spaces and control characters (every byte up to ' ').
std::string Trim(const std::string& text);

// ASCII letter case.
std::string LowerCase(std::string text);
bool SameText(const std::string& a, const std::string& b);

// Every line break (CR LF, CR or LF) becomes LF.
std::string NormalizeLineBreaks(const std::string& text);

// Splits at LF. A final LF ends the last line and starts no new one; empty text has no lines.
std::vector<std::string> SplitLines(const std::string& text);
