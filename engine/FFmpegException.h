// The engine's exceptions. Every failure inside the engine raises FFmpegException with a
// fixed English message; a malformed number or tag in an option value raises EConvertError.
// A task catches both (and everything else) at its boundary.
#pragma once

#include <stdexcept>
#include <string>

class FFmpegException : public std::runtime_error {
public:
    explicit FFmpegException(const std::string& message) : std::runtime_error(message) {}
};

class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};
