// A settings file in the INI profile format. Every call opens the file, performs its one
// operation and closes it again: there is no cache, so each read sees the file as it is.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Raised when a value cannot be written: "Unable to write to %s".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One value to write: `Key`=`Value` in `Section`.
struct TIniValue {
    std::string Section;
    std::string Key;
    std::string Value;
};

class TIniFile {
public:
    explicit TIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
    const std::string& FileName() const { return FFileName; }

    // The value of `key` in `section`; `def` when the file, the section or the key is
    // missing. Sections and keys are matched without regard to case.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // The value as a decimal 32-bit integer; `def` when missing or not a valid integer.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // True for any non-zero integer; `def` when missing or not a valid integer.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

    // Writes `key`=`value` into `section`, creating the file (not its folder) when it does
    // not exist and keeping everything else in it. Raises EIniFileException on failure.
    void WriteString(const std::string& section, const std::string& key,
                     const std::string& value) const;
    // Writes all `values` in their order with one replacement of the file. The new text goes
    // to a temporary file beside it, is flushed to the disk and renamed over the old file, so
    // that a write that fails at any point (a full disk, a crash) leaves the old file as it
    // was; the failure raises EIniFileException and leaves no temporary file behind.
    void WriteValues(const std::vector<TIniValue>& values) const;
    void WriteInteger(const std::string& section, const std::string& key, int32_t value) const;
    // Writes "1" or "0".
    void WriteBool(const std::string& section, const std::string& key, bool value) const;

private:
    std::string FFileName;
};

// `text`, trimmed of blanks, as a decimal 32-bit integer with an optional sign.
bool ParseInteger(const std::string& text, int32_t& value);
